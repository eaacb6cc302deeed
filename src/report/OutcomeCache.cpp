// The cache speaks to SQLite's C library rather than through Qt SQL: that gives fine control of
// the write-ahead log, the busy timeout and the error codes (a damaged database is told apart
// from a locked or full one), and needs no SQL driver plugin package at run time.

#include "OutcomeCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kq {

namespace {

constexpr qint64 kSecondNs = 1000000000;
// Several processes share one cache (shards of one report): a writer waits this long for
// another's short transaction, then the cache is given up for the run.
constexpr int kBusyTimeoutMs = 5000;
// Stores and marks are written together, at most this many or this many bytes at a time, and
// at least every second: no lock is held between batches, and a killed run loses only one.
constexpr size_t kBatchEntries = 256;
constexpr qint64 kBatchBytes = 16 << 20;
constexpr auto kBatchInterval = std::chrono::seconds(1);
// Entries not seen for this many days are removed; each run checks this many for files gone.
constexpr qint64 kForgetDays = 90;
constexpr int kGoneChecks = 1000;

// Bumped when the layout changes: a database of another version is started afresh.
constexpr int kSchemaVersion = 1;
// About 545 bytes of database per entry for answers of 300 bytes, paths of 60 and a library
// version of 21 (measured at 10,000 entries): the row takes 430, the path's index 65, the
// index of when entries were seen 7, the rest is the pages' free space. The benchmark's
// corpus (smaller answers) takes 112 MB for 300,000 entries, about 375 bytes each.
const char kSchema[] = R"(
DROP TABLE IF EXISTS outcomes;
DROP TABLE IF EXISTS state;
CREATE TABLE outcomes(
    path BLOB PRIMARY KEY NOT NULL,
    device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,
    modified INTEGER NOT NULL, changed INTEGER NOT NULL, -- ns since the epoch
    library TEXT NOT NULL, report_values INTEGER NOT NULL,
    analysed INTEGER NOT NULL, -- ns since the epoch, before the file was opened
    seen INTEGER NOT NULL, -- days since the epoch
    answer BLOB NOT NULL);
CREATE INDEX outcomes_seen ON outcomes(seen);
CREATE TABLE state(name TEXT PRIMARY KEY NOT NULL, value INTEGER NOT NULL) WITHOUT ROWID;
PRAGMA user_version = )";
// The two share parameters 1 to 8 (BindKey).
const char kFind[] = "SELECT rowid, analysed, seen, answer FROM outcomes WHERE path = ?1 AND "
                     "device = ?2 AND inode = ?3 AND size = ?4 AND modified = ?5 AND "
                     "changed = ?6 AND library = ?7 AND report_values = ?8";
const char kStore[] =
    "INSERT OR REPLACE INTO outcomes(path, device, inode, size, modified, changed, "
    "library, report_values, analysed, seen, answer) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
const char kMarkSeen[] = "UPDATE outcomes SET seen = ?1 WHERE rowid = ?2";

// Whether the stamps could predate a change made while the file was read (git's "racily
// clean" rule). A file written in the same clock tick as the analysis began, or after, may
// change again without its stamps changing: its answer is trusted only when its later stamp
// is older than the analysis by at least one tick. The tick is 2 s when both stamps are whole
// seconds (FAT, file systems that keep whole seconds), else 1 s (coarse kernel clocks, clocks
// of file servers).
} // namespace

bool IsRacy(const FileIdentity& identity, qint64 analysedNs) {
    const bool wholeSeconds =
        identity.modifiedNs % kSecondNs == 0 && identity.changedNs % kSecondNs == 0;
    const qint64 tick = wholeSeconds ? 2 * kSecondNs : kSecondNs;
    return std::max(identity.modifiedNs, identity.changedNs) > analysedNs - tick;
}

