// Data module: connection set-up, schema on first use, and the members the windows use.
#include "data/DataMod.h"

#include "data/Backup.h"
#include "data/FileEngine.h"
#include "data/Password.h"
#include "data/Schema.h"
#include "data/ServerEngine.h"
#include "data/Statements.h"
#include "platform/Log.h"
#include "platform/SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <unistd.h>

TMain_DataModule* Main_DataModule = nullptr;

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

// The data directory of the program directory; ENoDataDir when it is missing.
QString dataDirOf(const QString& programDir) {
    const QString dataDir = programDir + QStringLiteral("/DB/");
    if (!QFileInfo(dataDir).isDir())
        throw Data::ENoDataDir();
    return dataDir;
}

// A write-ahead log of no more than its header holds no committed changes.
constexpr qint64 kWalHeaderSize = 32;

// Engine failures of a file that can be read but not written: the data is shown read-only.
bool viewableAfter(int code) {
    return code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_READONLY ||
           code == SQLITE_CANTOPEN || code == SQLITE_PERM;
}

// Opens the table file for reading only. The write-ahead log is read in place through the shared-memory
// file of a program that has the table file open. Without one (a folder nobody can write, a full disk,
// a program killed), the engine cannot read the log in place: the file and its log are then read from a
// private copy, and when even that cannot be made, the file is read as it was before the log (`hidden`
// says so).
std::unique_ptr<Data::TFileEngine> openForReading(const QString& file,
                                                  std::unique_ptr<QTemporaryDir>& snapshot, bool& hidden) {
    using TAccess = Data::TFileEngine::TAccess;
    const QString wal = file + QStringLiteral("-wal");
    const bool shared = QFileInfo::exists(file + QStringLiteral("-shm"));
    const bool log = QFileInfo(wal).size() > kWalHeaderSize;
    if (shared || !log) {
        try {
            return Data::TFileEngine::Open(file, shared ? TAccess::Read : TAccess::Frozen);
        } catch (const Data::EEngineError&) {
            // A shared-memory file that a failed attempt to write left unfinished cannot be used.
            if (!shared)
                throw;
        }
    }
    if (log) {
        auto copy = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/morvel-view-XXXXXX"));
        const QString copied = copy->path() + QLatin1Char('/') + Data::kTableFileName;
        if (copy->isValid() && QFile::copy(file, copied) &&
            QFile::copy(wal, copied + QStringLiteral("-wal"))) {
            snapshot = std::move(copy);
            return Data::TFileEngine::Open(copied, TAccess::Copy);
        }
        hidden = true;
    }
    return Data::TFileEngine::Open(file, TAccess::Frozen);
}

} // namespace

