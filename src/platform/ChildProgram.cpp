#include "ChildProgram.h"

#include <QFile>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kq::platform {

ChildRun RunChildProgram(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> args = {QFile::encodeName(program)};
    for (const QString& argument : arguments)
        args.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ChildRun run;
    pid_t pid = 0;
    // posix_spawn reports a failed exec (no permission, bad format) as its own result.
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    run.started = true;
    while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

} // namespace kq::platform
