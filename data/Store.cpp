// Store settings, server connections and network folder detection.
#include "data/Store.h"

#include "data/LibPq.h"
#include "data/ServerEngine.h"
#include "platform/IniFile.h"
#include "platform/Log.h"

#include <QFile>

#include <sys/vfs.h>

#include <list>
#include <memory>
#include <vector>

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

// The connection parameters of the settings, as libpq takes them: TCP keepalives, so that a dead link is
// noticed by the system too, and a bound on data the other side does not acknowledge.
class TParams {
public:
    TParams(const TStoreSettings& s, const QString& password) {
        add("host", s.host.toUtf8());
        add("port", QByteArray::number(s.port));
        add("dbname", s.database.toUtf8());
        add("connect_timeout", QByteArray::number(kConnectTimeout));
        add("application_name", "morvel");
        add("sslmode", tlsName(s.Tls()));
        if (!s.rootCert.isEmpty())
            add("sslrootcert", s.rootCert.toUtf8());
        if (!s.user.isEmpty())
            add("user", s.user.toUtf8());
        if (!password.isEmpty())
            add("password", password.toUtf8());
        for (const char* option : {"keepalives=1", "keepalives_idle=5", "keepalives_interval=2",
                                   "keepalives_count=3", "tcp_user_timeout=10000"}) {
            const QByteArray pair(option);
            add(pair.left(pair.indexOf('=')), pair.mid(pair.indexOf('=') + 1));
        }
        m_keys.push_back(nullptr);
        m_values.push_back(nullptr);
    }
    const char* const* keys() const { return m_keys.data(); }
    const char* const* values() const { return m_values.data(); }

private:
    void add(const QByteArray& key, const QByteArray& value) {
        m_storage.push_back(key);
        m_keys.push_back(m_storage.back().constData());
        m_storage.push_back(value);
        m_values.push_back(m_storage.back().constData());
    }
    std::list<QByteArray> m_storage;
    std::vector<const char*> m_keys;
    std::vector<const char*> m_values;
};

// Why libpq refused the settings, from the failed connection.
TConnectResult classify(const TStoreSettings& s, const TParams& params, PGconn* conn) {
    const QString answer = QString::fromUtf8(LibPq().PQerrorMessage(conn)).trimmed();
    if (const QString tls = tlsRefusal(s, answer); !tls.isEmpty()) {
        Platform::LogError(QStringLiteral("Соединение с сервером ") + s.Describe(), answer);
        return {TConnectFailure::Encryption, tls};
    }
    TConnectResult r;
    if (LibPq().PQpingParams(params.keys(), params.values(), 0) == PQPING_NO_RESPONSE) {
        r.failure = TConnectFailure::Unreachable;
        r.message = QStringLiteral("Сервер %1 не отвечает: проверьте адрес и порт и запущен ли сервер.")
                        .arg(s.Describe());
        return r;
    }
    if (LibPq().PQconnectionNeedsPassword(conn)) {
        r.failure = TConnectFailure::PasswordNeeded;
        r.message = QStringLiteral("Сервер %1 требует пароль.").arg(s.Describe());
    } else if (LibPq().PQconnectionUsedPassword(conn)) {
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

std::unique_ptr<TServerEngine> ConnectServer(const TStoreSettings& s, const QString& password,
                                             TConnectResult& result) {
    result = {};
    if (s.database.trimmed().isEmpty()) {
        result = {TConnectFailure::Other, QStringLiteral("Не указано имя базы данных на сервере.")};
        return nullptr;
    }
    try {
        LibPq();
    } catch (const EDatabaseError& e) {
        Platform::LogError(e.message(), e.detail());
        result = {TConnectFailure::Other, e.message()};
        return nullptr;
    }
    const TParams params(s, password);
    PGconn* conn = LibPq().PQconnectdbParams(params.keys(), params.values(), 0);
    if (LibPq().PQstatus(conn) != CONNECTION_OK) {
        result = classify(s, params, conn);
        LibPq().PQfinish(conn);
        return nullptr;
    }
    try {
        return std::make_unique<TServerEngine>(conn);
    } catch (const EDatabaseError& e) {
        result = {TConnectFailure::Other, e.message()};
        return nullptr;
    }
}

TConnectResult TestServerConnection(const TStoreSettings& s, const QString& password) {
    TConnectResult result;
    const std::unique_ptr<TServerEngine> server = ConnectServer(s, password, result);
    if (!server)
        return result;
    try {
        const auto tables = server->Rows(TSql{"select table_name from information_schema.tables "
                                              "where table_schema = current_schema()"});
        bool ours = false;
        for (const auto& row : tables)
            ours = ours || row[0].toString().compare(QLatin1String("test"), Qt::CaseInsensitive) == 0;
        result.message = QStringLiteral("Соединение установлено: PostgreSQL %1, база данных «%2» ")
                             .arg(server->Version(), s.database);
        if (tables.isEmpty())
            result.message +=
                QStringLiteral("пуста; при первом подключении в ней будут созданы таблицы программы.");
        else if (ours)
            result.message += QStringLiteral("содержит данные программы.");
        else
            result.message +=
                QStringLiteral("содержит таблицы другой программы и не может быть использована.");
        result.message += QLatin1Char('\n') + DescribeLink(s, LinkSecurity(*server));
    } catch (const EDatabaseError& e) {
        result.failure = TConnectFailure::Other;
        result.message = e.message();
    }
    return result;
}

TLinkSecurity LinkSecurity(TEngine& engine) {
    TLinkSecurity link;
    auto* server = dynamic_cast<TServerEngine*>(&engine);
    PGconn* conn = nullptr;
    try {
        conn = server ? server->Handle() : nullptr;
    } catch (const EDatabaseError&) {
    }
    if (!conn)
        return link; // no link at the moment (or none at all): nothing is protected
    link.encrypted = LibPq().PQsslInUse(conn) == 1;
    if (link.encrypted) {
        link.protocol = QString::fromUtf8(LibPq().PQsslAttribute(conn, "protocol"));
        link.cipher = QString::fromUtf8(LibPq().PQsslAttribute(conn, "cipher"));
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
