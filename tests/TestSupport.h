// Shared helpers of the test suites: the Russian locale, a temporary program directory with its data
// directory, and a data module on it.
#pragma once

#include "data/DataMod.h"
#include "platform/ProgramDir.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

// Makes sure a database with this DB_ID exists (tests that write rows for a fixed database).
inline void ensureDatabase(const QSqlDatabase& db, int dbId) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert or ignore into DB (DB_ID, DB_Name) values (?, ?)"));
    q.addBindValue(dbId);
    q.addBindValue(QStringLiteral("База %1").arg(dbId));
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

// Makes sure a live testee with this Men_ID exists in database `dbId` (and the database too), so that
// test records can be written for him.
inline void ensureTestee(const QSqlDatabase& db, int dbId, int menId,
                         const QString& fio = QStringLiteral("Тестируемый")) {
    ensureDatabase(db, dbId);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert or ignore into USER (Men_ID, DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                             "values (?, ?, ?, 'М', 30, 0, '')"));
    q.addBindValue(menId);
    q.addBindValue(dbId);
    q.addBindValue(fio);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

} // namespace TestSupport
