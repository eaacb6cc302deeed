// The messages a taken-over analysis process or worker may send: whatever the frame reader and
// each conversation's parser accept is within the limits and is exactly what would be sent
// again.

#include "FuzzCheck.h"
#include "media/MediaFields.h"
#include "report/AnalysisProtocol.h"

#include <QtEndian>

using namespace kq;

namespace {

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
    WorkerGreeting greeting;
    if (ParseGreeting(input, &greeting))
        KQ_CHECK(FrameGreeting(greeting).mid(4) == input);
    FileAnswer file;
    if (ParseFileAnswer(input, &file)) {
        KQ_CHECK(FileAnswerPayload(file) == input);
        KQ_CHECK(!file || WithinLimits({file->general}, 1, kGeneralSection.valueCount));
    }
    WorkerAnswer answer;
    if (!ParseWorkerAnswer(input, &answer))
        return 0;
    KQ_CHECK(input.size() <= kMaxAnswerBytes);
    if (const FileAnswer& values = answer.answer) {
        KQ_CHECK(WithinLimits({values->general}, 1, kGeneralSection.valueCount));
        KQ_CHECK(WithinLimits(values->video, values->video.size(), kVideoSection.valueCount));
        KQ_CHECK(WithinLimits(values->audio, values->audio.size(), kAudioSection.valueCount));
    }
    KQ_CHECK(FrameAnswer(answer).mid(4) == input);
    return 0;
}
