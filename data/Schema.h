// The tables of the table file: created in an empty file, checked in an existing one, with the
// shipped reference rows restored and the write guards of newer program versions added in place.
#pragma once

#include <QStringList>

namespace Data {

class TEngine;
class TFileEngine;
class TServerEngine;

// File name of the table file inside the data directory.
inline const QString kTableFileName = QStringLiteral("morvel.db");

// Schema version kept in the file (SQLite's user_version); 2 adds the guards against orphan rows, 3 the
// version of each row of DB, USER, GROUP and TEST that refuses lost updates, 4 on the server the keys
// that make the outcome of a write knowable after a lost answer and the notices of changes (the table
// file needs nothing for it), 5 group keys that are never handed out again, 6 the passwords as salted
// hashes.
constexpr int kSchemaVersion = 6;
constexpr int kHashedPasswordsVersion = 6;

// A table of the program, its key column and the columns the program reads and writes (with
// Row_Version where rows carry one).
struct TTableKey {
    QString table;
    QString key;
    QStringList columns;
};
// Every table of the program with its key (DB, USER, GROUP, TEST, Symbols, DurMoll, Soz).
const QList<TTableKey>& TableKeys();

struct TSchemaReport {
    bool created = false;    // the file had no tables of ours: the whole schema was created
    bool needsSeed = false;  // no database has ever been made in the file: the demo data belongs there
    QStringList repaired;    // reference tables whose table or rows were restored
    int passwordsHashed = 0; // stored passwords of the shifted form replaced by their hashes
};

// Brings the file to the program's schema, inside the caller's transaction: creates every table of an
// empty file, restores missing reference tables and rows from the program's own copy, adds the write
// guards. Throws EDatabaseError, changing nothing, when data tables or columns are missing, when the
// file holds tables of another program, or when it is not a database at all.
// With `readOnly` nothing is written: only the checks of data tables and columns are made.
TSchemaReport PrepareSchema(TFileEngine& db, bool readOnly);

// The same for a database on a PostgreSQL server, inside the caller's transaction: an empty database
// gets the tables, the Russian collation (ICU), the reference rows, the guards, the row versions, the
// table of write keys and the change notices; a database of an older version gets what it lacks; a
// database with tables of another program and none of ours is refused, unchanged. With `readOnly`
// (a role that may only read) nothing is written.
TSchemaReport PrepareServerSchema(TServerEngine& db, bool readOnly = false);

// True when the server role of the connection may not write every table of the program that the
// database has (insert, update and delete on DB, USER, GROUP and TEST; insert on the write keys).
bool ServerRoleReadOnly(TServerEngine& db);

} // namespace Data
