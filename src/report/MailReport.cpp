#include "MailReport.h"

QString MailOutcomeText(kq::platform::MailOutcome outcome) {
    using kq::platform::MailOutcome;
    switch (outcome) {
    case MailOutcome::Handed:
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

void MailReportFile(const QString& reportPath,
                    std::function<void(kq::platform::MailOutcome)> done) {
    kq::platform::HandMailToClient(QString::fromUtf8(kMailSubject), reportPath,
                                   QString::fromUtf8(kSupportAddress), std::move(done));
}
