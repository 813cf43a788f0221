// Russian collation of the table file's text columns: the order of ICU's root collation with the Russian
// tailoring, which the server's collation "russian" uses too, so that both stores sort every list alike.
#pragma once

#include <QByteArrayView>
#include <QStringView>

namespace Data {

// Compares by Russian rules: spaces and punctuation before digits, digits before letters, Cyrillic before
// Latin; letters regardless of case and marks first (Ґ with Г, Ё with Е, Ї with І, Ў with У; Є and І are
// letters of their own after Е and И), then the marks, then lower case before upper case; texts equal
// by these rules by their code points. Returns <0, 0 or >0.
int CompareRussian(QStringView a, QStringView b);
// The same over UTF-8 bytes, as the engine stores text.
int CompareRussianUtf8(const char* a, int lenA, const char* b, int lenB);

// The first `size` bytes of a UTF-8 text's sort key at the first level (a byte per character, two for
// rare ones; zeros after a short text): where the prefixes of two texts differ, comparing them byte by
// byte orders the texts as CompareRussianUtf8 does; equal prefixes say nothing. Returns false when the
// text needs more than the comparator's table (rare letters, contractions): such a text has no prefix.
bool RussianKeyPrefix(QByteArrayView utf8, unsigned char* prefix, int size);

} // namespace Data