std::unique_ptr<TMain_DataModule>
TMain_DataModule::Create(const QString& programDir, const TSeed& seed,
                         const std::function<bool(const QString&)>& isNetworkFolder) {
    const QString dataDir = dataDirOf(programDir);
    const QString file = dataDir + Data::kTableFileName;
    if (!writable(dataDir, file)) {
        if (!QFileInfo::exists(file))
            throw Data::EDatabaseError(
                QStringLiteral("Папка данных «%1» доступна только для чтения, а файла базы "
                               "данных в ней нет.")
                    .arg(QDir::toNativeSeparators(dataDir)));
        return openReadOnly(dataDir, TViewReason::Folder, QString());
    }
    Data::RemoveLeftovers(dataDir);
    const bool existed = QFileInfo(file).size() > 0;

    std::unique_ptr<TMain_DataModule> dm;
    try {
        // A new table file is created for its owner alone; its journal and write-ahead log take the
        // file's rights. Files of an earlier version lose the rights of others here.
        std::unique_ptr<Data::TFileEngine> opened = Platform::PrivateWrite(
            personalFiles(dataDir, file), [&file] { return Data::TFileEngine::Open(file); });
        Data::TFileEngine& engine = *opened;
        dm.reset(new TMain_DataModule(dataDir, std::move(opened)));
        Data::TTransaction transaction(engine);
        const Data::TSchemaReport report = Data::PrepareSchema(engine, false);
        dm->m_created = report.created;
        dm->m_repaired = report.repaired;
        if (report.needsSeed && seed)
            seed(*dm);
        transaction.Commit();
        dm->m_networkFolder = isNetworkFolder && isNetworkFolder(dataDir);
        engine.SetJournalMode(dm->m_networkFolder);
        // Pages that held passwords in the shifted form are overwritten in the file itself now rather
        // than at a later checkpoint, and copies of earlier versions get the hashes too.
        if (report.passwordsHashed > 0)
            engine.Checkpoint();
        Data::HashPasswordsOfCopies(dataDir);
        dm->WatchChanges();
    } catch (const Data::EEngineError& e) {
        dm.reset();
        // A file that was there and cannot be written now (a full disk) is still worth reading.
        if (!existed || !viewableAfter(e.code()))
            throw;
        Platform::LogError(e.message(), e.detail());
        return openReadOnly(dataDir, TViewReason::WriteFailed,
                            e.reason().isEmpty() ? e.message() : e.reason());
    }
    return dm;
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::OpenForViewing(const QString& programDir) {
    const QString dataDir = dataDirOf(programDir);
    return openReadOnly(dataDir, TViewReason::Chosen, QString());
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::openReadOnly(const QString& dataDir, TViewReason reason,
                                                                 const QString& writeError) {
    std::unique_ptr<QTemporaryDir> snapshot;
    bool hidden = false;
    std::unique_ptr<Data::TFileEngine> opened =
        openForReading(dataDir + Data::kTableFileName, snapshot, hidden);
    Data::TFileEngine& engine = *opened;
    std::unique_ptr<TMain_DataModule> dm(new TMain_DataModule(dataDir, std::move(opened)));
    dm->m_readOnly = true;
    dm->m_viewReason = reason;
    dm->m_writeError = writeError;
    dm->m_recentChangesHidden = hidden;
    dm->m_snapshot = std::move(snapshot);
    Data::PrepareSchema(engine, true);
    // Another workstation that writes the file shows here too (a snapshot never changes).
    dm->WatchChanges();
    return dm;
}

QString TMain_DataModule::ReadOnlyNotice() const {
    if (!m_readOnly)
        return {};
    if (IsServer())
        return QStringLiteral(
                   "Только чтение: у пользователя сервера (%1) нет прав на изменение данных. Базы "
                   "данных открыты только для просмотра: добавлять и изменять данные нельзя. Права "
                   "выдаёт администратор сервера.")
            .arg(m_store.Describe());
    const QString folder = QDir::toNativeSeparators(QDir::cleanPath(m_dataDir));
    QString notice;
    switch (m_viewReason) {
    case TViewReason::Folder:
        notice = QStringLiteral("Папка данных «%1» недоступна для записи. Базы данных открыты только для "
                                "просмотра: добавлять и изменять данные нельзя.")
                     .arg(folder);
        break;
    case TViewReason::WriteFailed:
        notice =
            QStringLiteral("Базу данных в папке «%1» нельзя открыть для записи. Причина: %2 Базы данных "
                           "открыты только для просмотра: добавлять и изменять данные нельзя. Когда причина "
                           "устранена, перезапустите программу.")
                .arg(folder, m_writeError.left(1).toLower() + m_writeError.mid(1));
        break;
    case TViewReason::Chosen:
        notice =
            QStringLiteral("Базы данных из папки «%1» открыты только для просмотра: добавлять и изменять "
                           "данные нельзя.")
                .arg(folder);
        break;
    }
    if (m_recentChangesHidden)
        notice += QStringLiteral(" Последние сохранённые изменения ещё не перенесены из журнала «%1-wal» в "
                                 "файл базы данных, и показать их нельзя: они появятся, когда программа "
                                 "откроет файл с правом записи.")
                      .arg(Data::kTableFileName);
    return notice;
}

QString TMain_DataModule::ReadOnlyStatus() const {
    if (!m_readOnly)
        return {};
    if (IsServer())
        return QStringLiteral("Только чтение: нет прав на изменение данных на сервере");
    switch (m_viewReason) {
    case TViewReason::Folder:
        return QStringLiteral("Только просмотр: папка данных недоступна для записи");
    case TViewReason::WriteFailed:
        return QStringLiteral("Только просмотр: запись в базу данных невозможна");
    case TViewReason::Chosen:
        break;
    }
    return QStringLiteral("Только просмотр");
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::CreateServer(const QString& programDir,
                                                                 const Data::TStoreSettings& server,
                                                                 const QString& password) {
    const QString dataDir = dataDirOf(programDir);
    Data::TConnectResult result;
    std::unique_ptr<Data::TServerEngine> opened = Data::ConnectServer(server, password, result);
    if (!opened)
        throw Data::EServerRefused(result);
    Data::TServerEngine& engine = *opened;
    std::unique_ptr<TMain_DataModule> dm(new TMain_DataModule(dataDir, std::move(opened)));
    dm->m_store = server;
    // A role that may only read sees the data as a read-only folder shows it.
    dm->m_readOnly = Data::ServerRoleReadOnly(engine);
    Data::TTransaction transaction(engine);
    const Data::TSchemaReport report = Data::PrepareServerSchema(engine, dm->m_readOnly);
    dm->m_created = report.created;
    dm->m_repaired = report.repaired;
    transaction.Commit();
    // The session learns that the database keeps write keys now (a new one got them just now).
    engine.PrepareSession();
    dm->WatchChanges();
    return dm;
}

TMain_DataModule::TMain_DataModule(const QString& dataDir, std::unique_ptr<Data::TEngine> engine)
    : m_engine(std::move(engine)), m_repository(std::make_unique<Data::Repository>(*m_engine)),
      m_dataDir(dataDir) {
    using namespace Data;
    TEngine& e = *m_engine;
    DB_Table = new TTable(e, kDbTable, this);
    Men_Query = new TQuery(e, this);
    Men_Query->SetSQL(kMenQuerySQL);
    Temp_Table = new TTable(e, kUserTable, this);
    Update_Query = new TQuery(e, this);
    ListTest_Query = new TQuery(e, this);
    ListTest_Query->SetSQL(kListTestQuerySQL);
    Group_Table = new TTable(e, kGroupTable, this);
    Symbols_Table = new TTable(e, kSymbolsTable, this);
    DurMoll_Table = new TTable(e, kDurMollTable, this);
    Soz_Table = new TTable(e, kSozTable, this);
    Tests_Query = new TQuery(e, this);
    Tests_Query->SetSQL(kTestsQuerySQL);
    Main_DataModule = this;
}

TMain_DataModule::~TMain_DataModule() {
    for (Data::TDataset* ds :
         {static_cast<Data::TDataset*>(Symbols_Table), static_cast<Data::TDataset*>(DurMoll_Table),
          static_cast<Data::TDataset*>(Soz_Table), static_cast<Data::TDataset*>(Men_Query),
          static_cast<Data::TDataset*>(Tests_Query)})
        ds->Close();
    // Datasets and timers go before the engine.
    qDeleteAll(children());
    if (Main_DataModule == this)
        Main_DataModule = nullptr;
}

QString TMain_DataModule::MenQueryBaseSQL() const { return m_engine->Text(Data::kMenQuerySQL); }

void TMain_DataModule::OpenMenQuery() {
    Men_Query->Close();
    Men_Query->SetSQL(MenQueryBaseSQL() + QStringLiteral(" ORDER BY Men_ID"));
    Men_Query->SetParam(QStringLiteral("DB_ID"), Current_DB_ID);
    Men_Query->Open();
}

QString TMain_DataModule::TableFilePath() const { return m_dataDir + Data::kTableFileName; }

QString TMain_DataModule::Location() const {
    if (IsServer())
        return QStringLiteral("сервер PostgreSQL %1").arg(m_store.Describe());
    return QDir::toNativeSeparators(TableFilePath());
}

bool TMain_DataModule::Busy() const { return m_engine->Busy(); }

void TMain_DataModule::WatchChanges() {
    const QCoreApplication* app = QCoreApplication::instance();
    if (m_watching || !app || QThread::currentThread() != app->thread())
        return;
    m_watching = true;
    m_engine->Watch(
        this, [this](const QStringList& tables) { Q_EMIT StoreChanged(tables); },
        [this](bool working) { setWatchWorking(working); });
}

void TMain_DataModule::setWatchWorking(bool working) {
    if (m_watchWorking == working)
        return;
    m_watchWorking = working;
    Q_EMIT ChangeWatch(working);
}
