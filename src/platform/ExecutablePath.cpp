#include "ExecutablePath.h"

#include <QFile>

namespace kq::platform {

QString ExecutablePath() {
    // symLinkTarget has no length limit, unlike a fixed MAX_PATH buffer.
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

} // namespace kq::platform
