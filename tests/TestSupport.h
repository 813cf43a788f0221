// Shared helpers of the test suites: the Russian locale, a temporary program directory with its data
// directory, and a data module on it.
#pragma once

#include "data/DataMod.h"
#include "data/Engine.h"
#include "platform/ProgramDir.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace TestSupport {

// Pins the Russian locale for dates and decimal numbers.
inline void pinRussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

// A temporary program directory with an empty data directory "DB", set as the program directory.
class ProgramDirFixture {
public:
    explicit ProgramDirFixture(bool withDataDir = true) {
        if (withDataDir)
            QDir(m_dir.path()).mkpath(QStringLiteral("DB"));
        Platform::SetProgramDir(m_dir.path());
    }
    QString path() const { return m_dir.path(); }

    // A data module on this directory (schema created on first use).
    std::unique_ptr<TMain_DataModule> createDataModule() const { return TMain_DataModule::Create(path()); }

private:
    QTemporaryDir m_dir;
};

// Makes a folder and the files in it unwritable for the test's life, also for root (which ignores
// permission bits): the immutable attribute when running as root, permission bits otherwise.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString& dir) : m_dir(dir) {
        m_files = QDir(dir).entryList(QDir::Files);
        if (::geteuid() == 0) {
            QStringList args{QStringLiteral("+i")};
            for (const QString& f : m_files)
                args << dir + QLatin1Char('/') + f;
            args << dir;
            run(args);
        } else {
            for (const QString& f : m_files)
                QFile::setPermissions(dir + QLatin1Char('/') + f, QFile::ReadOwner);
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
            m_ok = true;
        }
    }
    ~TReadOnlyFolder() {
        if (::geteuid() == 0) {
            QStringList args{QStringLiteral("-i"), m_dir};
            for (const QString& f : std::as_const(m_files))
                args << m_dir + QLatin1Char('/') + f;
            run(args);
        } else {
            QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            for (const QString& f : std::as_const(m_files))
                QFile::setPermissions(m_dir + QLatin1Char('/') + f, QFile::ReadOwner | QFile::WriteOwner);
        }
    }
    TReadOnlyFolder(const TReadOnlyFolder&) = delete;
    TReadOnlyFolder& operator=(const TReadOnlyFolder&) = delete;
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    void run(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("chattr"), args);
        m_ok = p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!m_ok)
            m_error = QStringLiteral("chattr %1 failed: %2")
                          .arg(args.join(u' '), QString::fromLocal8Bit(p.readAllStandardError()));
    }
    QString m_dir;
    QStringList m_files;
    bool m_ok = false;
    QString m_error;
};

// A disk that fills up while a file is written, for the test's life: no file of this process grows past
// `bytes`; the write that crosses the limit is cut short and the next one fails (EFBIG), as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Runs one statement with bound values on the store's engine; fails the test with the engine's message.
// Texts that name "user" and "group" so (quoted, in lower case) read the same on both stores.
// On the server an insert tells its key when it returns it as row_id: the key of the table is added.
inline bool execBound(Data::TEngine& db, const QString& sql, const QVariantMap& params = {},
                      qint64* lastId = nullptr) {
    static const QRegularExpression insert(QStringLiteral("^\\s*insert\\s+into\\s+\"?(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QHash<QString, QString> keys = {{QStringLiteral("db"), QStringLiteral("DB_ID")},
                                                 {QStringLiteral("user"), QStringLiteral("Men_ID")},
                                                 {QStringLiteral("group"), QStringLiteral("Group_ID")},
                                                 {QStringLiteral("test"), QStringLiteral("Test_ID")}};
    QString text = sql;
    if (const auto m = insert.match(sql); lastId && db.IsServer() && m.hasMatch() &&
                                          !sql.contains(QStringLiteral("returning"), Qt::CaseInsensitive))
        text += QStringLiteral(" returning ") + keys.value(m.captured(1).toLower()) +
                QStringLiteral(" as row_id");
    try {
        db.Exec(text, params, lastId);
    } catch (const std::exception& e) {
        QTest::qFail(qPrintable(sql + QStringLiteral(": ") + QString::fromUtf8(e.what())), __FILE__,
                     __LINE__);
        return false;
    }
    return true;
}

// The rows of a select on the store's engine.
inline QVector<QVector<QVariant>> selectRows(Data::TEngine& db, const QString& sql,
                                             const QVariantMap& params = {}) {
    return db.Rows(sql, params);
}

// The first value of a select, or an invalid value when there is no row.
inline QVariant selectValue(Data::TEngine& db, const QString& sql, const QVariantMap& params = {}) {
    const auto rows = selectRows(db, sql, params);
    return rows.isEmpty() || rows[0].isEmpty() ? QVariant() : rows[0][0];
}

// Inserts a row with its key given unless the key is taken; on the server the key's sequence is moved
// past it, as a copy of keys does.
inline bool insertKeyed(Data::TEngine& db, const Data::TSql& insert, const char* table, const char* key,
                        const QVariantMap& params) {
    if (!execBound(db, db.Text(insert), params))
        return false;
    if (db.IsServer())
        db.Run(QByteArray("select setval(pg_get_serial_sequence('") + table + "', '" + key + "'), max(" +
                   key + ")) from " + table,
               QString());
    return true;
}

// Makes sure a database with this DB_ID exists (tests that write rows for a fixed database).
inline void ensureDatabase(Data::TEngine& db, int dbId) {
    QVERIFY(insertKeyed(
        db,
        {"insert or ignore into DB (DB_ID, DB_Name) values (:id, :name)",
         "insert into db (db_id, db_name) values (:id, :name) on conflict do nothing"},
        "db", "db_id",
        {{QStringLiteral("id"), dbId}, {QStringLiteral("name"), QStringLiteral("База %1").arg(dbId)}}));
}

// Makes sure a live testee with this Men_ID exists in database `dbId` (and the database too), so that
// test records can be written for him.
inline void ensureTestee(Data::TEngine& db, int dbId, int menId,
                         const QString& fio = QStringLiteral("Тестируемый")) {
    ensureDatabase(db, dbId);
    QVERIFY(insertKeyed(
        db,
        {"insert or ignore into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
         "values (:men, :db, :fio, 'М', 30, 0, '')",
         "insert into \"user\" (men_id, db_id, fio, sex, age, group_id, isdel) "
         "values (:men, :db, :fio, 'М', 30, 0, '') on conflict do nothing"},
        "\"user\"", "men_id",
        {{QStringLiteral("men"), menId}, {QStringLiteral("db"), dbId}, {QStringLiteral("fio"), fio}}));
}

} // namespace TestSupport
