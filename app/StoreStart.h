// Opening the store at start and after the settings changed it: the local file or the server of the
// settings file, with the log-in, the choice to change the settings when the server cannot be reached,
// and the notices about the store that the user should read once.
#pragma once

#include "data/DataMod.h"

#include <memory>

class QWidget;

// Opens the store of the settings file for the program directory. When the server cannot be reached
// or refuses, says why and offers the page "База данных" of the settings; returns null when the user
// gives up. Throws Data::ENoDataDir when the data directory is missing.
std::unique_ptr<TMain_DataModule> OpenStore(const QString& programDir, const TMain_DataModule::TSeed& seed);

// The notices of an opened store: read-only folder, restored reference tables, a network folder, a
// data or report folder that other users can look into.
void ShowStoreNotices(const TMain_DataModule& dm);

// The message about a data folder on a network file system.
QString NetworkFolderNotice(const QString& dataDir);
// The message about a folder with records that other users of the computer can read.
QString ExposedFolderNotice(const QString& folder);
