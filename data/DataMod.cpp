// Data module: connection set-up, schema on first use, and the members the windows use.
#include "data/DataMod.h"

#include "data/Backup.h"
#include "data/Engine.h"
#include "data/Password.h"
#include "data/Queries.h"
#include "data/Schema.h"
#include "data/ServerEngine.h"
#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QSqlError>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <unistd.h>

TMain_DataModule* Main_DataModule = nullptr;

namespace {
int g_connectionSerial = 0;

// Notices that come together are handed on as one change after this wait.
constexpr int kNoticeDelayMs = 100;
// The table file's change counter is read this often.
constexpr int kFilePollMs = 1000;
} // namespace

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

namespace {

// A write-ahead log of no more than its header holds no committed changes.
constexpr qint64 kWalHeaderSize = 32;

// Engine failures of a file that can be read but not written: the data is shown read-only.
bool viewableAfter(int code) {
    return code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_READONLY ||
           code == SQLITE_CANTOPEN || code == SQLITE_PERM;
}

QString newConnectionName() { return QStringLiteral("Main_DB_%1").arg(++g_connectionSerial); }

// Opens a connection to `path` for reading only (`mode`: the URI parameter, none for a private copy,
// whose writes are refused instead) and checks that it can read the file.
void openAt(const QString& connection, const QString& path, const QString& mode) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (mode.isEmpty()) {
        db.setDatabaseName(path);
    } else {
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QLatin1Char('?') + mode);
    }
    if (!db.open())
        throw Data::EDatabaseError(
            QStringLiteral("Не могу открыть базу данных «%1»: не удаётся прочитать файл.")
                .arg(QDir::toNativeSeparators(path)),
            db.lastError().text());
    Data::PrepareConnection(db);
    if (mode.isEmpty())
        Data::ExecBound(db, QStringLiteral("pragma query_only = 1"));
}

// Opens the table file for reading only. The write-ahead log is read in place through the shared-memory
// file of a program that has the table file open. Without one (a folder nobody can write, a full disk,
// a program killed), the engine cannot read the log in place: the file and its log are then read from a
// private copy, and when even that cannot be made, the file is read as it was before the log (`hidden`
// says so).
void openForReading(const QString& connection, const QString& file, std::unique_ptr<QTemporaryDir>& snapshot,
                    bool& hidden) {
    const QString wal = file + QStringLiteral("-wal");
    const bool shared = QFileInfo::exists(file + QStringLiteral("-shm"));
    const bool log = QFileInfo(wal).size() > kWalHeaderSize;
    if (shared || !log) {
        try {
            openAt(connection, file, shared ? QStringLiteral("mode=ro") : QStringLiteral("immutable=1"));
            return;
        } catch (const Data::EEngineError&) {
            // A shared-memory file that a failed attempt to write left unfinished cannot be used.
            QSqlDatabase::removeDatabase(connection);
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
            openAt(connection, copied, QString());
            return;
        }
        hidden = true;
    }
    openAt(connection, file, QStringLiteral("immutable=1"));
}

} // namespace

std::unique_ptr<TMain_DataModule>
TMain_DataModule::Create(const QString& programDir, const TSeed& seed,
                         const std::function<bool(const QString&)>& isNetworkFolder) {
    const QString dataDir = dataDirOf(programDir);
    if (dataDir.isEmpty())
        return nullptr;
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

    const QString connection = newConnectionName();
    std::unique_ptr<TMain_DataModule> dm;
    try {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(file);
            // A new table file is created for its owner alone; its journal and write-ahead log take
            // the file's rights. Files of an earlier version lose the rights of others here.
            if (!Platform::PrivateWrite(personalFiles(dataDir, file), [&db] { return db.open(); }))
                throw Data::EDatabaseError(
                    QStringLiteral("Не могу открыть базу данных «%1».").arg(QDir::toNativeSeparators(file)),
                    db.lastError().text());
            Data::PrepareConnection(db);
        }
        dm.reset(new TMain_DataModule(dataDir, connection));
        QSqlDatabase db = dm->Connection();
        Data::TTransaction transaction(db);
        const Data::TSchemaReport report = Data::PrepareSchema(db, false);
        dm->m_created = report.created;
        dm->m_repaired = report.repaired;
        if (report.needsSeed && seed)
            seed(*dm);
        transaction.Commit();
        dm->m_networkFolder = isNetworkFolder && isNetworkFolder(dataDir);
        Data::SetJournalMode(db, dm->m_networkFolder);
        // Pages that held passwords in the shifted form are overwritten in the file itself now rather
        // than at a later checkpoint, and copies of earlier versions get the hashes too.
        if (report.passwordsHashed > 0)
            sqlite3_wal_checkpoint_v2(Data::EngineHandle(db), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                      nullptr);
        Data::HashPasswordsOfCopies(dataDir);
        dm->watchChanges();
    } catch (const Data::EEngineError& e) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        dm.reset();
        // A file that was there and cannot be written now (a full disk) is still worth reading.
        if (!existed || !viewableAfter(e.code()))
            throw;
        Platform::LogError(e.message(), e.detail());
        return openReadOnly(dataDir, TViewReason::WriteFailed,
                            e.reason().isEmpty() ? e.message() : e.reason());
    } catch (...) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        throw;
    }
    return dm;
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::OpenForViewing(const QString& programDir) {
    const QString dataDir = dataDirOf(programDir);
    if (dataDir.isEmpty())
        return nullptr;
    return openReadOnly(dataDir, TViewReason::Chosen, QString());
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::openReadOnly(const QString& dataDir, TViewReason reason,
                                                                 const QString& writeError) {
    const QString connection = newConnectionName();
    std::unique_ptr<QTemporaryDir> snapshot;
    bool hidden = false;
    std::unique_ptr<TMain_DataModule> dm;
    try {
        openForReading(connection, dataDir + Data::kTableFileName, snapshot, hidden);
        dm.reset(new TMain_DataModule(dataDir, connection));
        dm->m_readOnly = true;
        dm->m_viewReason = reason;
        dm->m_writeError = writeError;
        dm->m_recentChangesHidden = hidden;
        dm->m_snapshot = std::move(snapshot);
        QSqlDatabase db = dm->Connection();
        Data::PrepareSchema(db, true);
        // Another workstation that writes the file shows here too (a snapshot never changes).
        dm->watchChanges();
    } catch (...) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        throw;
    }
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
    if (dataDir.isEmpty())
        return nullptr;
    const QString connection = newConnectionName();
    const Data::TConnectResult result = Data::OpenServer(server, password, connection);
    if (result.failure != Data::TConnectFailure::None)
        throw Data::EServerRefused(result);
    std::unique_ptr<TMain_DataModule> dm;
    try {
        dm.reset(new TMain_DataModule(dataDir, connection));
        dm->m_store = server;
        QSqlDatabase db = dm->Connection();
        // A role that may only read sees the data as a read-only folder shows it.
        dm->m_readOnly = Data::ServerRoleReadOnly(db);
        Data::TTransaction transaction(db);
        const Data::TSchemaReport report = Data::PrepareServerSchema(db, dm->m_readOnly);
        dm->m_created = report.created;
        dm->m_repaired = report.repaired;
        transaction.Commit();
        // The session learns that the database keeps write keys now (a new one got them just now).
        Data::Server::PrepareSession(Data::Server::Handle(db));
        dm->watchChanges();
    } catch (...) {
        if (!dm)
            QSqlDatabase::removeDatabase(connection);
        throw;
    }
    return dm;
}

