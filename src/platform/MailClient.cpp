#include "MailClient.h"

#include "ChildProgram.h"

#include <QFileInfo>
#include <QTimer>

namespace kq::platform {

bool MailHandlerAttaches(const XdgDirectories& dirs) {
    if (!qEnvironmentVariableIsEmpty("MAILER"))
        return true;
    const QString desktop = DefaultDesktopFile(QStringLiteral("x-scheme-handler/mailto"), dirs);
    if (desktop.isEmpty())
        return true;
    // The programs that xdg-email attaches for, or that take a mailto: address's attach=, by
    // the name of their desktop entry (org.mozilla.Thunderbird.desktop) or of their program.
    static const char* const kAttaching[] = {
        "thunderbird", "icedove", "seamonkey", "evolution", "kmail", "kontact", "claws-mail",
        "sylpheed",    "balsa",   "geary",     "trojita",   "mutt",  "alpine"};
    const QStringList exec = SplitExecArguments(DesktopFileExec(desktop));
    const QString names = (QFileInfo(desktop).fileName() + u' ' +
                           (exec.isEmpty() ? QString() : QFileInfo(exec[0]).fileName()))
                              .toLower();
    for (const char* client : kAttaching)
        if (names.contains(QLatin1String(client)))
            return true;
    return false;
}

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
    QStringList arguments{QStringLiteral("--subject"), subject};
    if (!attachmentPath.isEmpty())
        arguments << QStringLiteral("--attach") << attachmentPath;
    StartChildProgram(program, arguments << address, [done](ChildEnd end) {
        done(!end.started                      ? MailOutcome::NotExecutable
             : end.exited && end.exitCode == 0 ? MailOutcome::Handed
                                               : MailOutcome::Failed);
    });
}

} // namespace kq::platform
