#include "SandboxProbe.h"

#include "WorkerConversation.h"
#include "platform/WorkerExit.h"

#include <sys/wait.h>

namespace kq {

namespace {
constexpr int kGraceMs = 2000;
} // namespace

SandboxProbe ProbeSandbox(const AnalysisOptions& options) {
    SandboxProbe probe;
    WorkerConversation worker;
    QString error;
    const QString program = WorkerProgram(options);
    if (!worker.Start(program, WorkerArguments(options) << QStringLiteral("--probe"), &error)) {
        probe.failure =
            QStringLiteral("cannot start the analysis worker %1: %2").arg(program, error);
        return probe;
    }
    probe.layers = QString::fromUtf8(worker.ReadToEnd());
    const int status = worker.End(kGraceMs);
    probe.complete = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!probe.complete &&
        !(WIFEXITED(status) && WEXITSTATUS(status) == kq::platform::kWorkerExitLayersMissing))
        probe.failure =
            QStringLiteral("the analysis worker %1 could not set up its limits").arg(program);
    return probe;
}

} // namespace kq
