// The desktop's "open" of a file or an address (web site, mail link, the report).
#pragma once

#include <QString>

#include <functional>

namespace Platform {

// Opens a local file path or a URL ("https:", "mailto:") with the user's default application.
// Returns false when nothing could open it.
bool ShellOpen(const QString& fileOrUrl);

using ShellHandler = std::function<bool(const QString&)>;
// Replaces the desktop for tests; an empty handler restores it. Returns the previous one.
ShellHandler setShellHandler(ShellHandler handler);

} // namespace Platform
