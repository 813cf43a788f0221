// What the program sets up before its first window: application names and icon, the Russian texts of
// Qt's own dialogs and menus, the date and number formats, and the command-line options.
#pragma once

#include "data/DataMod.h"

#include <QString>

#include <future>
#include <memory>

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

// Reads the options before any window system is needed (help and version work over ssh or on a text
// console); a console-only application lives only to print help, version or an error to the terminal,
// in Russian.
TOptions ParseCommandLine(int& argc, char** argv);

// The message for a start without a screen to show windows on (no DISPLAY, no WAYLAND_DISPLAY and no
// QT_QPA_PLATFORM), or empty when there is one: Qt would otherwise abort with its English text.
QString MissingDisplayMessage();

// Opens the store of the settings file as OpenStore does. A table file that cannot be used (damaged,
// not the program's, without its tables) is not a dead end: the reason is shown with the restore window
// to choose a copy from and, where the file can still be read, "Открыть только для просмотра". Null
// when the user gives up, or after the message that the data directory is missing.
// The first attempt takes the module of `opening` when it is valid.
std::unique_ptr<TMain_DataModule>
OpenStoreAtStart(const QString& programDir, const TMain_DataModule::TSeed& seed,
                 std::future<std::unique_ptr<TMain_DataModule>> opening = {});

// Opens the table file on a second thread, as OpenStore would, while this one goes on with the splash;
// the module is handed over to this thread, and a failure is thrown where the result is taken. Nothing
// is started (an invalid future) for a server store, whose password may have to be asked.
std::future<std::unique_ptr<TMain_DataModule>> OpenFileStoreMeanwhile(const QString& programDir,
                                                                      const TMain_DataModule::TSeed& seed);

} // namespace Startup
