// The report's writer and its reader together: any values written are read back as they were,
// by --merge's reader and by a strict XML reader.

#include "FuzzCheck.h"
#include "ReadAsXml.h"
#include "report/ReportMerge.h"
#include "report/ReportXml.h"

#include <QBuffer>

using namespace kq;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte: how many files, video and audio streams; then the values, 0xFF apart, as
    // the library gives them (valid text without U+0000, which the worker never passes on).
    const QList<QByteArray> pieces = FuzzInput(data + 1, size - 1).split('\xff');
    qsizetype next = 0;
    const auto values = [&](int count) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list.append(QString::fromUtf8(pieces.value(next++)).remove(QChar(0)));
        return list;
    };
    QList<FileReport> files(data[0] & 1 ? 2 : 1);
    QByteArray written;
    ReportWriter writer([&written](const QByteArray& bytes) { return written += bytes, true; });
    for (FileReport& file : files) {
        file.general = values(kGeneralSection.fieldCount);
        for (int i = 0; i < (data[0] >> 1 & 3); ++i)
            file.video.append(values(kVideoSection.fieldCount));
        for (int i = 0; i < (data[0] >> 3 & 3); ++i)
            file.audio.append(values(kAudioSection.fieldCount));
        KQ_CHECK(writer.Add(file));
    }
    KQ_CHECK(writer.Finish());

    QBuffer in(&written);
    in.open(QIODevice::ReadOnly);
    QByteArray taken;
    QString error;
    KQ_CHECK(ReadReportElements(
        in, [&taken](const QByteArray& line) { return taken += line, true; }, &error));
    KQ_CHECK("<AllFileInfo>\r\n" + taken + "</AllFileInfo>\r\n" == written);
    bool checked = false;
    const std::optional<QList<FileReport>> read = ReadAsXml(written, &checked);
    KQ_CHECK(!checked || read == files);
    return 0;
}
