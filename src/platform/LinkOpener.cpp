#include "LinkOpener.h"

#include "ChildProgram.h"

#include <QPointer>
#include <QTimer>

#include <memory>
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
    QPointer<LinkOpener> self(this);
    const auto tell = [self, target, told](int code, bool started) {
        if (self && !std::exchange(*told, true))
            emit self->Finished(target, code, started);
    };
    // How long a run may take before it counts as a browser that has started.
    constexpr int kLaunchGraceMs = 1500;
    QTimer::singleShot(kLaunchGraceMs, this, [tell] { tell(kLinkOpened, true); });
    bool notExecutable = false; // xdg-open that cannot be run is no xdg-open
    const QString program = FindOnPath(QStringLiteral("xdg-open"), &notExecutable);
    if (program.isEmpty()) {
        QTimer::singleShot(0, this, [tell] { tell(XdgOpenResultCode(false, false, 0), false); });
        return;
    }
    StartChildProgram(program, {target}, [tell](ChildEnd end) {
        tell(XdgOpenResultCode(end.started, end.exited, end.exitCode), end.started);
    });
}

} // namespace kq::platform
