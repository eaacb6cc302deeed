#include "FileProcess.h"

#include "WorkerSandbox.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kq::platform {

namespace {

[[noreturn]] void AnswerInChild(const char* path, const FileProcessConfinement& confinement,
                                pid_t worker, int answer, int output, int setupFailed,
                                const std::function<QByteArray()>& analyse) {
    // Nothing of the worker's is left to the library: not its requests, not its replies, not
    // the standard error it shares with the program that started it.
    // What it keeps is kFileProcessDescriptors: 1, 2 and kFileAnswerFd.
    if (::dup2(answer, kFileAnswerFd) != kFileAnswerFd || ::dup2(output, 1) != 1 ||
        ::dup2(output, 2) != 2 || ::close_range(0, 0, 0) != 0 ||
        ::close_range(3, kFileAnswerFd - 1, 0) != 0 ||
        ::close_range(kFileAnswerFd + 1, ~0U, 0) != 0 || !ConfineToFile(path, worker, confinement))
        ::_exit(setupFailed);
    const QByteArray bytes = analyse();
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::write(kFileAnswerFd, bytes.constData() + at,
                                  static_cast<std::size_t>(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        at += n;
    }
    ::_exit(0);
}

// Appends what can be read from fd to *bytes, up to limit bytes in all (a byte over it for
// an answer, which tells one that is too long; the rest is read and dropped); false at the end.
bool Drain(int fd, QByteArray* bytes, qsizetype limit) {
    char chunk[16384];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN;
    bytes->append(chunk, std::clamp<qsizetype>(limit - bytes->size(), 0, n));
    return n > 0;
}

} // namespace

bool RunFileProcess(const char* path, const FileProcessConfinement& confinement,
                    qsizetype maxAnswer, int setupFailed,
                    const std::function<QByteArray()>& analyse, FileProcessEnd* end) {
    int answer[2], output[2];
    if (::pipe2(answer, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(answer[0]), ::close(answer[1]);
        return false;
    }
    const pid_t worker = ::getpid();
    const pid_t child = ::fork();
    if (child == 0)
        AnswerInChild(path, confinement, worker, answer[1], output[1], setupFailed, analyse);
    ::close(answer[1]), ::close(output[1]);
    if (child < 0) {
        const int error = errno;
        ::close(answer[0]), ::close(output[0]);
        errno = error;
        return false;
    }
    *end = FileProcessEnd();
    // Both pipes are read as they fill, so that neither can stall the process. Once the answer
    // is over the limit its pipe is closed: the process then meets a closed pipe.
    pollfd pipes[2] = {{answer[0], POLLIN, 0}, {output[0], POLLIN, 0}};
    while (pipes[0].fd >= 0 || pipes[1].fd >= 0) {
        if (::poll(pipes, 2, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            QByteArray* bytes = i == 0 ? &end->answer : &end->output;
            const qsizetype limit = i == 0 ? maxAnswer + 1 : kMaxFileOutput;
            if (pipes[i].revents != 0 &&
                (!Drain(pipes[i].fd, bytes, limit) || (i == 0 && bytes->size() > maxAnswer))) {
                ::close(pipes[i].fd);
                pipes[i].fd = -1;
            }
        }
    }
    end->overlong = end->answer.size() > maxAnswer;
    if (end->overlong)
        end->answer.clear();
    while (::waitpid(child, &end->status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace kq::platform
