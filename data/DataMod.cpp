// Data module: connection set-up, schema on first use, and the members the windows use.
#include "data/DataMod.h"

#include "data/Backup.h"
#include "data/Engine.h"
#include "data/Password.h"
#include "data/Queries.h"
#include "data/Schema.h"
#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>
#include <unistd.h>

TMain_DataModule* Main_DataModule = nullptr;

namespace {
int g_connectionSerial = 0;
}

namespace {

// The data directory can be written when files can be made in it (the engine's journal) and the table
// file, when it exists, can be written too.
bool writable(const QString& dataDir, const QString& file) {
    if (::access(QFile::encodeName(dataDir).constData(), W_OK) != 0)
        return false;
    return !QFileInfo::exists(file) || ::access(QFile::encodeName(file).constData(), W_OK) == 0;
}

// The files of the data directory with personal data: the table file and its companions, the copies
// and the log.
QStringList personalFiles(const QString& dataDir, const QString& file) {
    QStringList files{file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm"),
                      file + QStringLiteral("-journal"), Platform::LogFilePath()};
    for (const Data::TBackupInfo& copy : Data::ListBackups(dataDir))
        files << copy.path;
    return files;
}

} // namespace

namespace {

// The data directory of the program directory, or empty after the message that it is missing.
QString dataDirOf(const QString& programDir) {
    const QString dataDir = programDir + QStringLiteral("/DB/");
    if (!QFileInfo(dataDir).isDir()) {
        Platform::messageBox(nullptr, QStringLiteral("Не могу открыть базу данных! Не существует папки DB!"),
                             QStringLiteral("Error"), Platform::MsgIcon::Error);
        return {};
    }
    return dataDir;
}

} // namespace

std::unique_ptr<TMain_DataModule>
TMain_DataModule::Create(const QString& programDir, const TSeed& seed,
                         const std::function<bool(const QString&)>& isNetworkFolder) {
    const QString dataDir = dataDirOf(programDir);
    if (dataDir.isEmpty())
        return nullptr;
    const QString file = dataDir + Data::kTableFileName;
    const bool readOnly = !writable(dataDir, file);
    if (readOnly && !QFileInfo::exists(file))
        throw Data::EDatabaseError(
            QStringLiteral("Папка данных «%1» доступна только для чтения, а файла базы "
                           "данных в ней нет.")
                .arg(QDir::toNativeSeparators(dataDir)));

    const QString connection = QStringLiteral("Main_DB_%1").arg(++g_connectionSerial);
    std::unique_ptr<TMain_DataModule> dm;
    try {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(file);
            if (readOnly) {
                // The write-ahead log needs its shared-memory file beside the table file. In a folder
                // nobody can write, there is none unless a program with write access has the file open;
                // without it the file can only be read as unchanging.
                db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
                const bool shared = QFileInfo::exists(file + QStringLiteral("-shm"));
                db.setDatabaseName(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) +
                                   (shared ? QStringLiteral("?mode=ro") : QStringLiteral("?immutable=1")));
            }
            // A new table file is created for its owner alone; its journal and write-ahead log take
            // the file's rights. Files of an earlier version lose the rights of others here.
            const bool opened =
                readOnly ? db.open()
                         : Platform::PrivateWrite(personalFiles(dataDir, file), [&db] { return db.open(); });
            if (!opened)
                throw Data::EDatabaseError(QStringLiteral("Не могу открыть базу данных: ") +
                                           db.lastError().text());
            Data::PrepareConnection(db);
        }
        dm.reset(new TMain_DataModule(dataDir, connection));
        dm->m_readOnly = readOnly;
        QSqlDatabase db = dm->Connection();
        if (readOnly) {
            Data::PrepareSchema(db, true);
        } else {
            Data::TTransaction transaction(db);
            const Data::TSchemaReport report = Data::PrepareSchema(db, false);
            dm->m_created = report.created;
            dm->m_repaired = report.repaired;
            if (report.needsSeed && seed)
                seed(*dm);
            transaction.Commit();
            dm->m_networkFolder = isNetworkFolder && isNetworkFolder(dataDir);
            Data::SetJournalMode(db, dm->m_networkFolder);
            // Pages that held passwords in the shifted form are overwritten in the file itself now
            // rather than at a later checkpoint, and copies of earlier versions get the hashes too.
            if (report.passwordsHashed > 0)
                sqlite3_wal_checkpoint_v2(Data::EngineHandle(db), nullptr, SQLITE_CHECKPOINT_TRUNCATE,
                                          nullptr, nullptr);
            Data::HashPasswordsOfCopies(dataDir);
        }
    } catch (...) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        throw;
    }
    return dm;
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::CreateServer(const QString& programDir,
                                                                 const Data::TStoreSettings& server,
                                                                 const QString& password) {
    const QString dataDir = dataDirOf(programDir);
    if (dataDir.isEmpty())
        return nullptr;
    const QString connection = QStringLiteral("Main_DB_%1").arg(++g_connectionSerial);
    const Data::TConnectResult result = Data::OpenServer(server, password, connection);
    if (result.failure != Data::TConnectFailure::None)
        throw Data::EServerRefused(result);
    std::unique_ptr<TMain_DataModule> dm;
    try {
        dm.reset(new TMain_DataModule(dataDir, connection));
        dm->m_store = server;
        QSqlDatabase db = dm->Connection();
        Data::TTransaction transaction(db);
        const Data::TSchemaReport report = Data::PrepareServerSchema(db);
        dm->m_created = report.created;
        dm->m_repaired = report.repaired;
        transaction.Commit();
    } catch (...) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        throw;
    }
    return dm;
}

