#pragma once

#include "FileReport.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What passes between the report builder and an analysis worker over their socket: frames
// of a 4-byte little-endian length and that many bytes. A request is a path's bytes. A
// worker's first frame says whether its media library can be used; then each request gets
// one reply: the file's report values, word that the library did not open the file, the
// wait status of the process that parsed it when that ended without an answer, or word that
// its answer was broken.
//
// Inside a worker, the process that parses one file answers with a reply's payload (a
// report or "not opened", nothing else) on a pipe of its own; the worker checks it with
// ParseReply before it forwards it.

// Far more than any real file's values, far less than would let replies crowd the builder's
// memory.
inline constexpr qsizetype kMaxReplyBytes = 1 << 20;
inline constexpr qsizetype kMaxFrameBytes = kMaxReplyBytes + 4096;
inline constexpr quint32 kMaxStreams = 4096;         // of each kind
inline constexpr qsizetype kMaxValueBytes = 1 << 16; // UTF-8

struct WorkerReply {
    enum Kind : quint8 { NotOpened, Opened, Unusable, Ready, Ended, Broken };
    Kind kind = Broken;
    std::optional<FileReport> report; // Opened
    QString problem;                  // Unusable: why the library cannot be used
    qint32 status = 0;                // Ended: the wait status of the parsing process
};

QByteArray FrameRequest(const QString& path);
// The payload of an Opened or NotOpened reply.
QByteArray ReplyPayload(const std::optional<FileReport>& report);
QByteArray FrameReply(const std::optional<FileReport>& report);
QByteArray FrameReady();
QByteArray FrameUnusableLibrary(const QString& problem);
QByteArray FrameEnded(int waitStatus);
QByteArray FrameBroken();

QString ParseRequest(const QByteArray& payload);
// False when payload is not a well-formed reply: an unknown kind, values not of the report's
// shape, more streams or longer values than the limits allow, or bytes left over.
bool ParseReply(const QByteArray& payload, WorkerReply* reply);

// The payload length that a frame's 4-byte header announces, or -1 when it is over the limit.
qsizetype FrameLength(const char* header);

enum class FrameState { Incomplete, Complete, Invalid };
// Moves the first whole frame of buffer into payload.
FrameState TakeFrame(QByteArray* buffer, QByteArray* payload);
