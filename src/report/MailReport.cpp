#include "MailReport.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <thread>

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

void StartMailThread(const QString& reportPath,
                     std::function<void(kq::platform::MailOutcome)> done) {
    std::thread([reportPath, done = std::move(done)] {
        const auto outcome = kq::platform::HandMailToClient(
            QString::fromUtf8(kMailSubject), reportPath, QString::fromUtf8(kSupportAddress));
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [done, outcome] { done(outcome); }, Qt::QueuedConnection);
    }).detach();
}
