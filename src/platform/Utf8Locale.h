#pragma once

namespace kq::platform {

// Makes LC_CTYPE a UTF-8 locale (C.UTF-8 when the environment gives C, POSIX, another
// encoding or a locale this machine does not have), and replaces any other category that the
// machine lacks with C.UTF-8, in this process and in the environment that child processes
// inherit.
// The media library converts wide paths with the C library's multibyte functions, so it
// cannot open a non-ASCII path otherwise. Call before the Qt application object exists.
// Returns true when LC_CTYPE is UTF-8 afterwards.
bool EnsureUtf8Locale();

} // namespace kq::platform
