#pragma once

#include "ReportBuilder.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Files are analysed in worker processes (kqmediaworker), never in ours: a hostile file can
// make the media library loop for ever, exhaust memory, crash or reach for the network, and
// a worker can be limited, killed and replaced where our own process cannot.
struct AnalysisOptions {
    int workers = 0;                          // 0: one per processor core
    int timeoutMs = 20000;                    // per file, then the worker is killed
    long long memoryLimitBytes = 2LL << 30;   // address space per worker; 0: unlimited
    QString workerProgram;                    // empty: AnalysisWorkerProgram()
    QString libraryFile;                      // empty: the binding's library name
};

struct AnalysisProgress {
    int done = 0;
    int total = 0;
    QString current; // the file that has been analysed longest of those in progress
};

// Called now and then during a run, and once all files are done; returning false cancels.
using AnalysisProgressCallback = std::function<bool(const AnalysisProgress&)>;

struct FileAnalysis {
    std::optional<FileReport> report; // set when the file went into the report
    QString reason;                   // else why it was left out
};

enum class AnalysisStatus { Complete, Cancelled, Failed };

struct AnalysisRun {
    AnalysisStatus status = AnalysisStatus::Complete;
    QList<FileAnalysis> files; // in input order when Complete
    QString failure;           // why, when Failed
    QString libraryProblem;    // set when the media library cannot be used: no file opens
};

// The worker program: $KQ_MEDIA_WORKER when set; else kqmediaworker beside this program (a
// build tree or portable folder), else in the installed layout's libexec folder.
QString AnalysisWorkerProgram();

// Analyses paths with up to options.workers workers at a time. Paths that PathProblem()
// rejects never reach a worker. Every worker has ended when this returns.
AnalysisRun AnalyseFiles(const QStringList& paths, const AnalysisOptions& options,
                         const AnalysisProgressCallback& progress = {});

struct SandboxProbe {
    QString layers;        // one line per layer of the worker's confinement
    bool complete = false; // every layer holds on this machine
    QString failure;       // set when no worker could confine itself
};

// Starts one worker that confines itself as it would for a run, and asks which layers hold.
SandboxProbe ProbeSandbox(const AnalysisOptions& options);
