// System errors (errno) in words the user can act on: a failed file operation says in Russian what went
// wrong and what to do; the system's own English text is for the log.
#pragma once

#include <QString>

class QFileDevice;

namespace Platform {

// The Russian text, with what to do, of a system error number (errno); a generic text for numbers
// without one of their own.
QString SystemErrorText(int error);

// The errno whose system text (strerror, as Qt's errorString() gives it) is `text`; 0 when none is.
int ErrnoOfText(const QString& text);

// The Russian text of the last failure of a file: its errorString() mapped back to the system error.
QString FileErrorText(const QFileDevice& file);

// A message with every system text in it (an English strerror text, as Qt's file classes pass it on)
// replaced by its Russian text; `message` unchanged when it holds none.
QString RussianSystemTexts(const QString& message);

} // namespace Platform
