#include "MailClient.h"

#include <QFileInfo>

#include "ChildProgram.h"

#include <sys/wait.h>

namespace kq::platform {

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
