#include "LinkOpener.h"

namespace kq::platform {

int XdgOpenResultCode(bool started, QProcess::ExitStatus exitStatus, int exitCode) {
    if (!started || exitStatus != QProcess::NormalExit)
        return 2;
    switch (exitCode) {
    case 0:
        return kLinkOpened;
    case 1:
    case 2:
    case 4:
        return exitCode;
    case 3:
        return 31;
    default:
        return 2;
    }
}

LinkOpener::LinkOpener(QObject* parent) : QObject(parent), m_program(QStringLiteral("xdg-open")) {}

void LinkOpener::Open(const QString& target) {
    auto* process = new QProcess(this);
    // The browser that xdg-open starts may write to its terminal; none of it is ours to show.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setStandardInputFile(QProcess::nullDevice());
    const auto failed = [this, process, target](QProcess::ProcessError error) {
        // A child that never started sends no finished signal; every other error does.
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        // start() may report this before it returns; the caller hears of it from the event loop.
        QMetaObject::invokeMethod(
            this,
            [this, target] {
                emit Finished(target, XdgOpenResultCode(false, QProcess::NormalExit, 0));
            },
            Qt::QueuedConnection);
    };
    connect(process, &QProcess::errorOccurred, this, failed);
    connect(process, &QProcess::finished, this,
            [this, process, target](int exitCode, QProcess::ExitStatus exitStatus) {
                process->deleteLater();
                emit Finished(target, XdgOpenResultCode(true, exitStatus, exitCode));
            });
    process->start(m_program, {target});
}

} // namespace kq::platform
