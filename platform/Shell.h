// The desktop's "open" of a file or an address (web site, mail link, the report).
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace Platform {

// Opens a local file path or a URL ("https:", "mailto:") with the user's default application.
// Returns false when nothing could open it.
bool ShellOpen(const QString& fileOrUrl);

// Opens a web or mail address; when no application can take it, tells the user so and shows the
// address (without "mailto:") for copying. Returns whether it was opened.
bool OpenAddress(QWidget* owner, const QString& url);

using ShellHandler = std::function<bool(const QString&)>;
// Replaces the desktop for tests; an empty handler restores it. Returns the previous one.
ShellHandler setShellHandler(ShellHandler handler);

} // namespace Platform
