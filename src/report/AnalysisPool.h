#pragma once

#include "AnalysisProtocol.h"
#include "FileReport.h"
#include "PathCheck.h"
#include "WorkerProgram.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kq {

// Files are analysed in worker processes (kqmediaworker), never in ours: a hostile file can
// make the media library loop for ever, exhaust memory, crash or reach for the network, and
// a worker can be limited, killed and replaced where our own process cannot.
struct AnalysisProgress {
    qint64 done = 0;
    qint64 total = -1;  // -1 while it is not known yet
    QByteArray current; // the file that has been analysed longest of those in progress
};

// Called now and then during a run, and once all files are done; returning false cancels.
using AnalysisProgressCallback = std::function<bool(const AnalysisProgress&)>;

struct FileAnalysis {
    std::optional<FileReport> report; // set when the file goes into the report
    QString reason;                   // else why it is left out
    bool libraryUnusable = false;     // the reason is that the library cannot be used
};

// Where the paths of a run come from, one at a time, so that a list of any length is never
// held whole. A path is the name's bytes, as it is opened.
class PathSource {
public:
    virtual ~PathSource() = default;
    // False when there are no more paths.
    virtual bool Next(QByteArray* path) = 0;
    // The number of paths, when it is known before they are read; else -1.
    virtual qint64 Total() const { return -1; }
    // Set when reading failed before the end (a list that could not be read to its end): the
    // paths after it are lost, and the report is not finished.
    virtual QString Failure() const { return QString(); }
};

// Paths held as text (in the form of DecodeFileName), as the window and the command line have
// them.
class PathListSource : public PathSource {
public:
    explicit PathListSource(const QStringList& paths) : m_paths(paths) {}
    bool Next(QByteArray* path) override;
    qint64 Total() const override { return m_paths.size(); }

private:
    const QStringList& m_paths;
    qsizetype m_next = 0;
};

// Receives each path's analysis, in input order, as soon as every earlier one is done;
// returning false stops the run (it then fails without a reason of its own).
using AnalysisSink = std::function<bool(const QByteArray& path, FileAnalysis& analysis)>;

enum class AnalysisStatus { Complete, Cancelled, Failed };

struct AnalysisRun {
    AnalysisStatus status = AnalysisStatus::Complete;
    QString failure;        // why, when Failed
    QString libraryProblem; // set when the media library cannot be used: no file opens
};

class WorkerConversation;

// Answers a run may take without asking a worker, and where it keeps those that workers give:
// the tool's outcome cache and the window's memory of its earlier builds plug in here.
class KnownAnswers {
public:
    virtual ~KnownAnswers() = default;
    // The answer for a file of identity, when one may be used.
    virtual std::optional<FileAnswer> Find(const FileIdentity& identity) = 0;
    // The answer a worker gave for a file of identity, looked at from analysedNs (the real-time
    // clock) on, once the answer has passed the worker's checks and ours.
    virtual void Keep(const FileIdentity& identity, qint64 analysedNs,
                      const FileAnswer& answer) = 0;
    // A worker started and greeted to learn the library's version, for the run to take rather
    // than start another; null when there is none.
    virtual WorkerConversation* GreetedWorker() { return nullptr; }
};

// Analyses the paths of source with up to options.workers workers at a time and hands each
// analysis to sink. Paths that PathProblem() rejects never reach a worker, nor do those known
// gives an answer for. Memory stays the same whatever the number of paths. Every worker has
// ended when this returns.
AnalysisRun AnalyseFiles(PathSource& source, const AnalysisOptions& options,
                         const AnalysisSink& sink, const AnalysisProgressCallback& progress = {},
                         KnownAnswers* known = nullptr);

} // namespace kq
