// Writing a file so that the user never finds a cut one under its name: everything is written, also
// past a short write, and what the file still buffers is written out and checked before it is named.
#pragma once

#include <QSaveFile>
#include <QString>

namespace Platform {

// Writes all of data. A disk that fills up on the way gives a short write without a reason; the write
// of the rest then fails with it. False when not everything was written: errorString() says why.
bool WriteAll(QIODevice& file, const char* data, qint64 size);

// Writes out the buffer and gives the file its name. QSaveFile::commit() alone reports success when
// that last write fails, leaving a cut file under the final name; here such a file is discarded and
// false comes back with the reason.
bool CommitAll(QSaveFile& file, QString& reason);

} // namespace Platform
