#include "WorkerExit.h"

#include <cstring>
#include <iterator>

#include <sys/wait.h>

namespace kq::platform {

namespace {

QString FormatLimit(long long bytes) {
    if (bytes % (1LL << 30) == 0)
        return QStringLiteral("%1 GiB").arg(bytes >> 30);
    return QStringLiteral("%1 MiB").arg(bytes >> 20);
}

QString SignalName(int signal) {
    if (const char* abbreviation = ::sigabbrev_np(signal))
        return QStringLiteral("SIG") + QLatin1String(abbreviation);
    return QString::number(signal);
}

// What the media library tried, by the attempt that stopped it.
constexpr struct {
    BlockedAttempt attempt;
    const char* words;
} kAttemptWords[] = {
    {BlockedAttempt::Network, "use the network"},
    {BlockedAttempt::Program, "start a program or process"},
    {BlockedAttempt::Write, "write a file"},
    {BlockedAttempt::OtherProcess, "reach another process"},
};
static_assert(std::size(kAttemptWords) == kBlockedAttempts);

} // namespace

QString DescribeEnd(int status, long long memoryLimitBytes) {
    for (const auto& [attempt, words] : kAttemptWords)
        if (WIFEXITED(status) && WEXITSTATUS(status) == kBlockedExitBase + int(attempt))
            return QStringLiteral("blocked: the media library tried to %1")
                .arg(QLatin1String(words));
    if (WIFSIGNALED(status)) {
        // A call of another architecture ends the worker with SIGSYS.
        if (WTERMSIG(status) == SIGSYS)
            return QStringLiteral(
                "blocked: the media library tried to make a system call it may not make");
        return QStringLiteral("the media library crashed (%1)").arg(SignalName(WTERMSIG(status)));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kWorkerExitOutOfMemory)
        return QStringLiteral("needs more memory than the limit of %1")
            .arg(FormatLimit(memoryLimitBytes));
    return QStringLiteral("the analysis ended unexpectedly (exit status %1)")
        .arg(WIFEXITED(status) ? WEXITSTATUS(status) : status);
}

} // namespace kq::platform
