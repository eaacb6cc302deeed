#include "PathCheck.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace kq {

QString PathProblem(const QByteArray& name) {
    struct stat st {};
    if (name.isEmpty())
        return QStringLiteral("missing");
    if (::stat(name.constData(), &st) != 0) {
        if (errno == EACCES)
            return QStringLiteral("not readable");
        if (errno != ENOENT && errno != ENOTDIR)
            return QString::fromLocal8Bit(std::strerror(errno));
        return ::lstat(name.constData(), &st) == 0 ? QStringLiteral("missing (broken link)")
                                                   : QStringLiteral("missing");
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    if (::access(name.constData(), R_OK) != 0)
        return QStringLiteral("not readable");
    return QString();
}

} // namespace kq
