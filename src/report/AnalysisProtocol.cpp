#include "AnalysisProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace {
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;
constexpr quint8 kNotOpened = 0;
constexpr quint8 kOpened = 1;
constexpr quint8 kUnusable = 2;

QByteArray Frame(const QByteArray& payload) {
    QByteArray frame(4, Qt::Uninitialized);
    qToLittleEndian(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}
} // namespace

QByteArray FrameRequest(const QString& path) {
    return Frame(path.toUtf8());
}

QByteArray FrameReply(const std::optional<FileReport>& report) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(kStreamVersion);
    if (!report)
        stream << kNotOpened;
    else
        stream << kOpened << report->general << report->video << report->audio;
    return Frame(payload);
}

QByteArray FrameUnusableLibrary(const QString& problem) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(kStreamVersion);
    stream << kUnusable << problem;
    return Frame(payload);
}

QString ParseRequest(const QByteArray& payload) {
    return QString::fromUtf8(payload);
}

bool ParseReply(const QByteArray& payload, std::optional<FileReport>* report, QString* problem) {
    QDataStream stream(payload);
    stream.setVersion(kStreamVersion);
    quint8 kind = 0xff;
    stream >> kind;
    report->reset();
    problem->clear();
    if (kind == kNotOpened || kind == kUnusable) {
        if (kind == kUnusable)
            stream >> *problem;
        return stream.status() == QDataStream::Ok && stream.atEnd() &&
               (kind == kNotOpened || !problem->isEmpty());
    }
    if (kind != kOpened)
        return false;
    FileReport file;
    stream >> file.general >> file.video >> file.audio;
    if (stream.status() != QDataStream::Ok || !stream.atEnd())
        return false;
    *report = std::move(file);
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
