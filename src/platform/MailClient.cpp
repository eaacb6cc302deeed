#include "MailClient.h"

#include <QFile>
#include <QFileInfo>

#include "ChildProgram.h"

#include <sys/wait.h>
#include <unistd.h>

namespace kq::platform {

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

MailOutcome HandMailToClient(const QString& subject, const QString& attachmentPath,
                             const QString& address) {
    bool notExecutable = false;
    const QString program = FindOnPath(QStringLiteral("xdg-email"), &notExecutable);
    if (program.isEmpty())
        return notExecutable ? MailOutcome::NotExecutable : MailOutcome::NotFound;

    const ChildRun run =
        RunChildProgram(program, {QStringLiteral("--subject"), subject, QStringLiteral("--attach"),
                                  attachmentPath, address});
    if (!run.started)
        return MailOutcome::NotExecutable;
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
        return MailOutcome::Handed;
    // 127 is how a spawned child reports an exec that failed after the fork.
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 127 &&
        !QFileInfo(program).isExecutable())
        return MailOutcome::NotExecutable;
    return MailOutcome::Failed;
}

} // namespace kq::platform