namespace {

bool IsBroken(int code) {
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// mkdir -p with mode 0700 for each folder made.
bool MakeFolder(const QString& folder) {
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    const QString parent = QFileInfo(folder).path();
    return errno == ENOENT && parent != folder && MakeFolder(parent) &&
           (::mkdir(name.constData(), 0700) == 0 || errno == EEXIST);
}

// Renames the broken database at file, with its log, to FILE.broken (replacing an older one).
// A file that is no longer the one found broken has been moved aside by another process,
// which may have started a new one already.
bool MoveAside(const QString& file, quint64 device, quint64 inode) {
    const QByteArray name = QFile::encodeName(file), aside = name + ".broken";
    struct stat status;
    if (::lstat(name.constData(), &status) != 0 || status.st_dev != device ||
        status.st_ino != inode)
        return true;
    ::unlink((name + "-shm").constData());
    ::unlink((aside + "-wal").constData());
    ::rename((name + "-wal").constData(), (aside + "-wal").constData());
    return ::rename(name.constData(), aside.constData()) == 0;
}

// The first column of the first row of sql's result, as text; empty when there is none.
int Query(sqlite3* db, const char* sql, QByteArray* value) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW)
        *value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Steps a statement that returns no rows. A failed one is left as it is for its error to be
// read; the connection is closed after any failure.
int Run(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE)
        return rc;
    sqlite3_reset(statement);
    return SQLITE_OK;
}

void BindKey(sqlite3_stmt* statement, const FileIdentity& identity, const QByteArray& library) {
    sqlite3_bind_blob(statement, 1, identity.path.constData(), int(identity.path.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(statement, 2, sqlite3_int64(identity.device));
    sqlite3_bind_int64(statement, 3, sqlite3_int64(identity.inode));
    sqlite3_bind_int64(statement, 4, identity.size);
    sqlite3_bind_int64(statement, 5, identity.modifiedNs);
    sqlite3_bind_int64(statement, 6, identity.changedNs);
    sqlite3_bind_text(statement, 7, library.constData(), int(library.size()), SQLITE_STATIC);
    sqlite3_bind_int(statement, 8, kReportValuesVersion);
}

} // namespace

QString DefaultCacheFile() {
    // The XDG base-directory rule: a relative XDG_CACHE_HOME is invalid and ignored.
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base + QStringLiteral("/kqmediareport/outcomes.sqlite"));
}

OutcomeCache::OutcomeCache(const QString& file, const QString& libraryVersion)
    : m_file(file), m_library(libraryVersion.toUtf8()),
      m_today(QDateTime::currentSecsSinceEpoch() / 86400),
      m_lastFlush(std::chrono::steady_clock::now()) {}

std::unique_ptr<OutcomeCache> OutcomeCache::Open(const QString& file, const QString& libraryVersion,
                                                 QString* notice) {
    std::unique_ptr<OutcomeCache> cache(new OutcomeCache(file, libraryVersion));
    const QString cannot = QStringLiteral("the cache %1 cannot be used: %2");
    notice->clear();
    bool broken = false;
    if (!cache->Prepare(notice))
        return nullptr;
    QString reason = cache->Connect(&broken);
    if (reason.isEmpty())
        return cache;
    if (broken) {
        if (!MoveAside(file, cache->m_device, cache->m_inode)) {
            *notice =
                cannot.arg(file, reason + QStringLiteral(", and it could not be moved aside: ") +
                                     SystemError());
            return nullptr;
        }
        if (!cache->Prepare(notice))
            return nullptr;
        const QString damage = reason;
        if ((reason = cache->Connect(&broken)).isEmpty()) {
            *notice = QStringLiteral("the cache %1 could not be read (%2): it was moved aside to "
                                     "%1.broken and a new one started")
                          .arg(file, damage);
            return cache;
        }
    }
    *notice = cannot.arg(file, reason);
    return nullptr;
}

// Makes the folder and the file, with no access for others, before SQLite opens it: SQLite
// gives its log and shared-memory files the database's mode. A cache that others could
// replace or read, or that leads elsewhere, is not used.
bool OutcomeCache::Prepare(QString* notice) {
    const QString folder = QFileInfo(m_file).path();
    const QByteArray name = QFile::encodeName(m_file);
    const auto refuse = [&](const QString& why) {
        *notice = QStringLiteral("the cache %1 is not used: %2").arg(m_file, why);
        return false;
    };
    const auto cannot = [&] {
        *notice = QStringLiteral("the cache %1 cannot be used: %2").arg(m_file, SystemError());
        return false;
    };
    if (!MakeFolder(folder))
        return cannot();
    const int fd =
        ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
        return cannot();
    if (fd >= 0)
        ::close(fd);
    struct stat status;
    for (const bool isFolder : {true, false}) {
        const QString it = isFolder ? QStringLiteral("its folder") : QStringLiteral("it");
        if (::lstat(isFolder ? QFile::encodeName(folder).constData() : name.constData(), &status))
            return cannot();
        if (S_ISLNK(status.st_mode))
            return refuse(it + QStringLiteral(" is a symbolic link"));
        if (!isFolder && !S_ISREG(status.st_mode))
            return refuse(QStringLiteral("it is not a regular file"));
        if (status.st_uid != ::geteuid())
            return refuse(it + QStringLiteral(" belongs to another user"));
        // Others may see the folder's names but not replace its files, nor read the entries.
        if (isFolder && (status.st_mode & 022))
            return refuse(QStringLiteral("other users can write its folder"));
        if (!isFolder && (status.st_mode & 077))
            return refuse(QStringLiteral("other users can read or write it"));
    }
    m_device = status.st_dev;
    m_inode = status.st_ino;
    return true;
}

