// The data module: owns the connection to the table file of the data directory and every table and
// query the windows use, and holds the database in use (Current_DB_ID).
#pragma once

#include "data/Dataset.h"
#include "data/Password.h"
#include "data/Store.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TMain_DataModule : public QObject {
    Q_OBJECT
public:
    // Fills a table file in which no database was ever made (the demo data); runs inside the
    // transaction that creates the schema, so an interrupted first start leaves nothing or everything.
    using TSeed = std::function<void(TMain_DataModule&)>;

    // Connects to the data directory of the program directory. When the data directory is missing it
    // shows "Не могу открыть базу данных! Не существует папки DB!" and returns null. The table file's
    // schema is checked: an empty or new file gets the schema, the reference rows and `seed`; missing
    // reference tables or rows are restored; missing data tables or columns, or a file that is not a
    // database, raise EDatabaseError and change nothing. A data directory that cannot be written is
    // opened read-only (ReadOnly()).
    // A data directory on a network file system (NFS, SMB/CIFS) gets the rollback journal instead of the
    // write-ahead log (NetworkFolder()); `isNetworkFolder` decides that (statfs by default).
    static std::unique_ptr<TMain_DataModule>
    Create(const QString& programDir, const TSeed& seed = {},
           const std::function<bool(const QString&)>& isNetworkFolder = Data::IsNetworkFolder);

    // Connects to the database of a PostgreSQL server instead of the table file; the data directory of
    // the program directory must exist as for Create (the portraits live there). An empty database gets
    // the schema and the reference rows in one transaction; one with tables of another program is
    // refused. Connection failures throw EConnectionLost with the server's answer; an empty password
    // leaves it to ~/.pgpass.
    static std::unique_ptr<TMain_DataModule>
    CreateServer(const QString& programDir, const Data::TStoreSettings& server, const QString& password);
    ~TMain_DataModule() override;

    // Data directory with its trailing separator.
    const QString& DataDir() const { return m_dataDir; }
    // True when this run created the tables of the table file.
    bool CreatedTableFile() const { return m_created; }
    // True when the data directory or the table file cannot be written: the data can only be viewed.
    bool ReadOnly() const { return m_readOnly; }
    // Reference tables whose table or rows were restored at this start.
    const QStringList& RepairedTables() const { return m_repaired; }
    // The table file.
    QString TableFilePath() const;
    // True when the data lives on a PostgreSQL server; Store() says which.
    bool IsServer() const { return m_store.IsServer(); }
    const Data::TStoreSettings& Store() const { return m_store; }
    // True when the data directory of the local file lies on a network file system.
    bool NetworkFolder() const { return m_networkFolder; }

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

    // The pause after wrong database passwords, for every password dialog of the run.
    Data::TRetryDelay PasswordDelay;

    // Base text of Men_Query; a refresh appends its ORDER BY clause to a copy of it.
    const QString& MenQueryBaseSQL() const;

    // Runs one statement through Update_Query with its values bound (never spliced into the text);
    // returns the number of rows changed.
    int ExecSQL(const QString& sql, const QVariantMap& params = {});

    // The stored version of a record of DB, USER, GROUP or TEST (Row_Version), read when an edit
    // dialog opens; an update saves only over this version. -1 when the record is gone.
    qint64 RowVersion(const QString& table, const QString& keyField, qint64 key);

private:
    TMain_DataModule(const QString& dataDir, const QString& connection);
    QString m_dataDir;
    QString m_connection;
    bool m_created = false;
    bool m_readOnly = false;
    bool m_networkFolder = false;
    Data::TStoreSettings m_store;
    QStringList m_repaired;
};

// The one data module of the program (set while one exists).
extern TMain_DataModule* Main_DataModule;
