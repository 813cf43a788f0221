// Russian collation of the table file's text columns: the order of ICU's root collation with the Russian
// tailoring, which the server's collation "russian" uses too, so that both stores sort every list alike.
#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <string>

namespace Data {

// Compares by Russian rules: spaces and punctuation before digits, digits before letters, Cyrillic before
// Latin; letters regardless of case and marks first (Ґ with Г, Ё with Е, Ї with І, Ў with У; Є and І are
// letters of their own after Е and И), then the marks, then lower case before upper case; texts equal
// by these rules by their code points. Returns <0, 0 or >0.
int CompareRussian(QStringView a, QStringView b);
// The same over UTF-8 bytes, as the engine stores text.
int CompareRussianUtf8(const char* a, int lenA, const char* b, int lenB);

// Appends the first level of a UTF-8 text's sort key: two bytes per character, so that comparing two
// keys byte by byte (a key that is the start of another first) orders the texts as CompareRussianUtf8
// does, except that texts of equal keys may still differ (marks, case): those compare through it.
// Returns false, leaving `key` as it was, when the text needs more than the table (rare letters,
// contractions): compare such a text through CompareRussianUtf8.
bool AppendRussianPrimaryKey(QByteArrayView utf8, std::string& key);

} // namespace Data
