#pragma once

#include <QString>
#include <QStringList>

namespace kq {

// How the analysis workers of a run are started and limited.
struct AnalysisOptions {
    int workers = 0;                        // 0: one per processor core
    int timeoutMs = 20000;                  // per file, then the worker is killed
    long long memoryLimitBytes = 2LL << 30; // address space per worker; 0: unlimited
    QString workerProgram;                  // empty: AnalysisWorkerProgram()
    QString libraryFile;                    // empty: the binding's library name
};

// The worker program: $KQ_MEDIA_WORKER when set; else kqmediaworker beside this program (a
// build tree or portable folder), else in the installed layout's libexec folder.
QString AnalysisWorkerProgram();

// The program and arguments that start a worker of these options.
QString WorkerProgram(const AnalysisOptions& options);
QStringList WorkerArguments(const AnalysisOptions& options);

} // namespace kq