TMain_DataModule::TMain_DataModule(const QString& dataDir, const QString& connection)
    : m_repository(std::make_unique<Data::Repository>(connection)), m_dataDir(dataDir),
      m_connection(connection) {
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
    if (m_server)
        Data::Server::Unlisten(m_server);
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

QString TMain_DataModule::Location() const {
    if (IsServer())
        return QStringLiteral("сервер PostgreSQL %1").arg(m_store.Describe());
    return QDir::toNativeSeparators(TableFilePath());
}

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

const QStringList& TMain_DataModule::ChangeTables() {
    static const QStringList tables = {QStringLiteral("DB"), QStringLiteral("USER"), QStringLiteral("GROUP"),
                                       QStringLiteral("TEST")};
    return tables;
}

bool TMain_DataModule::Busy() const { return m_server && Data::Server::Busy(m_server); }

void TMain_DataModule::watchChanges() {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    m_changeTimer = new QTimer(this);
    if (!IsServer()) {
        // Another connection's commit changes the file's counter; this connection's own do not.
        m_changeTimer->setInterval(kFilePollMs);
        const auto poll = [this] {
            sqlite3_stmt* stmt = nullptr;
            qint64 version = m_dataVersion;
            try {
                if (sqlite3_prepare_v2(Data::EngineHandle(Connection()), "pragma data_version", -1, &stmt,
                                       nullptr) == SQLITE_OK &&
                    sqlite3_step(stmt) == SQLITE_ROW)
                    version = sqlite3_column_int64(stmt, 0);
            } catch (const Data::EDatabaseError&) {
            }
            sqlite3_finalize(stmt);
            if (m_dataVersion >= 0 && version != m_dataVersion)
                Q_EMIT StoreChanged(ChangeTables());
            m_dataVersion = version;
        };
        connect(m_changeTimer, &QTimer::timeout, this, poll);
        poll();
        m_changeTimer->start();
        return;
    }
    m_changeTimer->setSingleShot(true);
    m_changeTimer->setInterval(kNoticeDelayMs);
    connect(m_changeTimer, &QTimer::timeout, this, [this] {
        const QStringList tables = std::exchange(m_changed, {});
        if (!tables.isEmpty())
            Q_EMIT StoreChanged(tables);
    });
    m_server = Data::Server::Handle(Connection());
    // The engine calls this in the middle of its work: the notice is handed over from the event loop.
    const QPointer<TMain_DataModule> self(this);
    Data::Server::Listen(m_server, [self](const QStringList& tables) {
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, tables] {
                    if (self)
                        self->noticed(tables);
                },
                Qt::QueuedConnection);
    });
    watchSocket();
}

void TMain_DataModule::watchSocket() {
    delete m_notifier;
    m_notifier = nullptr;
    const int socket = PQsocket(m_server);
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        // A statement under way reads the socket itself and hands its notices over.
        if (Data::Server::Busy(m_server))
            return;
        if (!Data::Server::PollNotices(m_server)) {
            m_notifier->setEnabled(false);
            setWatchWorking(false);
        }
    });
}

void TMain_DataModule::noticed(const QStringList& tables) {
    if (tables.isEmpty()) {
        // A new connection: notices of the time without one are lost, so everything may have changed.
        watchSocket();
        setWatchWorking(true);
        m_changed = ChangeTables();
    } else {
        m_changed += tables;
        m_changed.removeDuplicates();
    }
    if (!m_changeTimer->isActive())
        m_changeTimer->start();
}

void TMain_DataModule::setWatchWorking(bool working) {
    if (m_watchWorking == working)
        return;
    m_watchWorking = working;
    Q_EMIT ChangeWatch(working);
}
