// What the program sets up before its first window: application names and icon, the Russian texts of
// Qt's own dialogs and menus, the date and number formats, and the command-line options.
#pragma once

#include <QString>

class QApplication;

namespace Startup {

// Names, window icon, locale and the Russian translation of Qt. Returns false when Qt's Russian
// translation could not be loaded (the program then still runs).
bool SetupApplication(QApplication& app);

// The command-line options.
struct TOptions {
    QString dataDir;   // "--data-dir DIR": data and settings in DIR
    bool exit = false; // help or version was printed, or the options were wrong
    int exitCode = 0;
};

// Reads the options of the running application; prints help, version or an error to the terminal.
TOptions ParseCommandLine(const QApplication& app);

} // namespace Startup
