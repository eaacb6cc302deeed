#include "FileNames.h"

#include <QDir>
#include <QStringDecoder>

#include <cstdlib>

#include <unistd.h>

namespace kq::platform {

namespace {

constexpr char16_t kFirstEscape = 0xdc80, kLastEscape = 0xdcff;

bool Continuation(QByteArrayView bytes, qsizetype at) {
    return at < bytes.size() && (static_cast<uchar>(bytes[at]) & 0xc0) == 0x80;
}

// The length of the valid UTF-8 sequence at bytes[at], or 0: no overlong forms, no
// surrogates, nothing above U+10FFFF.
qsizetype SequenceLength(QByteArrayView bytes, qsizetype at) {
    const uchar lead = static_cast<uchar>(bytes[at]);
    const uchar next = at + 1 < bytes.size() ? static_cast<uchar>(bytes[at + 1]) : 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        return Continuation(bytes, at + 1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const bool second = lead == 0xe0   ? next >= 0xa0 && next <= 0xbf
                            : lead == 0xed ? next >= 0x80 && next <= 0x9f
                                           : Continuation(bytes, at + 1);
        return second && Continuation(bytes, at + 2) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const bool second = lead == 0xf0   ? next >= 0x90 && next <= 0xbf
                            : lead == 0xf4 ? next >= 0x80 && next <= 0x8f
                                           : Continuation(bytes, at + 1);
        return second && Continuation(bytes, at + 2) && Continuation(bytes, at + 3) ? 4 : 0;
    }
    return 0;
}

bool IsEscape(QChar c) {
    return c.unicode() >= kFirstEscape && c.unicode() <= kLastEscape;
}

// Valid UTF-8 as text. Not QString::fromUtf8, which drops a leading U+FEFF as a byte-order
// mark: in a name or a value it is a character like any other.
QString FromUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

} // namespace

bool IsUtf8(QByteArrayView bytes) {
    for (qsizetype at = 0, length = 0; at < bytes.size(); at += length)
        if ((length = SequenceLength(bytes, at)) == 0)
            return false;
    return true;
}

bool DecodeUtf8(QByteArrayView bytes, QString* text) {
    if (!IsUtf8(bytes))
        return false;
    *text = FromUtf8(bytes);
    return true;
}

QString DecodeFileName(QByteArrayView bytes) {
    QString name;
    qsizetype run = 0; // start of the valid bytes not yet decoded
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = SequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        name += FromUtf8(bytes.sliced(run, at - run));
        name += QChar(char16_t(kFirstEscape + static_cast<uchar>(bytes[at]) - 0x80));
        run = ++at;
    }
    return run == 0 ? FromUtf8(bytes) : name + FromUtf8(bytes.sliced(run));
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray bytes;
    qsizetype run = 0;
    for (qsizetype at = 0; at < name.size(); ++at) {
        // A low surrogate after a high one is half of a character, never an escape.
        if (!IsEscape(name[at]) || (at > 0 && name[at - 1].isHighSurrogate()))
            continue;
        bytes += QStringView(name).sliced(run, at - run).toUtf8();
        bytes += static_cast<char>(name[at].unicode() - kFirstEscape + 0x80);
        run = at + 1;
    }
    return run == 0 ? name.toUtf8() : bytes + QStringView(name).sliced(run).toUtf8();
}

bool IsTextFileName(const QString& name) {
    return DisplayFileName(name) == name;
}

QString DisplayFileName(const QString& name) {
    QString shown = name;
    for (qsizetype at = 0; at < shown.size(); ++at)
        if (IsEscape(name[at]) && !(at > 0 && name[at - 1].isHighSurrogate()))
            shown[at] = QChar::ReplacementCharacter;
    return shown;
}

QString AbsoluteFileName(const QString& name) {
    if (name.startsWith(u'/'))
        return QDir::cleanPath(name);
    char* folder = ::getcwd(nullptr, 0);
    const QString absolute = DecodeFileName(folder ? folder : "") + u'/' + name;
    std::free(folder);
    return QDir::cleanPath(absolute);
}

QByteArray AbsoluteFileName(const QByteArray& name) {
    return EncodeFileName(AbsoluteFileName(DecodeFileName(name)));
}

QString LocalFileName(const QUrl& url) {
    return DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace kq::platform
