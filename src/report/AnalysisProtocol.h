#pragma once

#include "ReportBuilder.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What passes between the report builder and an analysis worker over their socket: frames
// of a 4-byte little-endian length and that many bytes. A request is a path in UTF-8; a
// reply is the file's report values, word that the library did not open the file, or why the
// library cannot be used at all.

inline constexpr qsizetype kMaxFrameBytes = 64 << 20;

QByteArray FrameRequest(const QString& path);
QByteArray FrameReply(const std::optional<FileReport>& report);
QByteArray FrameUnusableLibrary(const QString& problem);

QString ParseRequest(const QByteArray& payload);
// False when payload is not a reply. A reply that the library cannot be used sets *problem.
bool ParseReply(const QByteArray& payload, std::optional<FileReport>* report, QString* problem);

// The payload length that a frame's 4-byte header announces, or -1 when it is over the limit.
qsizetype FrameLength(const char* header);

enum class FrameState { Incomplete, Complete, Invalid };
// Moves the first whole frame of buffer into payload.
FrameState TakeFrame(QByteArray* buffer, QByteArray* payload);

// Worker exit statuses with a meaning of their own (and kBlockedExitBase and above, see
// WorkerSandbox.h).
inline constexpr int kWorkerExitLayersMissing = 3; // --probe: some confinement is missing
inline constexpr int kWorkerExitSetupFailed = 70;
inline constexpr int kWorkerExitOutOfMemory = 71;
