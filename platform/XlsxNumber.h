// Numbers in a workbook: what a spreadsheet program makes of a text typed into a cell, and what the number
// format codes of its styles say. Pure functions, used by the worksheet model.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace Platform {

struct TTypedNumber {
    double value = 0;
    // The number format that shows the value as it was typed: "General", or "0%", "0.0%", ... for a
    // percentage with that many decimals.
    QString format;
};

// Numbers longer than this show in another form (an exponent) under the General format.
inline constexpr int kMaxTypedDigits = 11;

// The number a spreadsheet program makes of `text` typed under a locale whose decimal separator is
// `decimalPoint`, where that number shows exactly as typed: an optional "-", an integer without leading
// zeros, optionally `decimalPoint` and decimals that do not end in 0, optionally "%" (the value is then
// divided by 100); at most kMaxTypedDigits digits. Anything else (spaces, group separators, leading
// zeros, exponents, another separator, "-0") stays text: no value.
std::optional<TTypedNumber> ParseTypedNumber(QStringView text, QChar decimalPoint);

// The code of a built-in number format (0 "General", 9 "0%", 10 "0.00%", 49 "@", ...); empty for an id
// this layer does not know.
QString BuiltInNumberFormat(int id);
// The id of a built-in format code; -1 when the code is not one of them.
int BuiltInNumberFormatId(const QString& code);

// True for a format that keeps whatever is typed as text: "@", or one section holding an unquoted "@".
bool IsTextFormat(const QString& code);

} // namespace Platform
