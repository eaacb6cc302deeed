#include "FileManager.h"

#include "ChildProgram.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
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
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        OpenFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [path](QDBusPendingCallWatcher* done) {
                         if (done->isError())
                             OpenFolder(path);
                         done->deleteLater();
                     });
}

} // namespace kq::platform
