#include "MailClient.h"

#include "ChildProgram.h"

#include <QTimer>

namespace kq::platform {

void HandMailToClient(const QString& subject, const QString& attachmentPath, const QString& address,
                      std::function<void(MailOutcome)> done) {
    bool notExecutable = false;
    const QString program = FindOnPath(QStringLiteral("xdg-email"), &notExecutable);
    if (program.isEmpty()) {
        // Told from the event loop, as every other outcome is.
        QTimer::singleShot(0, [done, notExecutable] {
            done(notExecutable ? MailOutcome::NotExecutable : MailOutcome::NotFound);
        });
        return;
    }
    StartChildProgram(
        program,
        {QStringLiteral("--subject"), subject, QStringLiteral("--attach"), attachmentPath, address},
        [done](ChildEnd end) {
            done(!end.started                      ? MailOutcome::NotExecutable
                 : end.exited && end.exitCode == 0 ? MailOutcome::Handed
                                                   : MailOutcome::Failed);
        });
}

} // namespace kq::platform
