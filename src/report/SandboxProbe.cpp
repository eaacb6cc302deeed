#include "SandboxProbe.h"

#include "platform/WorkerExit.h"
#include "platform/WorkerProcess.h"

#include <cerrno>

#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int kGraceMs = 2000;
} // namespace

SandboxProbe ProbeSandbox(const AnalysisOptions& options) {
    SandboxProbe probe;
    kq::platform::WorkerProcess worker;
    QString error;
    const QString program = WorkerProgram(options);
    if (!kq::platform::StartWorkerProcess(
            program, WorkerArguments(options) << QStringLiteral("--probe"), &worker, &error)) {
        probe.failure =
            QStringLiteral("cannot start the analysis worker %1: %2").arg(program, error);
        return probe;
    }
    QByteArray text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(worker.socket, chunk, sizeof chunk)) != 0;) {
        if (n > 0)
            text.append(chunk, n);
        else if (errno != EINTR)
            break;
    }
    const int status = kq::platform::EndWorkerProcess(&worker, kGraceMs);
    probe.layers = QString::fromUtf8(text);
    probe.complete = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!probe.complete &&
        !(WIFEXITED(status) && WEXITSTATUS(status) == kq::platform::kWorkerExitLayersMissing))
        probe.failure =
            QStringLiteral("the analysis worker %1 could not set up its limits").arg(program);
    return probe;
}
