#pragma once

#include <QtGlobal>

namespace kq::platform {

// Blocking transfers over the stream socket between the report builder and a worker,
// retried across interruptions and short transfers. False when the other end is gone (a
// send then fails with EPIPE instead of raising SIGPIPE) or on an error.
bool ReadFully(int fd, char* data, qsizetype size);
bool SendFully(int fd, const char* data, qsizetype size);

} // namespace kq::platform
