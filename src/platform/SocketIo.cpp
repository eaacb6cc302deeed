#include "SocketIo.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace kq::platform {

bool ReadFully(int fd, char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool SendFully(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace kq::platform
