#include "ReportMerge.h"

#include "media/MediaFields.h"
#include "platform/FileNames.h"

#include <QIODevice>

#include <cstring>

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

class Reader {
public:
    Reader(QIODevice& in, const std::function<bool(const QByteArray&)>& element)
        : m_in(in), m_element(element), m_buffer(kMaxLine + 1, Qt::Uninitialized) {}

    bool Read(QString* error) {
        const bool ok = Document();
        if (!ok && !m_outputFailed)
            *error = QStringLiteral("line %1 is not what a report of this program has there")
                         .arg(m_number);
        return ok;
    }

private:
    // Reads the next line; false, and a line that matches nothing, when it does not end in
    // CR LF (the end of the report, or a line over the limit).
    bool Next() {
        // Into one buffer: a line is short, and a buffer of the limit's size for each would
        // make merging a large report slow.
        const qint64 n = m_in.readLine(m_buffer.data(), m_buffer.size());
        ++m_number;
        m_complete = n >= 2 && m_buffer[n - 2] == '\r' && m_buffer[n - 1] == '\n';
        m_line = QByteArray(m_buffer.constData(), m_complete ? n - 2 : 0);
        return m_complete;
    }
    bool Is(const QByteArray& text) const { return m_complete && m_line == text; }
    // Nothing may follow the root: the line that does is the one named. A read, not atEnd(),
    // which a pipe answers before its writer is done.
    bool End() {
        char next = 0;
        return m_in.read(&next, 1) == 0 || (++m_number, false);
    }
    // The line just read, checked, goes out.
    bool Pass() {
        m_outputFailed = !m_element(m_line + "\r\n");
        return !m_outputFailed;
    }
    bool Line(const QByteArray& text) { return Next() && Is(text) && Pass(); }
    // The lines of a section: its start tag, a leaf per field, its end tag.
    bool Section(const MediaSection& section) {
        const QByteArray indent(8, ' ');
        if (!Is(indent + '<' + section.element + '>') || !Pass())
            return false;
        for (int i = 0; i < section.fieldCount; ++i)
            if (!Next() || !IsLeaf(m_line, section.fields[i].leaf) || !Pass())
                return false;
        return Line(indent + "</" + section.element + '>');
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

    QIODevice& m_in;
    const std::function<bool(const QByteArray&)>& m_element;
    QByteArray m_buffer;
    QByteArray m_line;
    bool m_complete = false;
    qint64 m_number = 0;
    bool m_outputFailed = false;
};

} // namespace

bool ReadReportElements(QIODevice& report, const std::function<bool(const QByteArray&)>& element,
                        QString* error) {
    return Reader(report, element).Read(error);
}
