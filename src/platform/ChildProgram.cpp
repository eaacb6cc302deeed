#include "ChildProgram.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
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

QString FindOnPath(const QString& name, bool* foundButNotExecutable) {
    // As the shell searches: an unset PATH is the system's default path, an empty entry the
    // current directory, and an entry that cannot be executed is passed over.
    QByteArray path = qgetenv("PATH");
    if (!qEnvironmentVariableIsSet("PATH")) {
        path.resize(static_cast<qsizetype>(::confstr(_CS_PATH, nullptr, 0)));
        path.resize(static_cast<qsizetype>(::confstr(_CS_PATH, path.data(), path.size())) - 1);
    }
    *foundButNotExecutable = false;
    for (const QString& dir : QFile::decodeName(path).split(QLatin1Char(':'))) {
        const QFileInfo candidate((dir.isEmpty() ? QStringLiteral(".") : dir) + QLatin1Char('/') +
                                  name);
        if (!candidate.exists() || candidate.isDir())
            continue;
        if (::access(QFile::encodeName(candidate.filePath()).constData(), X_OK) == 0)
            return candidate.absoluteFilePath();
        *foundButNotExecutable = true;
    }
    return QString();
}

} // namespace kq::platform
