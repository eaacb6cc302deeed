#include "MailClient.h"

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
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0 ? MailOutcome::Handed
                                                                 : MailOutcome::Failed;
}

} // namespace kq::platform
