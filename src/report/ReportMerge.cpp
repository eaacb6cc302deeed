#include "ReportMerge.h"

#include "media/MediaFields.h"
#include "platform/FileNames.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace kq {

namespace {

constexpr qint64 kMaxLine = 1 << 20;

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The length of the entity at the start of text, when it is one that the report's writer
// writes: the five markup escapes, and "&#xHH;" for a control character; else 0.
qsizetype EntityLength(QByteArrayView text) {
    for (const char* entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (text.startsWith(entity))
            return static_cast<qsizetype>(std::strlen(entity));
    const bool control = text.size() >= 6 && text.startsWith("&#x") && text[5] == ';' &&
                         (text[3] == '0' || text[3] == '1') && IsUpperHex(text[4]) &&
                         text.sliced(3, 2) != "00";
    return control ? 6 : 0;
}

// A value's text exactly as the writer writes it: valid UTF-8, with markup and control
// characters only as its entities. Anything else would pass into the merged report as text
// no reader of XML takes.
bool IsWrittenText(QByteArrayView text) {
    for (qsizetype at = 0; at < text.size();) {
        const char c = text[at];
        if (c == '<' || c == '>' || c == '"' || c == '\'' || static_cast<unsigned char>(c) < 0x20)
            return false;
        const qsizetype length = c == '&' ? EntityLength(text.sliced(at)) : 1;
        if (length == 0)
            return false;
        at += length;
    }
    return kq::platform::IsUtf8(text);
}

// "<Name>text</Name>" at the leaves' indentation.
bool IsLeaf(const QByteArray& line, const char* name) {
    const QByteArray open = QByteArray(12, ' ') + '<' + name + '>';
    const QByteArray close = QByteArray("</") + name + '>';
    return line.size() >= open.size() + close.size() && line.startsWith(open) &&
           line.endsWith(close) &&
           IsWrittenText(
               QByteArrayView(line).sliced(open.size(), line.size() - open.size() - close.size()));
}

// What the readers of each form share: lines read into one buffer (a buffer of the limit's
// size for each would make merging a large report slow), counted for the error message.
class LineReader {
protected:
    explicit LineReader(QIODevice& in) : m_in(in), m_buffer(kMaxLine + 1, Qt::Uninitialized) {}

    // The next line, its line break kept; empty at the end.
    QByteArray Line() {
        const qint64 n = m_in.readLine(m_buffer.data(), m_buffer.size());
        ++m_number;
        return QByteArray(m_buffer.constData(), std::max<qint64>(n, 0));
    }
    // Nothing may follow the report: the line that does is the one named. A read, not
    // atEnd(), which a pipe answers before its writer is done.
    bool End() {
        char next = 0;
        return m_in.read(&next, 1) == 0 || (++m_number, false);
    }
    bool Outcome(bool ok, QString* error) const {
        if (!ok && !m_outputFailed)
            *error = QStringLiteral("line %1 is not what a report of this program has there")
                         .arg(m_number);
        return ok;
    }

    QIODevice& m_in;
    QByteArray m_buffer;
    qint64 m_number = 0;
    bool m_outputFailed = false;
};

class Reader : LineReader {
public:
    Reader(QIODevice& in, const std::function<bool(const QByteArray&)>& element)
        : LineReader(in), m_element(element) {}

    bool Read(QString* error) { return Outcome(Document(), error); }

private:
    // Reads the next line; false, and a line that matches nothing, when it does not end in
    // CR LF (the end of the report, or a line over the limit).
    bool Next() {
        const QByteArray line = Line();
        m_complete = line.endsWith("\r\n");
        m_line = m_complete ? line.chopped(2) : QByteArray();
        return m_complete;
    }
    bool Is(const QByteArray& text) const { return m_complete && m_line == text; }
    // The line just read, checked, goes out.
    bool Pass() {
        m_outputFailed = !m_element(m_line + "\r\n");
        return !m_outputFailed;
    }
    bool NextIs(const QByteArray& text) { return Next() && Is(text) && Pass(); }
    // The lines of a section: its start tag, a leaf per field, its end tag.
    bool Section(const MediaSection& section) {
        const QByteArray indent(8, ' ');
        if (!Is(indent + '<' + section.element + '>') || !Pass())
            return false;
        for (int i = 0; i < section.fieldCount; ++i)
            if (!Next() || !IsLeaf(m_line, section.fields[i].leaf) || !Pass())
                return false;
        return NextIs(indent + "</" + section.element + '>');
    }
    bool Document() {
        if (!Next())
            return false;
        if (Is("<AllFileInfo />"))
            return End();
        if (!Is("<AllFileInfo>") || !Next() || !Is("    <FileInfo>"))
            return false;
        while (Is("    <FileInfo>")) {
            if (!Pass() || !Next() || !Section(kGeneralSection) || !Next())
                return false;
            for (const MediaSection* streams : {&kVideoSection, &kAudioSection})
                while (m_complete && m_line.startsWith(QByteArray("        <") + streams->element))
                    if (!Section(*streams) || !Next())
                        return false;
            if (!Is("    </FileInfo>") || !Pass() || !Next())
                return false;
        }
        return Is("</AllFileInfo>") && End();
    }

    const std::function<bool(const QByteArray&)>& m_element;
    QByteArray m_line;
    bool m_complete = false;
};

} // namespace

bool ReadReportElements(QIODevice& report, const std::function<bool(const QByteArray&)>& element,
                        QString* error) {
    return Reader(report, element).Read(error);
}

bool PeekReportForm(QIODevice& report, ReportForm* form) {
    const QByteArray start = report.peek(CsvHeader().size());
    if (start.startsWith("<AllFileInfo"))
        return *form = ReportForm::Xml, true;
    if (start.startsWith("[\n"))
        return *form = ReportForm::Json, true;
    if (start == CsvHeader())
        return *form = ReportForm::Csv, true;
    return false;
}

namespace {

constexpr qsizetype kMaxRecord = 4 << 20;
constexpr int kCsvColumns = 23;

// The fields of a CSV record (its line break taken off), each exactly as the writer quotes
// it: quoted when, and only when, it holds a comma, a quote or a line break.
bool SplitCsv(const QByteArray& record, QList<QByteArray>* fields) {
    for (qsizetype at = 0; at <= record.size();) {
        QByteArray field;
        qsizetype end = at;
        if (at < record.size() && record[at] == '"') {
            for (end = at + 1; end < record.size(); ++end) {
                if (record[end] == '"' && (end + 1 == record.size() || record[end + 1] != '"'))
                    break;
                field += record[end];
                end += record[end] == '"';
            }
            if (end >= record.size() || (end + 1 < record.size() && record[end + 1] != ','))
                return false;
            if (!NeedsCsvQuotes(field))
                return false;
            ++end;
        } else {
            end = record.indexOf(',', at);
            end = end < 0 ? record.size() : end;
            field = record.mid(at, end - at);
            if (field.contains('"') || field.contains('\r') || field.contains('\n'))
                return false;
        }
        fields->append(field);
        at = end + 1;
    }
    return true;
}

bool IsPosition(const QByteArray& text, qint64* number) {
    bool ok = false;
    *number = text.toLongLong(&ok);
    return ok && *number > 0 && text == QByteArray::number(*number);
}

class RecordReader : LineReader {
public:
    RecordReader(QIODevice& in, ReportForm form,
                 const std::function<bool(qint64, const QByteArray&)>& record)
        : LineReader(in), m_form(form), m_record(record) {}

