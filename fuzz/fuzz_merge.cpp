// The reports given to --merge, from anywhere: what is accepted is well-formed XML of exactly
// the report's form (written again, its files give the very same bytes), and what is refused
// names the first line that is wrong (every line before it was taken). A CSV or JSON report
// that is accepted is exactly what its records give when they are written again, and JSON
// that a JSON reader takes.

#include "FuzzCheck.h"
#include "ReadAsXml.h"
#include "report/ReportMerge.h"
#include "report/ReportXml.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace kq;

namespace {

int OtherForm(const QByteArray& input, QBuffer& in, ReportForm form) {
    QByteArray written;
    ReportStream stream(form,
                        [&written](const QByteArray& bytes) { return written += bytes, true; });
    QString error;
    if (!ReadReportRecords(
            in, form,
            [&](qint64 file, const QByteArray& rest) { return stream.AddRecord(file, rest); },
            &error)) {
        KQ_CHECK(error.startsWith("line "));
        return 0;
    }
    KQ_CHECK(stream.Finish() && written == input);
    QJsonParseError parsed;
    KQ_CHECK(form != ReportForm::Json || (QJsonDocument::fromJson(input, &parsed).isArray() &&
                                          parsed.error == QJsonParseError::NoError));
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray input = FuzzInput(data, size);
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    if (ReportForm form = ReportForm::Xml; PeekReportForm(in, &form) && form != ReportForm::Xml)
        return OtherForm(input, in, form);
    QByteArray taken;
    QString error;
    const bool accepted = ReadReportElements(
        in, [&taken](const QByteArray& line) { return taken += line, true; }, &error);
    const QList<QByteArray> lines = input.split('\n'); // a last one without its break, or empty
    if (!accepted) {
        const QRegularExpressionMatch line =
            QRegularExpression("^line (\\d+) is not what a report").match(error);
        KQ_CHECK(line.hasMatch());
        const qsizetype number = line.captured(1).toLongLong();
        KQ_CHECK(number >= 1 && number <= lines.size());
        QByteArray before;
        for (qsizetype i = 1; i < number - 1; ++i)
            if (lines[i] != "</AllFileInfo>\r")
                before += lines[i] + '\n';
        KQ_CHECK(taken == before);
        return 0;
    }
    KQ_CHECK(error.isEmpty());
    QByteArray written;
    ReportWriter writer([&written](const QByteArray& bytes) { return written += bytes, true; });
    bool checked = false;
    const std::optional<QList<FileReport>> files = ReadAsXml(input, &checked);
    KQ_CHECK(!checked || files);
    for (const FileReport& file : files.value_or(QList<FileReport>()))
        writer.Add(file);
    writer.Finish();
    KQ_CHECK(!checked || written == input);
    return 0;
}
