// The error log of the data directory: the raw text of engine, server and system errors (English,
// codes) that the user is not shown, one timestamped line each, for whoever supports the examiner.
#pragma once

#include <QString>

namespace Platform {

// The log file: "morvel.log" in the data directory ("DB" under the data root).
QString LogFilePath();

// Appends "YYYY-MM-DD hh:mm:ss <context>: <text>" to the log file. Never throws and never shows
// anything: a log that cannot be written must not turn a handled error into a second one.
void LogError(const QString& context, const QString& text);

} // namespace Platform
