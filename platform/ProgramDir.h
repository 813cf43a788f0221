// Where the program finds its files: the program directory of read-only program files (instructions,
// template, help, the portraits to seed), the data root that holds the data directory "DB", and the
// settings file. Chosen once at start-up; tests point them at temporary folders.
#pragma once

#include <QString>

namespace Platform {

// The program directory without a trailing separator.
QString ProgramDir();
// Sets the program directory; the data root and the settings file follow it until set on their own.
void SetProgramDir(const QString& dir);
// Program directory followed by a literal that starts with "/".
QString ProgramPath(const QString& literal);

// The folder that holds the data directory "DB" (the program directory unless chosen otherwise).
QString DataRoot();
void SetDataRoot(const QString& dir);
// Data root followed by a literal that starts with "/".
QString DataPath(const QString& literal);

// The settings file "morvel.ini".
QString SettingsPath();
void SetSettingsPath(const QString& path);

// The folders the program runs with, as chosen at start-up.
struct TLayout {
    QString programDir;
    QString dataRoot;
    QString settingsPath;
    bool perUser = false; // data and settings live outside the program directory (user folders or --data-dir)
};

// What the layout is chosen from: the folder of the executable, the "--data-dir" option (empty when
// not given) and the user's folders ($HOME, $XDG_DATA_HOME, $XDG_CONFIG_HOME; empty when unset).
struct TLayoutInputs {
    QString executableDir;
    QString dataDirOption;
    QString home;
    QString xdgDataHome;
    QString xdgConfigHome;
};

// The inputs of this process: its executable folder and environment.
TLayoutInputs SystemLayoutInputs(const QString& dataDirOption);

// An installed program (executable in bin/, program files in share/morvel/) keeps data and settings per
// user, in $XDG_DATA_HOME/morvel and $XDG_CONFIG_HOME/morvel; so does a program directory that is not
// writable, unless its "DB" holds a table file: that data is used where it is (read-only when it cannot
// be written), with the settings file beside it when there is one and the user's otherwise. A program
// directory that is writable keeps data and settings beside the program. "--data-dir" puts both into
// the given folder.
TLayout ChooseLayout(const TLayoutInputs& inputs);

// Makes the layout current.
void ApplyLayout(const TLayout& layout);

// Creates the data directory and the settings folder of a layout that lives outside the program
// directory, and copies the portraits that are missing there from the program files. Returns false
// with a message when the data directory cannot be made.
bool PrepareDataDir(const TLayout& layout, QString* error);

} // namespace Platform
