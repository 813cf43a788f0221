// Where the data lives: the local table file (the default) or a PostgreSQL server shared by several
// workstations. The choice in the settings file, connecting to the server with Russian messages for
// its refusals, and the check whether the data folder lies on a network file system.
#pragma once

#include "data/Dataset.h"

#include <QSqlDatabase>
#include <QString>

namespace Data {

struct TStoreSettings {
    enum class Kind { Local, Server };
    Kind kind = Kind::Local;
    QString host; // name, address, or the folder of the server's Unix socket
    int port = 5432;
    QString database;
    QString user;

    bool IsServer() const { return kind == Kind::Server; }
    bool operator==(const TStoreSettings&) const = default;
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

// Opens Qt's PostgreSQL connection `connectionName` to the server; an empty password leaves it to
// libpq (~/.pgpass). On failure the connection is removed again and the result says why.
TConnectResult OpenServer(const TStoreSettings& settings, const QString& password,
                          const QString& connectionName);

// Tries the settings on a connection of its own and describes the answer in Russian: the server's
// version and whether the database is empty, holds the program's tables or another program's.
TConnectResult TestServerConnection(const TStoreSettings& settings, const QString& password);

// True for the file system types of network folders (NFS, SMB/CIFS), as statfs reports them.
bool IsNetworkFileSystemType(long type);
// True when the folder lies on a network file system.
bool IsNetworkFolder(const QString& path);

} // namespace Data
