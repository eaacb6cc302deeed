#include "PathCheck.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace kq {

namespace {

bool ToNs(const timespec& time, qint64* ns) {
    return !__builtin_mul_overflow(qint64(time.tv_sec), qint64(1000000000), ns) &&
           !__builtin_add_overflow(*ns, qint64(time.tv_nsec), ns);
}

} // namespace

QString PathProblem(const QByteArray& name, FileIdentity* identity) {
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
    if (identity) {
        *identity = {name, st.st_dev, st.st_ino, st.st_size};
        // Stamps beyond the years 1678 to 2262 leave it without any: such a file is never
        // taken for one seen before.
        if (!ToNs(st.st_mtim, &identity->modifiedNs) || !ToNs(st.st_ctim, &identity->changedNs))
            identity->path.clear();
    }
    return QString();
}

} // namespace kq
