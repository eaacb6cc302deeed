#include "UserDataDirectory.h"

#include <QDir>

namespace kq::platform {

QString UserDataDirectory(const QString& appName) {
    // The XDG base-directory rule: a relative XDG_DATA_HOME is invalid and ignored.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QLatin1Char('/') + appName) + QLatin1Char('/');
}

} // namespace kq::platform
