// The data module: owns the connection to the table file of the data directory and every table and
// query the windows use, and holds the database in use (Current_DB_ID).
#pragma once

#include "data/Dataset.h"
#include "data/Password.h"
#include "data/Repository.h"
#include "data/Store.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class TMain_DataModule : public QObject {
    Q_OBJECT
public:
    // Fills a table file in which no database was ever made (the demo data); runs inside the
    // transaction that creates the schema, so an interrupted first start leaves nothing or everything.
    using TSeed = std::function<void(TMain_DataModule&)>;

    // Connects to the data directory of the program directory; throws Data::ENoDataDir when the data
    // directory is missing. The table file's
    // schema is checked: an empty or new file gets the schema, the reference rows and `seed`; missing
    // reference tables or rows are restored; missing data tables or columns, or a file that is not a
    // database, raise EDatabaseError and change nothing. A data directory that cannot be written is
    // opened read-only (ReadOnly()).
    // A data directory on a network file system (NFS, SMB/CIFS) gets the rollback journal instead of the
    // write-ahead log (NetworkFolder()); `isNetworkFolder` decides that (statfs by default).
    // What an interrupted copy or restore left in the backup folder is removed first. When the file
    // cannot be written although the folder can (a full disk, a file without write permission), it is
    // opened read-only instead, with ReadOnlyNotice() saying why.
    static std::unique_ptr<TMain_DataModule>
    Create(const QString& programDir, const TSeed& seed = {},
           const std::function<bool(const QString&)>& isNetworkFolder = Data::IsNetworkFolder);

    // Opens the table file of the data directory read-only, as the user chose when the file could not be
    // used for writing: the data tables are checked, nothing is written. Throws ENoDataDir when the data
    // directory is missing, EDatabaseError when the file cannot even be read.
    static std::unique_ptr<TMain_DataModule> OpenForViewing(const QString& programDir);

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
    // True when the data directory or the table file cannot be written, or the server's role may not
    // write: the data can only be viewed.
    bool ReadOnly() const { return m_readOnly; }
    // Why the data can only be viewed, and what the user can do: the message to show once at start
    // (empty when the data can be written).
    QString ReadOnlyNotice() const;
    // The same in a few words for the status bar.
    QString ReadOnlyStatus() const;
    // Reference tables whose table or rows were restored at this start.
    const QStringList& RepairedTables() const { return m_repaired; }
    // The table file.
    QString TableFilePath() const;
    // True when the data lives on a PostgreSQL server; Store() says which.
    bool IsServer() const { return m_store.IsServer(); }
    const Data::TStoreSettings& Store() const { return m_store; }
    // Where the data live, as the user can find them: the table file, or the server's "user@host:port/base".
    QString Location() const;
    // True when the data directory of the local file lies on a network file system.
    bool NetworkFolder() const { return m_networkFolder; }

    // Engine session and connection: the store's engine, the one way to its data.
    const QString Main_Session = QStringLiteral("Main_SessIn");
    Data::TEngine& Main_Database() const { return *m_engine; }

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

    // Base text of Men_Query in the store's dialect, without its ORDER BY.
    QString MenQueryBaseSQL() const;
    // Re-runs Men_Query for Current_DB_ID in Men_ID order (a new testee comes last); the list sorts the
    // rows by its markers in memory.
    void OpenMenQuery();

    // Typed calls to the records of this store.
    Data::Repository& Repo() { return *m_repository; }

    // The tables of the change notices.
    static const QStringList& ChangeTables() { return Data::ChangeTables(); }
    // True while a statement waits for the server: a list refreshes after it.
    bool Busy() const;
    // False while changes of other workstations cannot be noticed (the server's link broke).
    bool ChangeWatchWorking() const { return m_watchWorking; }
    // Starts noticing other workstations' changes (the server's notices, or the table file's change
    // counter), once, on the application's thread with its event loop: a module made on another thread
    // starts when it has been handed over to that one.
    void WatchChanges();

Q_SIGNALS:
    // Another workstation (or another connection) changed these tables (of ChangeTables()).
    void StoreChanged(const QStringList& tables);
    // Changes of others cannot be noticed any more (false), or can again (true).
    void ChangeWatch(bool working);

private:
    // Why a table file is only viewed.
    enum class TViewReason { Folder, WriteFailed, Chosen };
    void setWatchWorking(bool working);

    TMain_DataModule(const QString& dataDir, std::unique_ptr<Data::TEngine> engine);
    static std::unique_ptr<TMain_DataModule> openReadOnly(const QString& dataDir, TViewReason reason,
                                                          const QString& writeError);
    std::unique_ptr<Data::TEngine> m_engine;
    std::unique_ptr<Data::Repository> m_repository;
    QString m_dataDir;
    bool m_created = false;
    bool m_readOnly = false;
    TViewReason m_viewReason = TViewReason::Folder;
    QString m_writeError;                      // why the file could not be opened for writing
    bool m_recentChangesHidden = false;        // the write-ahead log could not be read
    std::unique_ptr<QTemporaryDir> m_snapshot; // a private copy of a file and its log, read instead
    bool m_networkFolder = false;
    Data::TStoreSettings m_store;
    QStringList m_repaired;
    bool m_watchWorking = true;
    bool m_watching = false;
};

// The one data module of the program (set while one exists).
extern TMain_DataModule* Main_DataModule;
