#include "MailReport.h"

#include "platform/FileManager.h"

namespace kq {

QString MailOutcomeText(kq::platform::MailOutcome outcome) {
    using kq::platform::MailOutcome;
    switch (outcome) {
    case MailOutcome::Handed:
    case MailOutcome::HandedWithoutAttachment: // told with the report's place
        return QString();
    case MailOutcome::NotFound:
        return QStringLiteral("无法装入邮件系统支援。");
    case MailOutcome::NotExecutable:
        return QStringLiteral("邮件系统 DLL 无效。");
    case MailOutcome::Failed:
        return QStringLiteral("传递邮件未能传递信息。");
    }
    return QString();
}

QString AttachByHandText(const QString& reportPath) {
    return QStringLiteral("Your mail program cannot take the report as an attachment. The "
                          "message to support is open: please attach this file to it by "
                          "hand:\n\n%1")
        .arg(reportPath);
}

void MailReportFile(const QString& reportPath,
                    std::function<void(kq::platform::MailOutcome)> done) {
    using kq::platform::MailOutcome;
    // A web browser as the mail program (webmail) drops an attachment without a word: the
    // message goes without it, and the user is shown the file to attach.
    const bool attaches =
        kq::platform::MailHandlerAttaches(kq::platform::XdgDirectories::FromEnvironment());
    kq::platform::HandMailToClient(
        QString::fromUtf8(kMailSubject), attaches ? reportPath : QString(),
        QString::fromUtf8(kSupportAddress),
        [done = std::move(done), attaches, reportPath](MailOutcome outcome) {
            if (attaches || outcome != MailOutcome::Handed)
                return done(outcome);
            kq::platform::ShowInFileManager(reportPath);
            done(MailOutcome::HandedWithoutAttachment);
        });
}

} // namespace kq
