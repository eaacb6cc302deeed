#include "FileProcess.h"

#include "WorkerSandbox.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kq::platform {

namespace {

[[noreturn]] void Analyse(const char* path, pid_t worker, int answer, int setupFailed,
                          const std::function<QByteArray()>& analyse) {
    // Nothing of the worker's is left to the library: not its requests, not its replies.
    if (::dup2(answer, kAnswerFd) != kAnswerFd || ::close_range(0, 0, 0) != 0 ||
        ::close_range(3, kAnswerFd - 1, 0) != 0 || ::close_range(kAnswerFd + 1, ~0U, 0) != 0 ||
        !ConfineToFile(path, worker))
        ::_exit(setupFailed);
    const QByteArray bytes = analyse();
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n =
            ::write(kAnswerFd, bytes.constData() + at, static_cast<std::size_t>(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        at += n;
    }
    ::_exit(0);
}

} // namespace

bool RunFileProcess(const char* path, qsizetype maxAnswer, int setupFailed,
                    const std::function<QByteArray()>& analyse, FileProcessEnd* end) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    const pid_t worker = ::getpid();
    const pid_t child = ::fork();
    if (child == 0)
        Analyse(path, worker, ends[1], setupFailed, analyse);
    ::close(ends[1]);
    if (child < 0) {
        ::close(ends[0]);
        return false;
    }
    *end = FileProcessEnd();
    // Up to one byte over the limit, which tells an answer that is too long; the process
    // then meets a closed pipe.
    char chunk[16384];
    for (ssize_t n = 1; n != 0 && end->answer.size() <= maxAnswer;) {
        n = ::read(ends[0], chunk, sizeof chunk);
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0)
            end->answer.append(chunk, std::min<qsizetype>(n, maxAnswer + 1 - end->answer.size()));
    }
    ::close(ends[0]);
    end->overlong = end->answer.size() > maxAnswer;
    if (end->overlong)
        end->answer.clear();
    while (::waitpid(child, &end->status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace kq::platform
