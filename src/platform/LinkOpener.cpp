#include "LinkOpener.h"

#include "ChildProgram.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <sys/wait.h>
#include <thread>
#include <utility>

namespace kq::platform {

int XdgOpenResultCode(bool started, bool exited, int exitCode) {
    if (!started || !exited)
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

void LinkOpener::Open(const QString& target) {
    // Whichever comes first tells: the end of the run, or the grace time with the run going.
    auto told = std::make_shared<bool>(false);
    const auto tell = [this, target, told](int code, bool started) {
        if (!std::exchange(*told, true))
            emit Finished(target, code, started);
    };
    // How long a run may take before it counts as a browser that has started.
    constexpr int kLaunchGraceMs = 1500;
    QTimer::singleShot(kLaunchGraceMs, this, [tell] { tell(kLinkOpened, true); });
    bool notExecutable = false; // xdg-open that cannot be run is no xdg-open
    const QString program = FindOnPath(QStringLiteral("xdg-open"), &notExecutable);
    QPointer<LinkOpener> self(this);
    std::thread([program, target, self, tell] {
        const ChildRun run = program.isEmpty() ? ChildRun() : RunChildProgram(program, {target});
        const int code =
            XdgOpenResultCode(run.started, WIFEXITED(run.status), WEXITSTATUS(run.status));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, tell, code, started = run.started] {
                if (self)
                    tell(code, started);
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace kq::platform
