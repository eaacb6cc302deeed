#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

// File names on Linux are bytes, and not every name is UTF-8 (old archives, copies from FAT
// media, names unpacked from ZIP files). The program holds a name in a QString, with each byte
// that is not part of a valid UTF-8 sequence kept as the code unit U+DC80 + (byte - 0x80), as
// Python's "surrogateescape" does: no valid name is changed, and every name goes back to the
// very bytes it came from.
namespace kq::platform {

QString DecodeFileName(QByteArrayView bytes);
// True when bytes are valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(QByteArrayView bytes);
// bytes as text when they are valid UTF-8 (a leading U+FEFF kept); false when they are not.
bool DecodeUtf8(QByteArrayView bytes, QString* text);
QByteArray EncodeFileName(const QString& name);
// False when the name holds such a byte.
bool IsTextFileName(const QString& name);
// The name as a person reads it: each such byte as U+FFFD, as GLib's display names show them.
QString DisplayFileName(const QString& name);
// name made absolute against the working folder and cleaned (no "." or "..", no doubled
// separators), without losing a byte: QFileInfo and QDir read the name as text on the way.
QString AbsoluteFileName(const QString& name);
QByteArray AbsoluteFileName(const QByteArray& name);
// The local file that url names (a file: URL carries the name's bytes percent-encoded).
QString LocalFileName(const QUrl& url);

} // namespace kq::platform
