// The data module: owns the connection to the table file of the data directory and every table and
// query the windows use, and holds the database in use (Current_DB_ID).
#pragma once

#include "data/Dataset.h"

#include <QObject>
#include <QString>

#include <memory>

class TMain_DataModule : public QObject {
    Q_OBJECT
public:
    // Connects to the data directory of the program directory. When the data directory is missing it
    // shows "Не могу открыть базу данных! Не существует папки DB!" and returns null. A data directory
    // without a table file gets a new one with its schema and reference rows (CreatedTableFile()).
    static std::unique_ptr<TMain_DataModule> Create(const QString& programDir);
    ~TMain_DataModule() override;

    // Data directory with its trailing separator.
    const QString& DataDir() const { return m_dataDir; }
    // True when this run created the table file.
    bool CreatedTableFile() const { return m_created; }

    // Engine session and connection: the connection name of the table file.
    const QString Main_Session = QStringLiteral("Main_SessIn");
    QString Main_Database() const { return m_connection; }
    QSqlDatabase Connection() const;

    Data::TTable* DB_Table;
    Data::TQuery* Men_Query;
    Data::TTable* Temp_Table;
    Data::TQuery* Update_Query;
    Data::TQuery* ListTest_Query;
    Data::TTable* Group_Table;
    Data::TTable* Symbols_Table;
    Data::TTable* DurMoll_Table;
    Data::TTable* Soz_Table;
    Data::TQuery* Tests_Query;

    int Current_DB_ID = 0;

    // Base text of Men_Query; a refresh appends its ORDER BY clause to a copy of it.
    const QString& MenQueryBaseSQL() const;

    // Runs one statement given as literal text through Update_Query.
    int ExecSQL(const QString& sql);

private:
    TMain_DataModule(const QString& dataDir, const QString& connection);
    QString m_dataDir;
    QString m_connection;
    bool m_created = false;
};

// The one data module of the program (set while one exists).
extern TMain_DataModule* Main_DataModule;
