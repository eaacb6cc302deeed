#include "AnalysisProtocol.h"

#include "media/MediaFields.h"
#include "platform/FileNames.h"

#include <QtEndian>

#include <algorithm>
#include <initializer_list>

namespace kq {

// Payloads are written by hand rather than with QDataStream: an answer comes from a process
// that a crafted file may have taken over, and every count and length in it is checked before
// anything is allocated for it.

namespace {

QByteArray Frame(const QByteArray& payload) {
    QByteArray frame(4, Qt::Uninitialized);
    qToLittleEndian(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}

QByteArray Payload(WireKind kind) {
    return QByteArray(1, static_cast<char>(kind));
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
    // The kind, when the payload has one and it is among kinds.
    bool Kind(std::initializer_list<WireKind> kinds, WireKind* kind) const {
        if (m_bytes.isEmpty() || m_bytes.size() > kMaxAnswerBytes)
            return false;
        *kind = static_cast<WireKind>(m_bytes[0]);
        return std::find(kinds.begin(), kinds.end(), *kind) != kinds.end();
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const QByteArray& m_bytes;
    qsizetype m_at = 1; // past the kind
};

// The fields of a file's answer of kind.
bool ReadFileAnswer(Reader& reader, WireKind kind, FileAnswer* answer) {
    if (kind == WireKind::NotOpened) {
        answer->reset();
        return true;
    }
    FileReport file;
    const bool ok = reader.Values(&file.general, kGeneralSection.valueCount) &&
                    reader.Streams(&file.video, kVideoSection.valueCount) &&
                    reader.Streams(&file.audio, kAudioSection.valueCount);
    *answer = std::move(file);
    return ok;
}

} // namespace

QByteArray FrameRequest(const QByteArray& path) {
    return Frame(path);
}

QByteArray FrameGreeting(const WorkerGreeting& greeting) {
    QByteArray payload = Payload(greeting.ready ? WireKind::Ready : WireKind::Unusable);
    PutText(&payload, greeting.ready ? greeting.libraryVersion : greeting.problem);
    return Frame(payload);
}

QByteArray FileAnswerPayload(const FileAnswer& answer) {
    if (!answer)
        return Payload(WireKind::NotOpened);
    QByteArray payload = Payload(WireKind::Opened);
    PutValues(&payload, answer->general, kGeneralSection.valueCount);
    PutNumber(&payload, static_cast<quint32>(answer->video.size()));
    for (const QStringList& video : answer->video)
        PutValues(&payload, video, kVideoSection.valueCount);
    PutNumber(&payload, static_cast<quint32>(answer->audio.size()));
    for (const QStringList& audio : answer->audio)
        PutValues(&payload, audio, kAudioSection.valueCount);
    return payload;
}

QByteArray FrameAnswer(const WorkerAnswer& answer) {
    QByteArray payload;
    switch (answer.kind) {
    case WorkerAnswer::Answered:
        return Frame(FileAnswerPayload(answer.answer));
    case WorkerAnswer::Ended:
        payload = Payload(WireKind::Ended);
        PutNumber(&payload, static_cast<quint32>(answer.waitStatus));
        break;
    case WorkerAnswer::Broken:
        payload = Payload(WireKind::Broken);
        break;
    case WorkerAnswer::NotStarted:
        payload = Payload(WireKind::NotStarted);
        PutText(&payload, answer.reason);
        break;
    }
    return Frame(payload);
}

bool ParseGreeting(const QByteArray& payload, WorkerGreeting* greeting) {
    *greeting = WorkerGreeting();
    Reader reader(payload);
    WireKind kind{};
    QString text;
    if (!reader.Kind({WireKind::Ready, WireKind::Unusable}, &kind) ||
        !reader.Text(&text, kMaxValueBytes) || !reader.AtEnd() ||
        (kind == WireKind::Unusable && text.isEmpty()))
        return false;
    greeting->ready = kind == WireKind::Ready;
    (greeting->ready ? greeting->libraryVersion : greeting->problem) = text;
    return true;
}

bool ParseFileAnswer(const QByteArray& payload, FileAnswer* answer) {
    Reader reader(payload);
    WireKind kind{};
    const bool ok = reader.Kind({WireKind::NotOpened, WireKind::Opened}, &kind) &&
                    ReadFileAnswer(reader, kind, answer) && reader.AtEnd();
    if (!ok)
        answer->reset();
    return ok;
}

bool ParseWorkerAnswer(const QByteArray& payload, WorkerAnswer* answer) {
    *answer = WorkerAnswer();
    Reader reader(payload);
    WireKind kind{};
    bool ok = reader.Kind({WireKind::NotOpened, WireKind::Opened, WireKind::Ended, WireKind::Broken,
                           WireKind::NotStarted},
                          &kind);
    quint32 status = 0;
    if (!ok)
        return false;
    switch (kind) {
    case WireKind::Ended:
        ok = reader.Number(&status);
        answer->kind = WorkerAnswer::Ended;
        answer->waitStatus = static_cast<int>(status);
        break;
    case WireKind::NotStarted:
        ok = reader.Text(&answer->reason, kMaxValueBytes) && !answer->reason.isEmpty();
        answer->kind = WorkerAnswer::NotStarted;
        break;
    case WireKind::Broken:
        answer->kind = WorkerAnswer::Broken;
        break;
    default:
        ok = ReadFileAnswer(reader, kind, &answer->answer);
        answer->kind = WorkerAnswer::Answered;
    }
    if (!ok || !reader.AtEnd()) {
        *answer = WorkerAnswer();
        return false;
    }
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

} // namespace kq
