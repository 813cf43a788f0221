// The program directory: the folder of the executable, where the data directory and every program
// file live. Set once at start-up; tests point it at a temporary folder.
#pragma once

#include <QString>

namespace Platform {

// The program directory without a trailing separator.
QString ProgramDir();
// Overrides the program directory (start-up and tests).
void SetProgramDir(const QString& dir);
// Program directory followed by a literal that starts with "/".
QString ProgramPath(const QString& literal);

} // namespace Platform
