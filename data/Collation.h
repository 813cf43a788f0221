// Russian collation of the table file's text columns: the order a Russian user expects, computed
// without a locale library so that sorting a large list stays fast.
#pragma once

#include <QStringView>

namespace Data {

// Compares by Russian rules: first the letters regardless of case and of the dots of Ё (spaces and
// punctuation before digits, digits before letters, Cyrillic before Latin), then Е before Ё, then
// lower case before upper case, then by code. Returns <0, 0 or >0.
int CompareRussian(QStringView a, QStringView b);
// The same over UTF-8 bytes, as the engine stores text.
int CompareRussianUtf8(const char* a, int lenA, const char* b, int lenB);

} // namespace Data
