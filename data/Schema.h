// The tables of a data directory, created in one SQLite file when the directory holds none yet.
#pragma once

#include <QSqlDatabase>

namespace Data {

// File name of the table file inside the data directory.
inline const QString kTableFileName = QStringLiteral("morvel.db");

// Creates the seven tables and fills the three reference tables from the shipped rows.
void CreateSchema(QSqlDatabase& db);

// Registers the Russian collation "RUSSIAN" and the lock-retry handler on an open connection.
void PrepareConnection(QSqlDatabase& db);

} // namespace Data