    bool Read(QString* error) { return Outcome(m_form == ReportForm::Csv ? Csv() : Json(), error); }

private:
    // A record's file must be the one before or the next.
    bool Numbered(qint64 file, bool first) {
        const bool ok = first ? file == m_file + 1 : file == m_file || file == m_file + 1;
        m_file = file;
        return ok;
    }
    bool Pass(qint64 file, const QByteArray& rest) {
        m_outputFailed = !m_record(file, rest);
        return !m_outputFailed;
    }

    bool Csv() {
        if (Line() != CsvHeader())
            return false;
        for (;;) {
            const qint64 start = m_number + 1;
            QByteArray record = Line();
            if (record.isEmpty())
                return true;
            // A quoted line break continues the record on the next line.
            while (record.count('"') % 2 != 0 && record.size() < kMaxRecord) {
                const QByteArray more = Line();
                if (more.isEmpty())
                    break;
                record += more;
            }
            m_number = start;
            QList<QByteArray> fields;
            static const QByteArrayList kinds = {"general", "video", "audio", "left out"};
            qint64 file = 0;
            if (!record.endsWith("\r\n") || !kq::platform::IsUtf8(record) ||
                !SplitCsv(record.chopped(2), &fields) || fields.size() != kCsvColumns ||
                !IsPosition(fields[0], &file) || !kinds.contains(fields[3]) ||
                !Numbered(file, fields[3] == "general" || fields[3] == "left out") ||
                !Pass(file, record.mid(fields[0].size() + 1)))
                return false;
            m_number += record.count('\n') - 1;
        }
    }

