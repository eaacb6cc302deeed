#include "MailClient.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kq::platform {

QString FindOnPath(const QString& name) {
    const QString path = qEnvironmentVariable("PATH");
    for (const QString& dir : path.split(QLatin1Char(':'))) {
        // An empty entry means the current directory, as for the shell.
        const QFileInfo candidate((dir.isEmpty() ? QStringLiteral(".") : dir) + QLatin1Char('/') +
                                  name);
        if (candidate.exists() && !candidate.isDir())
            return candidate.absoluteFilePath();
    }
    return QString();
}

MailOutcome HandMailToClient(const QString& subject, const QString& attachmentPath,
                             const QString& address) {
    const QString program = FindOnPath(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return MailOutcome::NotFound;

    const std::vector<QByteArray> args = {
        QFile::encodeName(program), "--subject", subject.toUtf8(),
        "--attach",                 QFile::encodeName(attachmentPath), address.toUtf8()};
    std::vector<char*> argv;
    for (const QByteArray& arg : args)
        argv.push_back(const_cast<char*>(arg.constData()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    // posix_spawn reports a failed exec (no permission, bad format) as its own result.
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return MailOutcome::NotExecutable;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return MailOutcome::Failed;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return MailOutcome::Handed;
    // 127 is how a spawned child reports an exec that failed after the fork.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && !QFileInfo(program).isExecutable())
        return MailOutcome::NotExecutable;
    return MailOutcome::Failed;
}

} // namespace kq::platform
