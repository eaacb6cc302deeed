#pragma once

#include <QString>

namespace kq::platform {

// The per-user data directory of the program: $XDG_DATA_HOME/<appName>/ (normally
// ~/.local/share/<appName>/), ending in "/". It is not created here.
QString UserDataDirectory(const QString& appName);

} // namespace kq::platform