    bool Json() {
        if (Line() != "[\n")
            return false;
        QByteArray line = Line();
        if (line == "]\n")
            return End();
        for (;;) {
            const bool last = !line.endsWith(",\n");
            const QByteArray object = line.chopped(last ? 1 : 2);
            qint64 file = 0;
            const qsizetype comma = object.indexOf(',');
            if (!line.endsWith('\n') || !object.startsWith("{\"file\":") || comma < 0 ||
                !IsPosition(object.mid(8, comma - 8), &file) || !Numbered(file, true) ||
                !IsFileObject(object) || !Pass(file, object.mid(comma + 1)))
                return false;
            line = Line();
            if (last)
                return line == "]\n" && End();
        }
    }
    // {"file":N,"name":"…","name_url":"file://…", then "left_out":"…", or "general":{…},
    // "video":[{…},…],"audio":[{…},…]}, each stream with its section's values.
    static bool IsFileObject(const QByteArray& text) {
        QJsonParseError parsed;
        const QJsonObject object = QJsonDocument::fromJson(text, &parsed).object();
        if (parsed.error != QJsonParseError::NoError || !object.value("name").isString() ||
            !object.value("name_url").toString().startsWith(QLatin1String("file://")))
            return false;
        if (object.size() == 4)
            return object.value("left_out").isString();
        const auto isSection = [](const QJsonValue& value, const MediaSection& section) {
            const QJsonObject values = value.toObject();
            bool ok = value.isObject() && values.size() == section.valueCount;
            for (int i = 0; ok && i < section.valueCount; ++i) {
                const QJsonValue field = values.value(QLatin1String(section.fields[i].leaf));
                ok = i < section.fieldCount ? field.isString() : field.isDouble() || field.isNull();
            }
            return ok;
        };
        bool ok = object.size() == 6 && isSection(object.value("general"), kGeneralSection);
        for (const auto& [key, section] :
             {std::pair{"video", &kVideoSection}, std::pair{"audio", &kAudioSection}}) {
            ok = ok && object.value(QLatin1String(key)).isArray();
            for (const QJsonValue stream : object.value(QLatin1String(key)).toArray())
                ok = ok && isSection(stream, *section);
        }
        return ok;
    }

    ReportForm m_form;
    const std::function<bool(qint64, const QByteArray&)>& m_record;
    qint64 m_file = 0;
};

} // namespace

bool ReadReportRecords(QIODevice& report, ReportForm form,
                       const std::function<bool(qint64, const QByteArray&)>& record,
                       QString* error) {
    if (form == ReportForm::Xml)
        return ReadReportElements(
            report, [&record](const QByteArray& line) { return record(0, line); }, error);
    return RecordReader(report, form, record).Read(error);
}

} // namespace kq
