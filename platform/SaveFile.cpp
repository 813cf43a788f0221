// Writing a file in full or not at all, for the reports and exports the user saves.
#include "platform/SaveFile.h"

namespace Platform {

bool WriteAll(QIODevice& file, const char* data, qint64 size) {
    for (qint64 done = 0; done < size;) {
        const qint64 written = file.write(data + done, size - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool CommitAll(QSaveFile& file, QString& reason) {
    // A short write keeps the rest in the buffer and gives no reason; the second attempt gives it.
    if (!file.flush() && !file.flush()) {
        reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace Platform
