#include "AnalysisWorker.h"

#include "AnalysisProtocol.h"
#include "media/MediaFileInfo.h"
#include "platform/SocketIo.h"

using kq::platform::ReadFully;
using kq::platform::SendFully;

int RunAnalysisWorker(int inputFd, int outputFd) {
    for (;;) {
        char header[4];
        if (!ReadFully(inputFd, header, sizeof header))
            return 0; // the builder is done with us
        const qsizetype length = FrameLength(header);
        if (length < 0)
            return 1;
        QByteArray payload(length, Qt::Uninitialized);
        if (!ReadFully(inputFd, payload.data(), length))
            return 1;
        CMediaFileInfo& info = CMediaFileInfo::GetInstance();
        const QString problem = info.Problem();
        const QByteArray reply = problem.isEmpty()
                                     ? FrameReply(ReadFileReport(info, ParseRequest(payload)))
                                     : FrameUnusableLibrary(problem);
        if (!SendFully(outputFd, reply.constData(), reply.size()))
            return 1;
    }
}
