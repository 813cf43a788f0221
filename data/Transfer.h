// Moving the data of the local table file into an empty database on a PostgreSQL server: databases,
// groups, testees, tests and the reference tables, keys kept, in one transaction, checked by row counts
// and checksums before it is committed. The local file is only read.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Data {

class TEngine;

// One table after the copy: rows and checksum on both sides.
struct TTransferCheck {
    QString table;
    qint64 sourceRows = 0;
    qint64 targetRows = 0;
    QByteArray sourceSum; // MD5 (hex) of the table's rows in key order, written out as text
    QByteArray targetSum; // the same, computed by the server
    bool ok() const { return sourceRows == targetRows && sourceSum == targetSum; }
};

struct TTransferReport {
    QList<TTransferCheck> tables;
    bool ok() const;
    // The counts and checksums, one line per table, in Russian.
    QString Text() const;
};

// Copies everything from the table file `source` into the server database `target`: creates the
// program's tables there when the database is empty; refuses (EDatabaseError, nothing written) a target
// that already holds databases, groups, testees or tests, or tables of another program. Rows are
// compared before the commit; a difference rolls the copy back and is reported as an error.
TTransferReport TransferToServer(TEngine& source, TEngine& target);

// The checksum of one table on either store, as TransferToServer computes it (for tests).
QByteArray TableChecksum(TEngine& db, const QString& table);

} // namespace Data