// Opens the database, in write-ahead-log mode (readers and a writer do not block each other,
// and a process killed at any moment leaves it whole), with the table of this layout.
QString OutcomeCache::Connect(bool* broken) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(QFile::encodeName(m_file).constData(), &m_db, flags, nullptr);
    QByteArray journal, version;
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (rc == SQLITE_OK)
        rc = Query(m_db, "PRAGMA journal_mode = WAL", &journal);
    if (rc == SQLITE_OK)
        rc = Exec("PRAGMA synchronous = NORMAL");
    if (rc == SQLITE_OK)
        rc = Query(m_db, "PRAGMA user_version", &version);
    // Only a new or outdated database is written here (another process may be making it too),
    // so that opening one does not wait for another process's write.
    if (rc == SQLITE_OK && version.toInt() != kSchemaVersion &&
        (rc = Exec("BEGIN IMMEDIATE")) == SQLITE_OK &&
        (rc = Query(m_db, "PRAGMA user_version", &version)) == SQLITE_OK &&
        version.toInt() != kSchemaVersion)
        rc = Exec((kSchema + QByteArray::number(kSchemaVersion)).constData());
    if (rc == SQLITE_OK && !sqlite3_get_autocommit(m_db))
        rc = Exec("COMMIT");
    for (const auto& [statement, sql] :
         {std::pair{&m_find, kFind}, {&m_store, kStore}, {&m_markSeen, kMarkSeen}})
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr);
    QString reason;
    *broken = rc != SQLITE_OK && IsBroken(sqlite3_errcode(m_db));
    if (rc != SQLITE_OK)
        reason = QString::fromUtf8(sqlite3_errmsg(m_db));
    else if (journal != "wal")
        reason = QStringLiteral("its file system allows no write-ahead log");
    if (!reason.isEmpty())
        Close();
    return reason;
}

OutcomeCache::~OutcomeCache() {
    Flush();
    Prune();
    Close();
}

void OutcomeCache::Close() {
    for (sqlite3_stmt** statement : {&m_find, &m_store, &m_markSeen})
        sqlite3_finalize(std::exchange(*statement, nullptr));
    sqlite3_close(std::exchange(m_db, nullptr)); // rolls back a transaction left open
}

int OutcomeCache::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

// Gives the cache up for the rest of the run after an error, saying why once. A damaged
// database is moved aside, for the next run to start a new one.
void OutcomeCache::Fail() {
    const int code = sqlite3_errcode(m_db) & 0xff;
    const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
    Close();
    m_pending.clear();
    m_seen.clear();
    const QString prefix = QStringLiteral("the cache %1 is no longer used: ").arg(m_file);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        m_problem = prefix + QStringLiteral("other programs kept it locked for more than %1 s")
                                 .arg(kBusyTimeoutMs / 1000);
    else if (IsBroken(code) && MoveAside(m_file, m_device, m_inode))
        m_problem = prefix + QStringLiteral("it is damaged (%1); it was moved aside to %2.broken")
                                 .arg(reason, m_file);
    else
        m_problem = prefix + reason;
}

std::optional<QByteArray> OutcomeCache::Find(const FileIdentity& identity) {
    if (!m_db)
        return std::nullopt;
    BindKey(m_find, identity, m_library);
    const int rc = sqlite3_step(m_find);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Fail(), std::nullopt;
    std::optional<QByteArray> answer;
    if (rc == SQLITE_ROW && !IsRacy(identity, sqlite3_column_int64(m_find, 1))) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_find, 3));
        answer.emplace(bytes, sqlite3_column_bytes(m_find, 3));
        if (sqlite3_column_int64(m_find, 2) != m_today)
            m_seen.push_back(sqlite3_column_int64(m_find, 0));
    }
    sqlite3_reset(m_find);
    FlushIfDue();
    return answer;
}

