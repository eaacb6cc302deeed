#pragma once

#include <QString>

namespace kq::platform {

// Shows the file at path selected in the user's file manager (the freedesktop
// org.freedesktop.FileManager1 ShowItems call on the session bus, made with dbus-send), or,
// where no file manager answers, opens its folder with xdg-open. Returns at once.
void ShowInFileManager(const QString& path);

} // namespace kq::platform