TMain_DataModule::TMain_DataModule(const QString& dataDir, const QString& connection)
    : m_dataDir(dataDir), m_connection(connection) {
    using namespace Data;
    DB_Table = new TTable(connection, QStringLiteral("DB"), QStringLiteral("DB_ID"), this);
    Men_Query = new TQuery(connection, this);
    Men_Query->SetSQL(kMenQuerySQL);
    Temp_Table = new TTable(connection, QStringLiteral("USER"), QStringLiteral("Men_ID"), this);
    Update_Query = new TQuery(connection, this);
    ListTest_Query = new TQuery(connection, this);
    ListTest_Query->SetSQL(kListTestQuerySQL);
    Group_Table = new TTable(connection, QStringLiteral("GROUP"), QStringLiteral("Group_ID"), this);
    Symbols_Table = new TTable(connection, QStringLiteral("Symbols"), QStringLiteral("ID_Rec"), this);
    DurMoll_Table = new TTable(connection, QStringLiteral("DurMoll"), QStringLiteral("ID_Rec"), this);
    Soz_Table = new TTable(connection, QStringLiteral("Soz"), QStringLiteral("ID_Rec"), this);
    Tests_Query = new TQuery(connection, this);
    Tests_Query->SetSQL(kTestsQuerySQL);
    Main_DataModule = this;
}

TMain_DataModule::~TMain_DataModule() {
    for (Data::TDataset* ds :
         {static_cast<Data::TDataset*>(Symbols_Table), static_cast<Data::TDataset*>(DurMoll_Table),
          static_cast<Data::TDataset*>(Soz_Table), static_cast<Data::TDataset*>(Men_Query),
          static_cast<Data::TDataset*>(Tests_Query)})
        ds->Close();
    // Datasets go before the connection is removed.
    qDeleteAll(findChildren<Data::TDataset*>(Qt::FindDirectChildrenOnly));
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    if (Main_DataModule == this)
        Main_DataModule = nullptr;
}

QSqlDatabase TMain_DataModule::Connection() const { return QSqlDatabase::database(m_connection, false); }

const QString& TMain_DataModule::MenQueryBaseSQL() const { return Data::kMenQuerySQL; }

QString TMain_DataModule::TableFilePath() const { return m_dataDir + Data::kTableFileName; }

qint64 TMain_DataModule::RowVersion(const QString& table, const QString& keyField, qint64 key) {
    Data::TQuery q(m_connection, nullptr);
    q.SetSQL(QStringLiteral("select ") + Data::kRowVersion + QStringLiteral(" from ") + table +
             QStringLiteral(" where ") + keyField + QStringLiteral(" = :key"));
    q.SetParam(QStringLiteral("key"), key);
    q.Open();
    return q.IsEmpty() ? -1 : q.Value(0, 0).toLongLong();
}

int TMain_DataModule::ExecSQL(const QString& sql, const QVariantMap& params) {
    Update_Query->Close();
    Update_Query->SetSQL(sql);
    Update_Query->ClearParams();
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        Update_Query->SetParam(it.key(), it.value());
    return Update_Query->ExecSQL();
}