void OutcomeCache::Store(const FileIdentity& identity, qint64 analysedNs,
                         const QByteArray& answer) {
    if (!m_db)
        return;
    m_pending.push_back({identity, analysedNs, answer});
    m_pendingBytes += identity.path.size() + answer.size();
    FlushIfDue();
}

void OutcomeCache::FlushIfDue() {
    const size_t entries = m_pending.size() + m_seen.size();
    if (entries >= kBatchEntries || m_pendingBytes >= kBatchBytes ||
        (entries > 0 && std::chrono::steady_clock::now() - m_lastFlush >= kBatchInterval))
        Flush();
}

void OutcomeCache::Flush() {
    if (!m_db || (m_pending.empty() && m_seen.empty()))
        return;
    int rc = Exec("BEGIN IMMEDIATE");
    for (auto entry = m_pending.cbegin(); rc == SQLITE_OK && entry != m_pending.cend(); ++entry) {
        BindKey(m_store, entry->identity, m_library);
        sqlite3_bind_int64(m_store, 9, entry->analysedNs);
        sqlite3_bind_int64(m_store, 10, m_today);
        sqlite3_bind_blob(m_store, 11, entry->answer.constData(), int(entry->answer.size()),
                          SQLITE_STATIC);
        rc = Run(m_store);
    }
    for (auto rowid = m_seen.cbegin(); rc == SQLITE_OK && rowid != m_seen.cend(); ++rowid) {
        sqlite3_bind_int64(m_markSeen, 1, m_today);
        sqlite3_bind_int64(m_markSeen, 2, *rowid);
        rc = Run(m_markSeen);
    }
    if (rc == SQLITE_OK)
        rc = Exec("COMMIT");
    if (rc != SQLITE_OK)
        return Fail();
    m_pending.clear();
    m_seen.clear();
    m_pendingBytes = 0;
    m_lastFlush = std::chrono::steady_clock::now();
}

// Keeps the cache's size bounded: entries not seen for kForgetDays go, and so do those of the
// next kGoneChecks entries (after where the last run stopped, round the table) whose file no
// longer exists. The files are looked at outside the write transaction.
void OutcomeCache::Prune() {
    if (!m_db)
        return;
    sqlite3_busy_timeout(m_db, 1000); // pruning can wait for a later run
    QByteArray from;
    std::vector<QByteArray> gone;
    sqlite3_stmt* statement = nullptr;
    qint64 next = 0;
    int rc = Query(m_db, "SELECT value FROM state WHERE name = 'gone_check_from'", &from);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(m_db,
                                "SELECT rowid, path FROM outcomes WHERE rowid >= ?1 "
                                "ORDER BY rowid LIMIT ?2",
                                -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(statement, 1, from.toLongLong());
        sqlite3_bind_int(statement, 2, kGoneChecks);
    }
    for (int checked = 1; rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW;
         ++checked, rc = SQLITE_OK) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 1));
        const QByteArray path(bytes, sqlite3_column_bytes(statement, 1));
        struct stat status;
        if (::lstat(path.constData(), &status) != 0 && errno == ENOENT)
            gone.push_back(path);
        next = checked < kGoneChecks ? 0 : sqlite3_column_int64(statement, 0) + 1;
    }
    sqlite3_finalize(std::exchange(statement, nullptr));
    if (rc == SQLITE_DONE)
        rc = Exec(("BEGIN IMMEDIATE; DELETE FROM outcomes WHERE seen < " +
                   QByteArray::number(m_today - kForgetDays) +
                   "; INSERT OR REPLACE INTO state VALUES('gone_check_from', " +
                   QByteArray::number(next) + ")")
                      .constData());
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(m_db, "DELETE FROM outcomes WHERE path = ?1", -1, &statement,
                                nullptr);
    for (auto path = gone.cbegin(); rc == SQLITE_OK && path != gone.cend(); ++path) {
        sqlite3_bind_blob(statement, 1, path->constData(), int(path->size()), SQLITE_STATIC);
        rc = Run(statement);
    }
    sqlite3_finalize(statement);
    if (rc == SQLITE_OK)
        Exec("COMMIT"); // else closing rolls back
}

} // namespace kq
