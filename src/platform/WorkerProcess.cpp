#include "WorkerProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kq::platform {

bool StartWorkerProcess(const QString& program, const QStringList& arguments, WorkerProcess* worker,
                        QString* error) {
    int ends[2] = {-1, -1};
    // A socket rather than pipes: a write to a worker that died fails with EPIPE under
    // MSG_NOSIGNAL instead of killing us with SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> encoded;
    encoded.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments)
        encoded.push_back(argument.toUtf8());
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.constData()));
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the copies; the originals close at exec.
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (result != 0) {
        ::close(ends[0]);
        *error = QString::fromLocal8Bit(std::strerror(result));
        return false;
    }
    worker->pid = pid;
    worker->socket = ends[0];
    return true;
}

int EndWorkerProcess(WorkerProcess* worker, int graceMs) {
    if (worker->socket >= 0)
        ::close(worker->socket);
    worker->socket = -1;
    int status = 0;
    if (worker->pid <= 0)
        return status;
    for (int waited = 0; graceMs > 0 && waited < graceMs; waited += 2) {
        const pid_t done = ::waitpid(worker->pid, &status, WNOHANG);
        if (done == worker->pid || (done < 0 && errno != EINTR)) {
            worker->pid = -1;
            return status;
        }
        ::usleep(2000);
    }
    ::kill(worker->pid, SIGKILL);
    while (::waitpid(worker->pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker->pid = -1;
    return status;
}

} // namespace kq::platform
