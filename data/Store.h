// Where the data lives: the local table file (the default) or a PostgreSQL server shared by several
// workstations. The choice in the settings file, connecting to the server with Russian messages for
// its refusals, and the check whether the data folder lies on a network file system.
#pragma once

#include "data/Errors.h"

#include <QString>

#include <memory>
#include <optional>

namespace Data {

// How the link to the server is protected: TLS with the server's certificate checked against a root
// certificate and its name (verify-full), TLS without that check (require), or none (disable).
enum class TTlsMode { VerifyFull, Require, Disable };

struct TStoreSettings {
    enum class Kind { Local, Server };
    Kind kind = Kind::Local;
    QString host; // name, address, or the folder of the server's Unix socket
    int port = 5432;
    QString database;
    QString user;
    std::optional<TTlsMode> tls; // none chosen: the default for the host (Tls())
    QString rootCert;            // root certificate file; empty: libpq's ~/.postgresql/root.crt

    bool IsServer() const { return kind == Kind::Server; }
    // True when the server is on this computer: a Unix socket folder (or none given), localhost or a
    // loopback address. Nothing travels over a network to it.
    bool IsLocalHost() const;
    // The protection chosen, or by default: none on this computer, verify-full for any other.
    TTlsMode Tls() const { return tls.value_or(IsLocalHost() ? TTlsMode::Disable : TTlsMode::VerifyFull); }
    // The same store reached the same way (an encryption left to the default equals the one it gives).
    bool operator==(const TStoreSettings& o) const {
        return kind == o.kind && host == o.host && port == o.port && database == o.database &&
               user == o.user && Tls() == o.Tls() && rootCert == o.rootCert;
    }
    // "postgres@host:5432/base", for messages and the window caption.
    QString Describe() const;
};

inline const QString kStoreSection = QStringLiteral("Database");

// Section [Database] of the settings file; missing keys give the local file. The password is not kept.
TStoreSettings ReadStoreSettings(const QString& iniPath);
// Throws EError when the file cannot be written.
void WriteStoreSettings(const QString& iniPath, const TStoreSettings& settings);

// Why a connection to the server failed.
enum class TConnectFailure {
    None,
    PasswordNeeded, // the server asks for a password and none was given (nor in ~/.pgpass)
    PasswordWrong,  // the password or the user name was refused
    NoDatabase,     // the server has no database of that name
    Unreachable,    // no server answers there
    Encryption,     // the link could not be protected as the settings ask, or the server wants it protected
    Other,
};

struct TConnectResult {
    TConnectFailure failure = TConnectFailure::None;
    QString message; // Russian, with the server's own words
};

// The server refused or could not be reached when connecting; says why.
class EServerRefused : public EConnectionLost {
public:
    explicit EServerRefused(const TConnectResult& result)
        : EConnectionLost(result.message), failure(result.failure) {}
    TConnectFailure failure;
};

class TEngine;
class TServerEngine;

// Connects to the server; an empty password leaves it to libpq (~/.pgpass). Null when the server refused
// or could not be reached; `result` says why.
std::unique_ptr<TServerEngine> ConnectServer(const TStoreSettings& settings, const QString& password,
                                             TConnectResult& result);

// Tries the settings on a connection of its own and describes the answer in Russian: the server's
// version, whether the database is empty, holds the program's tables or another program's, and whether
// the link is encrypted and by what.
TConnectResult TestServerConnection(const TStoreSettings& settings, const QString& password);

// How a server connection is protected.
struct TLinkSecurity {
    bool encrypted = false;
    QString protocol; // "TLSv1.3"
    QString cipher;   // "TLS_AES_256_GCM_SHA384"
};
// The protection of the store's connection (none for the table file, and while the server cannot be
// reached).
TLinkSecurity LinkSecurity(TEngine& engine);
// The link in one Russian sentence, for the connection check.
QString DescribeLink(const TStoreSettings& settings, const TLinkSecurity& link);

// True for the file system types of network folders (NFS, SMB/CIFS), as statfs reports them.
bool IsNetworkFileSystemType(long type);
// True when the folder lies on a network file system.
bool IsNetworkFolder(const QString& path);

} // namespace Data
