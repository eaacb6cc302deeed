// File names of any bytes: a name always goes back to its very bytes (as text, in a file: URL
// of a drop, made absolute), and the form a person reads is valid UTF-8. Qt's own UTF-8
// decoder says which names are text.

#include "FuzzCheck.h"
#include "platform/FileNames.h"

#include <QStringDecoder>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzInput(data, size);
    const QString name = kq::platform::DecodeFileName(bytes);
    KQ_CHECK(kq::platform::EncodeFileName(name) == bytes);

    QStringDecoder qt(QStringDecoder::Utf8,
                      QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    const QString text = qt(bytes);
    KQ_CHECK(kq::platform::IsTextFileName(name) == !qt.hasError());
    KQ_CHECK(qt.hasError() || name == text);

    const QString shown = kq::platform::DisplayFileName(name);
    QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                    QStringDecoder::Flag::Stateless);
    KQ_CHECK(strict(shown.toUtf8()) == shown && !strict.hasError());

    // A name without "." or ".." parts, doubled or trailing slashes, as every real path is
    // given once made absolute.
    const QByteArray path = '/' + bytes;
    if (bytes.isEmpty() || path.contains('\0') || path.contains("//") || path.endsWith('/') ||
        (path + '/').contains("/./") || (path + '/').contains("/../"))
        return 0;
    const QString absolute = kq::platform::DecodeFileName(path);
    KQ_CHECK(kq::platform::EncodeFileName(kq::platform::AbsoluteFileName(absolute)) == path);
    const QUrl url(QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/")));
    KQ_CHECK(kq::platform::EncodeFileName(kq::platform::LocalFileName(url)) == path);
    return 0;
}
