#pragma once

#include <QString>

namespace kq::platform {

// Full path of the running executable (from /proc/self/exe), or empty if unknown.
QString ExecutablePath();

} // namespace kq::platform
