// Store settings, server connections and network folder detection.
#include "data/Store.h"

#include "data/Engine.h"
#include "data/ServerEngine.h"
#include "platform/IniFile.h"
#include "platform/Log.h"

#include <QFile>
#include <QSqlError>

#include <libpq-fe.h>
#include <sys/vfs.h>

#include <memory>

namespace Data {

namespace {

const QString kKindKey = QStringLiteral("Store");
const QString kHostKey = QStringLiteral("Host");
const QString kPortKey = QStringLiteral("Port");
const QString kNameKey = QStringLiteral("Name");
const QString kUserKey = QStringLiteral("User");
const QString kServerValue = QStringLiteral("Server");
const QString kLocalValue = QStringLiteral("Local");

// Seconds to wait for a server before it counts as unreachable.
constexpr int kConnectTimeout = 5;

// File system magic numbers of statfs for network folders.
constexpr long kNfs = 0x6969;
constexpr long kSmb = 0x517B;
constexpr long kCifs = static_cast<long>(0xFF534D42);
constexpr long kSmb2 = static_cast<long>(0xFE534D42);

// Why libpq refused the settings: a second attempt of its own, since Qt's driver passes only the text.
TConnectResult classify(const TStoreSettings& s, const QString& password, const QString& qtMessage) {
    const QByteArray host = s.host.toUtf8(), port = QByteArray::number(s.port), db = s.database.toUtf8(),
                     user = s.user.toUtf8(), pass = password.toUtf8(),
                     timeout = QByteArray::number(kConnectTimeout);
    std::vector<const char*> keys{"host", "port", "dbname", "connect_timeout"};
    std::vector<const char*> values{host.constData(), port.constData(), db.constData(), timeout.constData()};
    if (!user.isEmpty()) {
        keys.push_back("user");
        values.push_back(user.constData());
    }
    if (!pass.isEmpty()) {
        keys.push_back("password");
        values.push_back(pass.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    TConnectResult r;
    if (PQpingParams(keys.data(), values.data(), 0) == PQPING_NO_RESPONSE) {
        r.failure = TConnectFailure::Unreachable;
        r.message = QStringLiteral("Сервер %1 не отвечает: проверьте адрес и порт и запущен ли сервер.")
                        .arg(s.Describe());
    } else {
        const std::unique_ptr<PGconn, void (*)(PGconn*)> conn(
            PQconnectdbParams(keys.data(), values.data(), 0), PQfinish);
        const QString answer = QString::fromUtf8(PQerrorMessage(conn.get())).trimmed();
        if (PQstatus(conn.get()) == CONNECTION_OK) {
            r.failure = TConnectFailure::Other;
            r.message = QStringLiteral("Не удалось подключиться к серверу %1. Повторите; если ошибка "
                                       "повторится, обратитесь к администратору сервера.")
                            .arg(s.Describe());
            Platform::LogError(r.message, qtMessage);
            return r;
        }
        if (PQconnectionNeedsPassword(conn.get())) {
            r.failure = TConnectFailure::PasswordNeeded;
            r.message = QStringLiteral("Сервер %1 требует пароль.").arg(s.Describe());
        } else if (PQconnectionUsedPassword(conn.get())) {
            r.failure = TConnectFailure::PasswordWrong;
            r.message = QStringLiteral("Сервер %1 не принял имя пользователя или пароль.").arg(s.Describe());
        } else if (answer.contains(QLatin1Char('"') + s.database + QLatin1Char('"'))) {
            r.failure = TConnectFailure::NoDatabase;
            r.message = QStringLiteral("На сервере нет базы данных «%1».").arg(s.database);
        } else {
            r.failure = TConnectFailure::Other;
            r.message = QStringLiteral("Сервер %1 отказал в соединении. Проверьте параметры сервера в "
                                       "настройках или обратитесь к администратору сервера.")
                            .arg(s.Describe());
        }
        // The server's own words are English: they go to the log.
        if (!answer.isEmpty())
            Platform::LogError(r.message, answer);
    }
    return r;
}

} // namespace

QString TStoreSettings::Describe() const {
    QString where = host.isEmpty() ? QStringLiteral("localhost") : host;
    where += QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + database;
    return user.isEmpty() ? where : user + QLatin1Char('@') + where;
}

TStoreSettings ReadStoreSettings(const QString& iniPath) {
    const Platform::TIniFile ini(iniPath);
    TStoreSettings s;
    s.kind =
        ini.ReadString(kStoreSection, kKindKey, kLocalValue).compare(kServerValue, Qt::CaseInsensitive) == 0
            ? TStoreSettings::Kind::Server
            : TStoreSettings::Kind::Local;
    s.host = ini.ReadString(kStoreSection, kHostKey, QString());
    s.port = ini.ReadInteger(kStoreSection, kPortKey, 5432);
    s.database = ini.ReadString(kStoreSection, kNameKey, QString());
    s.user = ini.ReadString(kStoreSection, kUserKey, QString());
    return s;
}

void WriteStoreSettings(const QString& iniPath, const TStoreSettings& s) {
    Platform::TIniFile ini(iniPath);
    ini.WriteString(kStoreSection, kKindKey, s.IsServer() ? kServerValue : kLocalValue);
    ini.WriteString(kStoreSection, kHostKey, s.host);
    ini.WriteInteger(kStoreSection, kPortKey, s.port);
    ini.WriteString(kStoreSection, kNameKey, s.database);
    ini.WriteString(kStoreSection, kUserKey, s.user);
}

TConnectResult OpenServer(const TStoreSettings& s, const QString& password, const QString& connectionName) {
    TConnectResult result;
    if (s.database.trimmed().isEmpty()) {
        result.failure = TConnectFailure::Other;
        result.message = QStringLiteral("Не указано имя базы данных на сервере.");
        return result;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(Server::kDriver, connectionName);
        if (!db.isValid()) {
            QSqlDatabase::removeDatabase(connectionName);
            result.failure = TConnectFailure::Other;
            result.message =
                QStringLiteral("Не установлен драйвер Qt для PostgreSQL (пакет libqt6sql6-psql).");
            return result;
        }
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setDatabaseName(s.database);
        db.setUserName(s.user);
        db.setPassword(password);
        db.setConnectOptions(
            QStringLiteral("connect_timeout=%1;application_name=morvel;").arg(kConnectTimeout) +
            Server::kLinkOptions);
        if (db.open()) {
            try {
                Server::PrepareSession(Server::Handle(db));
                return result;
            } catch (const EDatabaseError& e) {
                result.failure = TConnectFailure::Other;
                result.message = e.message();
                db.close();
            }
        } else {
            result = classify(s, password, db.lastError().text());
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return result;
}

TConnectResult TestServerConnection(const TStoreSettings& s, const QString& password) {
    const QString name = QStringLiteral("morvel_connection_test");
    TConnectResult result = OpenServer(s, password, name);
    if (result.failure != TConnectFailure::None)
        return result;
    try {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        TQuery q(name, nullptr);
        q.SetSQL(QStringLiteral("select table_name from information_schema.tables "
                                "where table_schema = current_schema()"));
        q.Open();
        bool ours = false;
        for (int r = 0; r < q.RecordCount(); ++r)
            ours = ours || q.Value(r, 0).toString().compare(QLatin1String("test"), Qt::CaseInsensitive) == 0;
        const QString version = Server::ServerVersion(Server::Handle(db));
        result.message = QStringLiteral("Соединение установлено: PostgreSQL %1, база данных «%2» ")
                             .arg(version, s.database);
        if (q.IsEmpty())
            result.message +=
                QStringLiteral("пуста; при первом подключении в ней будут созданы таблицы программы.");
        else if (ours)
            result.message += QStringLiteral("содержит данные программы.");
        else
            result.message +=
                QStringLiteral("содержит таблицы другой программы и не может быть использована.");
    } catch (const EDatabaseError& e) {
        result.failure = TConnectFailure::Other;
        result.message = e.message();
    }
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
    return result;
}

bool IsNetworkFileSystemType(long type) {
    return type == kNfs || type == kSmb || type == kCifs || type == kSmb2;
}

bool IsNetworkFolder(const QString& path) {
    struct statfs info {};
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return IsNetworkFileSystemType(static_cast<long>(info.f_type));
}

} // namespace Data
