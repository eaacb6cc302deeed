#pragma once

#include "FileReport.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kq {

// What crosses the trust boundary of the analysis: three conversations, each with a message
// type of its own and one parser for it.
//
//   the builder -> a worker     a request: a path's bytes
//   a worker -> the builder     first a WorkerGreeting, then a WorkerAnswer for each request
//   a file's process -> worker  one FileAnswer, on a pipe of its own
//
// A file's process is the one a crafted file may take over: all it can say is a FileAnswer,
// which its worker checks (ParseFileAnswer) before it passes it on inside a WorkerAnswer.
//
// Byte layout. Between builder and worker every message is a frame: a 4-byte little-endian
// length, then that many bytes of payload. A file's answer is a payload without a frame (the
// pipe's end ends it). A payload is a kind byte (WireKind), then the kind's fields:
//   number  4 bytes, little-endian
//   text    a number n, then n bytes of UTF-8 (no U+0000)
//   values  as many texts as the section has values (kGeneralSection.valueCount, ...)
//   streams a number n (at most kMaxStreams), then n times the section's values
//
//   greeting       Ready text(the library's version) | Unusable text(why, not empty)
//   file answer    NotOpened | Opened values(general) streams(video) streams(audio)
//   worker answer  a file answer | Ended number(wait status) | Broken | NotStarted text(why)

// Far more than any real file's values, far less than would let replies crowd the builder's
// memory.
inline constexpr qsizetype kMaxAnswerBytes = 1 << 20;
inline constexpr qsizetype kMaxFrameBytes = kMaxAnswerBytes + 4096;
inline constexpr quint32 kMaxStreams = 4096;         // of each kind
inline constexpr qsizetype kMaxValueBytes = 1 << 16; // UTF-8

// The kinds as the wire carries them. A value, once given, keeps its meaning: do not reorder,
// add new kinds at the end.
enum class WireKind : quint8 {
    NotOpened = 0,
    Opened = 1,
    Unusable = 2,
    Ready = 3,
    Ended = 4,
    Broken = 5,
    NotStarted = 6,
};

// A worker's first message: whether its media library can be used.
struct WorkerGreeting {
    bool ready = false;
    QString libraryVersion; // as the library states it, when ready
    QString problem;        // why it cannot be used, when not ready
};

// All that the process that parsed a file can say: the file's report values, or that the
// library did not open it (no value).
using FileAnswer = std::optional<FileReport>;

// A worker's answer for one request.
struct WorkerAnswer {
    enum Kind { Answered, Ended, Broken, NotStarted };
    Kind kind = Broken;
    FileAnswer answer;  // Answered
    int waitStatus = 0; // Ended: the parsing process ended without answering
    QString reason;     // NotStarted: why no process could parse the file
};

QByteArray FrameRequest(const QByteArray& path);
QByteArray FrameGreeting(const WorkerGreeting& greeting);
QByteArray FileAnswerPayload(const FileAnswer& answer);
QByteArray FrameAnswer(const WorkerAnswer& answer);

// Each false when payload is not a well-formed message of its type: another kind, values not
// of the report's shape, more streams or longer values than the limits allow, or bytes left.
bool ParseGreeting(const QByteArray& payload, WorkerGreeting* greeting);
bool ParseFileAnswer(const QByteArray& payload, FileAnswer* answer);
bool ParseWorkerAnswer(const QByteArray& payload, WorkerAnswer* answer);

// The payload length that a frame's 4-byte header announces, or -1 when it is over the limit.
qsizetype FrameLength(const char* header);

enum class FrameState { Incomplete, Complete, Invalid };
// Moves the first whole frame of buffer into payload.
FrameState TakeFrame(QByteArray* buffer, QByteArray* payload);

} // namespace kq
