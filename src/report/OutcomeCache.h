#pragma once

#include "PathCheck.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kq {

// Whether an answer for a file of identity, analysed from analysedNs on, may not be trusted
// later: the file may have changed in the same tick of its clock as it was read.
bool IsRacy(const FileIdentity& identity, qint64 analysedNs);

// Bumped whenever what is asked of the library or how the report's values are written changes:
// entries of another version are never used.
inline constexpr int kReportValuesVersion = 1;

// $XDG_CACHE_HOME/kqmediareport/outcomes.sqlite (XDG_CACHE_HOME unset or empty or relative:
// $HOME/.cache).
QString DefaultCacheFile();

// Analysis answers kept between runs, per user, for files that have not changed since. Several
// processes may use one cache at once; one object is used by one thread at a time.
class OutcomeCache {
public:
    // Opens the database at file (creating its folder 0700 and the file 0600 when missing) for
    // outcomes of the library that states libraryVersion. Returns null when it cannot be used,
    // with *notice saying why in one line; a database found broken (not a database, corrupt) is
    // moved aside (renamed FILE.broken, replacing an older one) and a new one started, with
    // *notice saying so.
    static std::unique_ptr<OutcomeCache> Open(const QString& file, const QString& libraryVersion,
                                              QString* notice);
    ~OutcomeCache(); // commits what is pending, then prunes
    // The stored answer for identity, when every field of it equals the entry's (path bytes,
    // device, inode, size, mtime ns, ctime ns), the entry's library version and
    // kReportValuesVersion equal the cache's, and the entry is not racy. Marks the entry as seen.
    std::optional<QByteArray> Find(const FileIdentity& identity);
    // Records answer (opaque bytes, up to ~1 MiB) for identity, replacing any entry of that path;
    // analysedNs is CLOCK_REALTIME in ns taken BEFORE the file was opened for analysis. Stores are
    // written in batches: Find sees them once a batch is committed.
    void Store(const FileIdentity& identity, qint64 analysedNs, const QByteArray& answer);
    // A problem met after Open (disk full, database went bad, lock held too long): the first one,
    // once; empty when none. After such a problem the cache stops reading and writing, and the run
    // goes on without it.
    QString Problem() const { return m_problem; }
    // Writes what is pending now, so that Problem() tells whether it could be.
    void Flush();

private:
    struct PendingStore {
        FileIdentity identity;
        qint64 analysedNs;
        QByteArray answer;
    };
    OutcomeCache(const QString& file, const QString& libraryVersion);
    bool Prepare(QString* notice);
    QString Connect(bool* broken);
    void Close();
    void Fail();
    void FlushIfDue();
    void Prune();
    int Exec(const char* sql);

    QString m_file, m_problem;
    QByteArray m_library;
    quint64 m_device = 0, m_inode = 0; // of the file opened, to move aside no other
    qint64 m_today = 0;                // days since the epoch
    sqlite3* m_db = nullptr;
    sqlite3_stmt *m_find = nullptr, *m_store = nullptr, *m_markSeen = nullptr;
    std::vector<PendingStore> m_pending;
    std::vector<qint64> m_seen; // rowids found, to be marked as seen today
    qint64 m_pendingBytes = 0;
    std::chrono::steady_clock::time_point m_lastFlush;
};

} // namespace kq
