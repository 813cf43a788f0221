// The errors of the data layer, all of the one hierarchy on Platform::EError: the message is the user's
// (Russian, with what to do), detail() the engine's or server's own words for the log.
#pragma once

#include "platform/Error.h"

#include <QStringList>

namespace Data {

// An error of the store (failed statement, missing table, lock conflict).
class EDatabaseError : public Platform::EError {
public:
    using Platform::EError::EError;
};

// The data directory of the program directory is missing: the program cannot start.
class ENoDataDir : public EDatabaseError {
public:
    ENoDataDir() : EDatabaseError(QStringLiteral("Не могу открыть базу данных! Не существует папки DB!")) {}
};

// The server of the shared store cannot be reached: nothing of the operation was written.
class EConnectionLost : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// The user stopped waiting for the server; nothing of the operation was stored.
class EWaitCancelled : public EConnectionLost {
public:
    using EConnectionLost::EConnectionLost;
};

// An update refused because the record was changed (or deleted) elsewhere since it was read.
class ERecordChanged : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// An engine failure of the table file with the engine's result code, for callers that decide by it
// (start-up opens a file that cannot be written read-only instead).
class EEngineError : public EDatabaseError {
public:
    EEngineError(const QString& message, const QString& detail, int code, QString reason = {})
        : EDatabaseError(message, detail), m_code(code), m_reason(std::move(reason)) {}
    // The primary result code (SQLITE_FULL, SQLITE_IOERR...).
    int code() const { return m_code; }
    // What went wrong and what to do, without what was being done (ResultCodeText).
    const QString& reason() const { return m_reason; }

private:
    int m_code;
    QString m_reason;
};

// A table file that cannot be used as it is: not a database, damaged, or without the tables and columns
// the program needs. Nothing was written to it; a copy from the backups is the way out.
class EDamagedFile : public EDatabaseError {
public:
    explicit EDamagedFile(const QString& message, const QString& detail = {}, QStringList missing = {})
        : EDatabaseError(message, detail), m_missing(std::move(missing)) {}
    // The tables and columns ("USER.FIO") the file lacks; empty when it is damaged or not ours at all.
    const QStringList& missing() const { return m_missing; }

private:
    QStringList m_missing;
};

// The message of an update whose record is no longer there.
inline const QString kRecordGone = QStringLiteral(
    "Запись не найдена: она удалена, возможно, на другом рабочем месте. Изменения не сохранены.");

// The message of an update refused because another workstation changed the record first.
inline const QString kRecordChanged =
    QStringLiteral("Запись изменена на другом рабочем месте. Изменения не сохранены; запись показана в том "
                   "виде, в каком она теперь хранится.");

// Name of the column that counts the changes of a row (DB, USER, GROUP and TEST).
inline const QString kRowVersion = QStringLiteral("Row_Version");

} // namespace Data
