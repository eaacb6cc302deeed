#include "AnalysisProtocol.h"

#include "media/MediaFields.h"
#include "platform/FileNames.h"

#include <QtEndian>

// Payloads are written by hand rather than with QDataStream: a reply comes from a process that
// a crafted file may have taken over, and every count and length in it is checked before
// anything is allocated for it. A payload is a kind byte, then the kind's fields: texts as a
// 4-byte little-endian length and that many bytes of UTF-8, counts and statuses as 4 bytes.

namespace {

QByteArray Frame(const QByteArray& payload) {
    QByteArray frame(4, Qt::Uninitialized);
    qToLittleEndian(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}

void PutNumber(QByteArray* out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out->append(bytes, 4);
}

void PutText(QByteArray* out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    PutNumber(out, static_cast<quint32>(utf8.size()));
    out->append(utf8);
}

void PutValues(QByteArray* out, const QStringList& values, int count) {
    for (int i = 0; i < count; ++i)
        PutText(out, values.value(i));
}

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool Number(quint32* value) {
        if (m_bytes.size() - m_at < 4)
            return false;
        *value = qFromLittleEndian<quint32>(m_bytes.constData() + m_at);
        m_at += 4;
        return true;
    }
    // Only what re-encodes to the very bytes read is taken: valid UTF-8 (a stray byte would
    // grow threefold as U+FFFD) without U+0000 (the report's writer would cut the value there).
    bool Text(QString* text, qsizetype limit) {
        quint32 length = 0;
        if (!Number(&length) || length > limit || length > m_bytes.size() - m_at)
            return false;
        const QByteArrayView bytes(m_bytes.constData() + m_at, length);
        m_at += length;
        return !bytes.contains('\0') && kq::platform::DecodeUtf8(bytes, text);
    }
    bool Values(QStringList* values, int count) {
        values->resize(count);
        for (QString& value : *values)
            if (!Text(&value, kMaxValueBytes))
                return false;
        return true;
    }
    bool Streams(QList<QStringList>* streams, int leaves) {
        quint32 count = 0;
        if (!Number(&count) || count > kMaxStreams)
            return false;
        streams->resize(count);
        for (QStringList& stream : *streams)
            if (!Values(&stream, leaves))
                return false;
        return true;
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const QByteArray& m_bytes;
    qsizetype m_at = 1; // past the kind
};

QByteArray Payload(WorkerReply::Kind kind) {
    return QByteArray(1, static_cast<char>(kind));
}

} // namespace

QByteArray FrameRequest(const QString& path) {
    return Frame(kq::platform::EncodeFileName(path));
}

QByteArray ReplyPayload(const std::optional<FileReport>& report) {
    if (!report)
        return Payload(WorkerReply::NotOpened);
    QByteArray payload = Payload(WorkerReply::Opened);
    PutValues(&payload, report->general, kGeneralSection.valueCount);
    PutNumber(&payload, static_cast<quint32>(report->video.size()));
    for (const QStringList& video : report->video)
        PutValues(&payload, video, kVideoSection.valueCount);
    PutNumber(&payload, static_cast<quint32>(report->audio.size()));
    for (const QStringList& audio : report->audio)
        PutValues(&payload, audio, kAudioSection.valueCount);
    return payload;
}

QByteArray FrameReply(const std::optional<FileReport>& report) {
    return Frame(ReplyPayload(report));
}

QByteArray FrameReady() {
    return Frame(Payload(WorkerReply::Ready));
}

QByteArray FrameUnusableLibrary(const QString& problem) {
    QByteArray payload = Payload(WorkerReply::Unusable);
    PutText(&payload, problem);
    return Frame(payload);
}

QByteArray FrameEnded(int waitStatus) {
    QByteArray payload = Payload(WorkerReply::Ended);
    PutNumber(&payload, static_cast<quint32>(waitStatus));
    return Frame(payload);
}

QByteArray FrameBroken() {
    return Frame(Payload(WorkerReply::Broken));
}

QString ParseRequest(const QByteArray& payload) {
    return kq::platform::DecodeFileName(payload);
}

bool ParseReply(const QByteArray& payload, WorkerReply* reply) {
    *reply = WorkerReply();
    if (payload.isEmpty() || payload.size() > kMaxReplyBytes)
        return false;
    Reader reader(payload);
    bool ok = true;
    quint32 status = 0;
    switch (static_cast<quint8>(payload[0])) {
    case WorkerReply::NotOpened:
    case WorkerReply::Ready:
    case WorkerReply::Broken:
        break;
    case WorkerReply::Opened: {
        FileReport file;
        ok = reader.Values(&file.general, kGeneralSection.valueCount) &&
             reader.Streams(&file.video, kVideoSection.valueCount) &&
             reader.Streams(&file.audio, kAudioSection.valueCount);
        reply->report = std::move(file);
        break;
    }
    case WorkerReply::Unusable:
        ok = reader.Text(&reply->problem, kMaxValueBytes) && !reply->problem.isEmpty();
        break;
    case WorkerReply::Ended:
        ok = reader.Number(&status);
        reply->status = static_cast<qint32>(status);
        break;
    default:
        return false;
    }
    if (!ok || !reader.AtEnd()) {
        *reply = WorkerReply();
        return false;
    }
    reply->kind = static_cast<WorkerReply::Kind>(payload[0]);
    return true;
}

qsizetype FrameLength(const char* header) {
    const quint32 length = qFromLittleEndian<quint32>(header);
    return length > static_cast<quint32>(kMaxFrameBytes) ? -1 : static_cast<qsizetype>(length);
}

FrameState TakeFrame(QByteArray* buffer, QByteArray* payload) {
    if (buffer->size() < 4)
        return FrameState::Incomplete;
    const qsizetype length = FrameLength(buffer->constData());
    if (length < 0)
        return FrameState::Invalid;
    const qsizetype total = 4 + length;
    if (buffer->size() < total)
        return FrameState::Incomplete;
    *payload = buffer->mid(4, length);
    buffer->remove(0, total);
    return FrameState::Complete;
}
