#include "FileManager.h"

#include "ChildProgram.h"

#include <QFileInfo>
#include <QUrl>

namespace kq::platform {

namespace {

void OpenFolder(const QString& path) {
    bool notExecutable = false;
    const QString opener = FindOnPath(QStringLiteral("xdg-open"), &notExecutable);
    if (!opener.isEmpty())
        StartChildProgram(opener, {QFileInfo(path).absolutePath()}, [](ChildEnd) {});
}

} // namespace

void ShowInFileManager(const QString& path) {
    // Through dbus-send, as the other desktop services are reached through their programs: it
    // says by its status whether a file manager answered.
    bool notExecutable = false;
    const QString sender = FindOnPath(QStringLiteral("dbus-send"), &notExecutable);
    if (sender.isEmpty())
        return OpenFolder(path);
    // A comma would split dbus-send's array; encoded, it names the same file.
    const QString uri = QUrl::fromLocalFile(path)
                            .toString(QUrl::FullyEncoded)
                            .replace(QLatin1Char(','), QLatin1String("%2C"));
    StartChildProgram(sender,
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.freedesktop.FileManager1"),
                       QStringLiteral("/org/freedesktop/FileManager1"),
                       QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                       QStringLiteral("array:string:") + uri, QStringLiteral("string:")},
                      [path](ChildEnd end) {
                          if (!end.exited || end.exitCode != 0)
                              OpenFolder(path);
                      });
}

} // namespace kq::platform
