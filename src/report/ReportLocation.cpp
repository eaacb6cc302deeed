#include "ReportLocation.h"

#include "platform/ExecutablePath.h"
#include "platform/UserDataDirectory.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace kq {

#ifndef KQ_INSTALL_FULL_BINDIR
#define KQ_INSTALL_FULL_BINDIR "/usr/local/bin"
#endif
// Set by the install rules (cmake/Install.cmake), which decide the layout.
#ifndef KQ_INSTALLED_LAYOUT_MARKER
#define KQ_INSTALLED_LAYOUT_MARKER "../share/metainfo/example.kqmedia.KQCheckMediaInfo.metainfo.xml"
#endif

namespace {
QString WithSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString Canonical(const QString& dir) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(dir) : canonical;
}
} // namespace

QString GetProgramDirectory() {
    const QString exe = kq::platform::ExecutablePath();
    if (exe.isEmpty())
        return WithSlash(QDir::currentPath());
    return WithSlash(QFileInfo(exe).absolutePath());
}

QString InstalledLayoutMarker() {
    return QStringLiteral(KQ_INSTALLED_LAYOUT_MARKER);
}

QString ReportDirectoryFor(const QString& programDirectory, const QString& installedBinDirectory,
                           const QString& userDataDirectory) {
    // The compiled-in directory alone misses `cmake --install --prefix` elsewhere and DESTDIR
    // staging; the metainfo file beside the programs is there in every installation and never
    // in a build tree. Resolved from the canonical directory, so ".." leaves the real folder,
    // not a link to it.
    const QString canonicalProgram = Canonical(programDirectory);
    const bool installed =
        canonicalProgram == Canonical(installedBinDirectory) ||
        QFileInfo(WithSlash(canonicalProgram) + InstalledLayoutMarker()).isFile();
    // access() rather than file permissions: root and ACLs are judged the way a write is.
    const bool writable =
        ::access(QFile::encodeName(programDirectory).constData(), W_OK | X_OK) == 0;
    if (!installed && writable)
        return WithSlash(programDirectory);
    return WithSlash(userDataDirectory);
}

QString ReportDirectory() {
    const QString dir =
        ReportDirectoryFor(GetProgramDirectory(), QStringLiteral(KQ_INSTALL_FULL_BINDIR),
                           kq::platform::UserDataDirectory(QLatin1String(kAppDirectoryName)));
    QDir().mkpath(dir);
    return dir;
}

QString ReportFilePath() {
    return ReportDirectory() + QLatin1String(kReportFileName);
}

} // namespace kq
