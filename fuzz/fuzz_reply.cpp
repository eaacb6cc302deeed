// The replies a taken-over analysis process or worker may send: whatever the frame reader and
// the reply decoder accept is within the limits and is exactly what would be sent again.

#include "FuzzCheck.h"
#include "media/MediaFields.h"
#include "report/AnalysisProtocol.h"

#include <QtEndian>

namespace {

// The reply as it would be sent again.
QByteArray Resent(const WorkerReply& r) {
    using K = WorkerReply::Kind;
    return (r.kind == K::Opened || r.kind == K::NotOpened ? FrameReply(r.report)
            : r.kind == K::Unusable                       ? FrameUnusableLibrary(r.problem)
            : r.kind == K::Ready                          ? FrameReady()
            : r.kind == K::Ended                          ? FrameEnded(r.status)
                                                          : FrameBroken())
        .mid(4);
}

bool WithinLimits(const QList<QStringList>& sections, qsizetype count, int fields) {
    bool within = count <= kMaxStreams && sections.size() == count;
    for (const QStringList& values : sections) {
        within = within && values.size() == fields;
        for (const QString& value : values)
            within = within && value.toUtf8().size() <= kMaxValueBytes && !value.contains(QChar(0));
    }
    return within;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = FuzzInput(data, size);
    QByteArray buffer = input, payload;
    switch (TakeFrame(&buffer, &payload)) {
    case FrameState::Complete: {
        char header[4];
        qToLittleEndian(static_cast<quint32>(payload.size()), header);
        KQ_CHECK(payload.size() <= kMaxFrameBytes);
        KQ_CHECK(QByteArray(header, 4) + payload + buffer == input);
        break;
    }
    case FrameState::Incomplete:
        KQ_CHECK(buffer == input && (input.size() < 4 || input.size() < 4 + FrameLength(input)));
        break;
    case FrameState::Invalid:
        KQ_CHECK(qFromLittleEndian<quint32>(input.constData()) > kMaxFrameBytes);
        break;
    }
    WorkerReply reply;
    if (!ParseReply(input, &reply))
        return 0;
    KQ_CHECK(input.size() <= kMaxReplyBytes);
    if (reply.report) {
        const FileReport& file = *reply.report;
        KQ_CHECK(WithinLimits({file.general}, 1, kGeneralSection.valueCount));
        KQ_CHECK(WithinLimits(file.video, file.video.size(), kVideoSection.valueCount));
        KQ_CHECK(WithinLimits(file.audio, file.audio.size(), kAudioSection.valueCount));
    }
    KQ_CHECK(Resent(reply) == input);
    return 0;
}
