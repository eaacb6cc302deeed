#include "AnalysisWorker.h"

#include "AnalysisProtocol.h"
#include "media/MediaFileInfo.h"

#include <QtEndian>

#include <cerrno>

#include <unistd.h>

namespace {
bool ReadExactly(int fd, char* data, qsizetype size) {
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

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}
} // namespace

int RunAnalysisWorker(int inputFd, int outputFd) {
    for (;;) {
        QByteArray buffer(4, Qt::Uninitialized);
        if (!ReadExactly(inputFd, buffer.data(), 4))
            return 0; // the builder is done with us
        QByteArray payload;
        const quint32 length = qFromLittleEndian<quint32>(buffer.constData());
        if (length > static_cast<quint32>(kMaxFrameBytes))
            return 1;
        buffer.resize(4 + static_cast<qsizetype>(length));
        if (!ReadExactly(inputFd, buffer.data() + 4, length))
            return 1;
        if (TakeFrame(&buffer, &payload) != FrameState::Complete)
            return 1;
        const std::optional<FileReport> report =
            ReadFileReport(CMediaFileInfo::GetInstance(), ParseRequest(payload));
        if (!WriteAll(outputFd, FrameReply(report)))
            return 1;
    }
}
