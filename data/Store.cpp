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
const QString kTlsKey = QStringLiteral("Encryption");
const QString kRootCertKey = QStringLiteral("RootCert");
const QString kServerValue = QStringLiteral("Server");
const QString kLocalValue = QStringLiteral("Local");

// Seconds to wait for a server before it counts as unreachable.
constexpr int kConnectTimeout = 5;

// File system magic numbers of statfs for network folders.
constexpr long kNfs = 0x6969;
constexpr long kSmb = 0x517B;
constexpr long kCifs = static_cast<long>(0xFF534D42);
constexpr long kSmb2 = static_cast<long>(0xFE534D42);

// libpq's names of the protection modes, as the settings file keeps them too.
const struct {
    TTlsMode mode;
    const char* name;
} kTlsNames[] = {
    {TTlsMode::VerifyFull, "verify-full"}, {TTlsMode::Require, "require"}, {TTlsMode::Disable, "disable"}};

const char* tlsName(TTlsMode mode) {
    for (const auto& t : kTlsNames)
        if (t.mode == mode)
            return t.name;
    return "verify-full";
}

// The libpq parameter of the root certificate, quoted as its connection strings want.
QString quotedParameter(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// Why the link could not be protected as asked, or why the server wants it protected; empty for any
// other refusal. `answer` holds libpq's words.
QString tlsRefusal(const TStoreSettings& s, const QString& answer) {
    const QString where = s.Describe();
    if (answer.contains(QLatin1String("does not match host name")))
        return QStringLiteral("Сертификат сервера %1 выдан для другого имени. Соединение прервано: это может "
                              "быть чужой сервер. Укажите в поле «Сервер» имя, на которое выдан сертификат, "
                              "или обратитесь к администратору сервера.")
            .arg(where);
    if (answer.contains(QLatin1String("certificate verify failed")))
        return QStringLiteral("Сертификат сервера %1 не подписан корневым сертификатом из настроек. "
                              "Соединение прервано: подлинность сервера не подтверждена.")
            .arg(where);
    if (answer.contains(QLatin1String("root certificate file")))
        return QStringLiteral("Для проверки сервера %1 нужен файл корневого сертификата: укажите его в "
                              "настройках («Корневой сертификат») или положите в ~/.postgresql/root.crt.")
            .arg(where);
    if (answer.contains(QLatin1String("server does not support SSL")))
        return QStringLiteral("Сервер %1 не поддерживает шифрование, а в настройках оно требуется. Включите "
                              "шифрование на сервере.")
            .arg(where);
    if (answer.contains(QLatin1String("no encryption")) && answer.contains(QLatin1String("pg_hba.conf")))
        return QStringLiteral("Сервер %1 принимает только зашифрованные соединения. Выберите в поле "
                              "«Шифрование» вариант «Требовать, проверять сервер».")
            .arg(where);
    return {};
}

// Why libpq refused the settings: a second attempt of its own, since Qt's driver passes only the text.
TConnectResult classify(const TStoreSettings& s, const QString& password, const QString& qtMessage) {
    if (const QString tls = tlsRefusal(s, qtMessage); !tls.isEmpty()) {
        Platform::LogError(QStringLiteral("Соединение с сервером ") + s.Describe(), qtMessage);
        return {TConnectFailure::Encryption, tls};
    }
    const QByteArray host = s.host.toUtf8(), port = QByteArray::number(s.port), db = s.database.toUtf8(),
                     user = s.user.toUtf8(), pass = password.toUtf8(),
                     timeout = QByteArray::number(kConnectTimeout), rootCert = s.rootCert.toUtf8();
    std::vector<const char*> keys{"host", "port", "dbname", "connect_timeout", "sslmode"};
    std::vector<const char*> values{host.constData(), port.constData(), db.constData(), timeout.constData(),
                                    tlsName(s.Tls())};
    if (!rootCert.isEmpty()) {
        keys.push_back("sslrootcert");
        values.push_back(rootCert.constData());
    }
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

bool TStoreSettings::IsLocalHost() const {
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')))
        return true;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || host == QLatin1String("::1"))
        return true;
    // 127.0.0.0/8 written as four numbers.
    const QStringList parts = host.split(QLatin1Char('.'));
    bool numeric = parts.size() == 4;
    for (const QString& p : parts) {
        bool ok = false;
        numeric = numeric && p.toUInt(&ok) <= 255 && ok;
    }
    return numeric && parts[0].toUInt() == 127;
}

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
    const QString tls = ini.ReadString(kStoreSection, kTlsKey, QString());
    for (const auto& t : kTlsNames)
        if (tls.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            s.tls = t.mode;
    s.rootCert = ini.ReadString(kStoreSection, kRootCertKey, QString());
    return s;
}

void WriteStoreSettings(const QString& iniPath, const TStoreSettings& s) {
    Platform::TIniFile ini(iniPath);
    ini.WriteString(kStoreSection, kKindKey, s.IsServer() ? kServerValue : kLocalValue);
    ini.WriteString(kStoreSection, kHostKey, s.host);
    ini.WriteInteger(kStoreSection, kPortKey, s.port);
    ini.WriteString(kStoreSection, kNameKey, s.database);
    ini.WriteString(kStoreSection, kUserKey, s.user);
    ini.WriteString(kStoreSection, kTlsKey, QLatin1String(tlsName(s.Tls())));
    ini.WriteString(kStoreSection, kRootCertKey, s.rootCert);
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
        // Qt's driver turns ";" into the separator of libpq's parameters: a path holding one cannot be
        // passed and is refused rather than cut.
        if (s.rootCert.contains(QLatin1Char(';'))) {
            QSqlDatabase::removeDatabase(connectionName);
            return {TConnectFailure::Encryption,
                    QStringLiteral("Путь к файлу корневого сертификата не должен содержать знак «;»: "
                                   "переместите файл и укажите его заново.")};
        }
        QString options = QStringLiteral("connect_timeout=%1;application_name=morvel;sslmode=%2;")
                              .arg(kConnectTimeout)
                              .arg(QLatin1String(tlsName(s.Tls()))) +
                          Server::kLinkOptions;
        if (!s.rootCert.isEmpty())
            options += QStringLiteral(";sslrootcert=") + quotedParameter(s.rootCert);
        db.setConnectOptions(options);
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
        result.message += QLatin1Char('\n') + DescribeLink(s, LinkSecurity(db));
    } catch (const EDatabaseError& e) {
        result.failure = TConnectFailure::Other;
        result.message = e.message();
    }
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
    return result;
}

TLinkSecurity LinkSecurity(const QSqlDatabase& db) {
    TLinkSecurity link;
    PGconn* conn = nullptr;
    try {
        conn = Server::Handle(db);
    } catch (const EDatabaseError&) {
        return link; // no link at the moment: nothing is protected
    }
    link.encrypted = PQsslInUse(conn) == 1;
    if (link.encrypted) {
        link.protocol = QString::fromUtf8(PQsslAttribute(conn, "protocol"));
        link.cipher = QString::fromUtf8(PQsslAttribute(conn, "cipher"));
    }
    return link;
}

QString DescribeLink(const TStoreSettings& s, const TLinkSecurity& link) {
    if (link.encrypted)
        return QStringLiteral("Соединение зашифровано (%1, %2); %3")
            .arg(link.protocol, link.cipher,
                 s.Tls() == TTlsMode::VerifyFull
                     ? QStringLiteral("подлинность сервера подтверждена его сертификатом.")
                     : QStringLiteral("подлинность сервера не проверялась."));
    if (s.IsLocalHost())
        return QStringLiteral("Соединение не зашифровано: сервер на этом компьютере, данные не передаются "
                              "по сети.");
    return QStringLiteral("Соединение не зашифровано: данные передаются по сети открытым текстом.");
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
