#pragma once

#include "AnalysisPool.h"
#include "FileReport.h"
#include "OutcomeCache.h"
#include "ReportForms.h"
#include "WorkerConversation.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kq {

// The one way a report is made, for the tool and the window alike: paths from a source, each
// analysed in a confined worker (AnalyseFiles), each file's values or its reason for being
// left out written in the report's form as its turn comes, while an observer hears how far
// the run has come and which files are left out.

// What the caller of a report hears while it is written.
class ReportObserver {
public:
    virtual ~ReportObserver() = default;
    // Whether Progress is to be called: a run without it waits on its workers alone.
    virtual bool HearsProgress() const { return false; }
    // Now and then during the run, and once at its end; false cancels it.
    virtual bool Progress(const AnalysisProgress&) { return true; }
    // A file left out of the report, and why; libraryUnusable when the reason is that the media
    // library cannot be used (then every file is left out so).
    virtual void LeftOut(const QByteArray& /*path*/, const QString& /*reason*/,
                         bool /*libraryUnusable*/) {}
    // The media library cannot be used: true to finish the report all the same (every file
    // left out), false to fail the run with problem.
    virtual bool FinishWithoutLibrary(const QString& /*problem*/) { return false; }
};

enum class BuildStatus { Written, Failed, Cancelled };

struct ReportRun {
    BuildStatus status = BuildStatus::Written;
    // Why, when Failed: the library's problem, the source's, or the workers'. Empty when it
    // was the output that failed: the caller knows its output.
    QString failure;
};

// Writes the report of source's paths in form to output, taking what known has of them (when
// given) instead of asking a worker, and keeping there what workers answer. The report is
// finished (its closing part written) only when the run is complete.
ReportRun WriteReport(PathSource& source, const AnalysisOptions& options, ReportForm form,
                      const ReportWriter::Output& output, ReportObserver& observer,
                      KnownAnswers* known = nullptr);

// The tool's outcome cache (OutcomeCache) as known answers: a file's answer is kept as the
// bytes that crossed the trust boundary and read back through the same checks.
class CachedAnswers : public KnownAnswers {
public:
    // The cache at file for the library that options' workers load, whose version a worker
    // is asked for first. Null when there is none to use; *notice then says why, when the user
    // should hear of it (not when the workers cannot start: the run tells that).
    static std::unique_ptr<CachedAnswers> Open(const QString& file, const AnalysisOptions& options,
                                               QString* notice);
    std::optional<FileAnswer> Find(const FileIdentity& identity) override;
    void Keep(const FileIdentity& identity, qint64 analysedNs, const FileAnswer& answer) override;
    WorkerConversation* GreetedWorker() override {
        return m_worker.Started() ? &m_worker : nullptr;
    }
    // Writes what the run found; then Problem() tells of any problem met during the run, after
    // which the cache was no longer used.
    void Finish() { m_cache->Flush(); }
    QString Problem() const { return m_cache->Problem(); }

private:
    CachedAnswers(std::unique_ptr<OutcomeCache> cache, WorkerConversation worker)
        : m_cache(std::move(cache)), m_worker(std::move(worker)) {}
    std::unique_ptr<OutcomeCache> m_cache;
    WorkerConversation m_worker; // the one asked the library's version, until a run takes it
};

// The window's memory of the answers of its earlier builds: no state outlives the window, but
// Mail Info after Save Info of the same files analyses none of them again. The same identity
// and racy-file rules as the cache's.
class RememberedAnswers : public KnownAnswers {
public:
    std::optional<FileAnswer> Find(const FileIdentity& identity) override;
    void Keep(const FileIdentity& identity, qint64 analysedNs, const FileAnswer& answer) override;

private:
    struct Remembered {
        FileIdentity identity;
        qint64 analysedNs = 0;
        FileAnswer answer;
    };
    QHash<QByteArray, Remembered> m_answers; // by path
};

// The window's report: the paths' report into ReportFilePath(), as an AtomicFile; then its path
// is in *writtenPath and the files left out of it, with the reasons, are in *leftOut. A
// cancelled or failed build leaves the previous file as it was.
BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath = nullptr,
                        const AnalysisProgressCallback& progress = {},
                        QList<LeftOutFile>* leftOut = nullptr, KnownAnswers* known = nullptr);

} // namespace kq
