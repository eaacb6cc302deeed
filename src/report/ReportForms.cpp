#include "ReportForms.h"

#include "media/MediaFields.h"
#include "platform/FileNames.h"

#include <QRegularExpression>

namespace kq {

namespace {

// The CSV columns after file, name, name_url, kind, stream and reason: a value's leaf, in the
// section of the row's kind. Values of several kinds share a column (Format, BitRate).
const char* const kValueColumns[] = {"Format",
                                     "FormatVersion",
                                     "FileSize",
                                     "FileSizeBytes",
                                     "Duration",
                                     "DurationMs",
                                     "Subtitlecount",
                                     "Width",
                                     "Height",
                                     "FrameRate",
                                     "BitRate",
                                     "DisplayAspectRatio",
                                     "DisplayAspectRatioValue",
                                     "Standard",
                                     "Channels",
                                     "SamplingRate",
                                     "Language"};

int FieldOf(const MediaSection& section, const char* leaf) {
    for (int i = 0; i < section.valueCount; ++i)
        if (qstrcmp(section.fields[i].leaf, leaf) == 0)
            return i;
    return -1;
}

// A number as the library writes one (and JSON takes it); a number behind a text value that
// is anything else, or empty, is no number.
bool IsNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
    return number.match(text).hasMatch();
}

QByteArray CsvField(const QString& value) {
    QByteArray field = value.toUtf8();
    if (!NeedsCsvQuotes(field))
        return field;
    return '"' + field.replace("\"", "\"\"") + '"';
}

QByteArray JsonString(const QString& value) {
    QByteArray out = "\"";
    for (const char c : value.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (const qsizetype at = QByteArrayView("\b\f\n\r\t").indexOf(c); at >= 0)
            out += '\\', out += "bfnrt"[at];
        else if (static_cast<unsigned char>(c) < 0x20)
            out += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

// A value of a section: the report's text as it stands; a number behind one as a number.
QByteArray JsonValue(const MediaSection& section, const QStringList& values, int field) {
    const QString value = values.value(field);
    if (field < section.fieldCount)
        return JsonString(value);
    return IsNumber(value) ? value.toUtf8() : QByteArray("null");
}

QByteArray JsonSection(const MediaSection& section, const QStringList& values) {
    QByteArray object = "{";
    for (int i = 0; i < section.valueCount; ++i)
        object += (i ? "," : "") + JsonString(QLatin1String(section.fields[i].leaf)) + ':' +
                  JsonValue(section, values, i);
    return object + '}';
}

QByteArray JsonStreams(const MediaSection& section, const QList<QStringList>& streams) {
    QByteArray list = "[";
    for (const QStringList& values : streams)
        list += (list.size() > 1 ? "," : "") + JsonSection(section, values);
    return list + ']';
}

QByteArray NameUrl(const QByteArray& path) {
    return "file://" + path.toPercentEncoding("/");
}

// The CSV row of a section: who it is, then its values in their columns.
QByteArray CsvRow(const QByteArray& who, const char* kind, qsizetype stream,
                  const MediaSection* section, const QStringList& values,
                  const QString& reason = QString()) {
    QByteArray row = who + ',' + kind + ',' + (stream > 0 ? QByteArray::number(stream) : "") + ',' +
                     CsvField(reason);
    for (const char* column : kValueColumns) {
        const int field = section ? FieldOf(*section, column) : -1;
        const QString value = values.value(field);
        row += ',' + (field < 0 || (field >= section->fieldCount && !IsNumber(value))
                          ? QByteArray()
                          : CsvField(value));
    }
    return row + "\r\n";
}

} // namespace

bool NeedsCsvQuotes(QByteArrayView field) {
    return field.contains(',') || field.contains('"') || field.contains('\r') ||
           field.contains('\n');
}

bool ParseReportForm(const QString& name, ReportForm* form) {
    for (const ReportForm known : {ReportForm::Xml, ReportForm::Csv, ReportForm::Json})
        if (name == ReportFormName(known).toLower())
            return *form = known, true;
    return false;
}

QString ReportFormName(ReportForm form) {
    return form == ReportForm::Xml   ? QStringLiteral("XML")
           : form == ReportForm::Csv ? QStringLiteral("CSV")
                                     : QStringLiteral("JSON");
}

QByteArray CsvHeader() {
    QByteArray header = "file,name,name_url,kind,stream,reason";
    for (const char* column : kValueColumns)
        header += QByteArray(",") + column;
    return header + "\r\n";
}

QByteArray RecordStart(ReportForm form, qint64 file) {
    return form == ReportForm::Json ? "{\"file\":" + QByteArray::number(file) + ','
                                    : QByteArray::number(file) + ',';
}

ReportStream::ReportStream(ReportForm form, ReportWriter::Output output)
    : m_form(form), m_output(std::move(output)), m_xml(m_output) {}

bool ReportStream::Begin() {
    if (std::exchange(m_started, true))
        return true;
    return m_form == ReportForm::Csv    ? m_output(CsvHeader())
           : m_form == ReportForm::Json ? m_output("[\n")
                                        : true;
}

// A JSON object goes out with the separator before it, as it is not known to be the last.
bool ReportStream::Separated(const QByteArray& record) {
    return m_output(m_form == ReportForm::Json && m_files > 1 ? ",\n" + record : record);
}

bool ReportStream::Add(const QByteArray& path, const FileReport& file) {
    if (m_form == ReportForm::Xml)
        return m_xml.Add(file);
    if (!Begin())
        return false;
    const QByteArray start = RecordStart(m_form, ++m_files);
    const QString name = file.general.value(0);
    if (m_form == ReportForm::Json)
        return Separated(start + "\"name\":" + JsonString(name) + ",\"name_url\":\"" +
                         NameUrl(path) +
                         "\",\"general\":" + JsonSection(kGeneralSection, file.general) +
                         ",\"video\":" + JsonStreams(kVideoSection, file.video) +
                         ",\"audio\":" + JsonStreams(kAudioSection, file.audio) + '}');
    const QByteArray who = start + CsvField(name) + ',' + NameUrl(path);
    QByteArray rows = CsvRow(who, "general", 0, &kGeneralSection, file.general);
    for (qsizetype i = 0; i < file.video.size(); ++i)
        rows += CsvRow(who, "video", i + 1, &kVideoSection, file.video[i]);
    for (qsizetype i = 0; i < file.audio.size(); ++i)
        rows += CsvRow(who, "audio", i + 1, &kAudioSection, file.audio[i]);
    return m_output(rows);
}

bool ReportStream::AddLeftOut(const QByteArray& path, const QString& reason) {
    if (m_form == ReportForm::Xml)
        return true;
    if (!Begin())
        return false;
    const QByteArray start = RecordStart(m_form, ++m_files);
    const QString name = kq::platform::DisplayFileName(kq::platform::DecodeFileName(path));
    if (m_form == ReportForm::Json)
        return Separated(start + "\"name\":" + JsonString(name) + ",\"name_url\":\"" +
                         NameUrl(path) + "\",\"left_out\":" + JsonString(reason) + '}');
    return m_output(
        CsvRow(start + CsvField(name) + ',' + NameUrl(path), "left out", 0, nullptr, {}, reason));
}

bool ReportStream::AddRecord(qint64 file, const QByteArray& rest) {
    if (m_form == ReportForm::Xml)
        return m_xml.AddText(rest);
    if (!Begin())
        return false;
    const bool next = file > m_files;
    m_files = std::max(m_files, file);
    const QByteArray record = RecordStart(m_form, file) + rest;
    return next ? Separated(record) : m_output(record);
}

bool ReportStream::Finish() {
    if (m_form == ReportForm::Xml)
        return m_xml.Finish();
    return Begin() && (m_form != ReportForm::Json || m_output(m_files > 0 ? "\n]\n" : "]\n"));
}

} // namespace kq
