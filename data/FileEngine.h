// The engine of the table file: its own SQLite connection, with the Russian collation and the lock retries
// on every connection, bound statements read straight into the row store, and the backup hooks.
#pragma once

#include "data/Engine.h"

#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace Data {

class TFileEngine final : public TEngine {
public:
    // How a file is opened: for writing (made when missing); for reading while other programs may write
    // it; frozen (a file nobody writes, read without its shared-memory file); a private copy that refuses
    // writes.
    enum class TAccess { Write, Read, Frozen, Copy };

    // Opens the file and registers the collation and the lock retries. Throws EDatabaseError when the file
    // cannot be opened, EDamagedFile when it is not a database, EEngineError when it cannot be read.
    static std::unique_ptr<TFileEngine> Open(const QString& path, TAccess access = TAccess::Write);
    ~TFileEngine() override;

    bool IsServer() const override { return false; }
    void Select(const QString& text, const QVariantMap& params, QStringList& fields,
                TRowStore& rows) override;
    void SelectStatement(const TSql& sql, const QVariantMap& params, QStringList& fields,
                         TRowStore& rows) override;
    void ReadEach(const TSql& sql, const QVariantMap& params,
                  const std::function<void(const TRowView&)>& each) override;
    int Exec(const QString& text, const QVariantMap& params = {}, qint64* lastId = nullptr) override;
    void Run(const QByteArray& script, const QString& what) override;
    using TEngine::Exec;
    using TEngine::Select;

    bool InTransaction() override;
    void Begin() override;
    void Commit() override;
    void Rollback() override;

    // Polls the file's change counter once a second: another connection's commit changes it.
    void Watch(QObject* owner, TNoticeHandler changed, std::function<void(bool)> working) override;

    void BackupInto(const QString& path) override;
    void RestoreFrom(const QString& path) override;
    int PageSize() override;

    // The file as the user knows it.
    const QString& Path() const { return m_path; }
    // The connection itself, for measuring a statement against SQLite alone.
    sqlite3* Handle() const { return m_handle; }
    // Switches a checked, writable file to the write-ahead log, so that readers and a writer of other
    // program instances do not block each other. In a folder on a network file system the write-ahead log
    // cannot work (it needs memory shared between the processes): there the rollback journal is used.
    void SetJournalMode(bool networkFolder);
    // Writes the pages of the write-ahead log into the file itself now.
    void Checkpoint();

private:
    TFileEngine(sqlite3* handle, QString path) : m_handle(handle), m_path(std::move(path)) {}
    qint64 dataVersion();
    // The kept statement of `sql`, prepared on first use.
    sqlite3_stmt* kept(const TSql& sql);

    sqlite3* m_handle;
    QString m_path;
    // The program's own statements, prepared on first use and kept until the connection closes; keyed by
    // their text's address (each is one constant).
    std::unordered_map<const char*, sqlite3_stmt*> m_kept;
};

// What went wrong in Russian, with what to do, for an engine result code (primary or extended) and the
// system error behind it (errno, 0 when none).
QString ResultCodeText(int code, int systemError = 0);
// True for an engine error that says the file is damaged or no database at all.
bool IsDamage(const EEngineError& e);

} // namespace Data
