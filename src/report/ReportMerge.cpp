#include "ReportMerge.h"

#include "media/MediaFields.h"

#include <QIODevice>

namespace {

constexpr qint64 kMaxLine = 1 << 20;

// "<Name>text</Name>" at the leaves' indentation, the text escaped as the report escapes it.
bool IsLeaf(const QByteArray& line, const char* name) {
    const QByteArray open = QByteArray(12, ' ') + '<' + name + '>';
    const QByteArray close = QByteArray("</") + name + '>';
    if (!line.startsWith(open) || !line.endsWith(close))
        return false;
    for (const char c : line.mid(open.size(), line.size() - open.size() - close.size()))
        if (c == '<' || c == '>' || c == '"' || c == '\'' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

class Reader {
public:
    Reader(QIODevice& in, const std::function<bool(const QByteArray&)>& element)
        : m_in(in), m_element(element) {}

    bool Read(QString* error) {
        const bool ok = Document();
        if (!ok && !m_outputFailed)
            *error = QStringLiteral("line %1 is not what a report of this program has there")
                         .arg(m_number);
        return ok;
    }

private:
    bool Next() {
        m_line = m_in.readLine(kMaxLine);
        ++m_number;
        return m_line.endsWith("\r\n") && (m_line.chop(2), true);
    }
    bool Is(const QByteArray& text) const { return m_line == text; }
    // Nothing may follow the root: a line that does is the one named.
    bool End() { return m_in.atEnd() || (++m_number, false); }
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
                for (; m_line.startsWith(QByteArray("        <") + streams->element); Next())
                    if (!Section(*streams))
                        return false;
            if (!Is("    </FileInfo>") || !Pass() || !Next())
                return false;
        }
        return Is("</AllFileInfo>") && End();
    }

    QIODevice& m_in;
    const std::function<bool(const QByteArray&)>& m_element;
    QByteArray m_line;
    qint64 m_number = 0;
    bool m_outputFailed = false;
};

} // namespace

bool ReadReportElements(QIODevice& report, const std::function<bool(const QByteArray&)>& element,
                        QString* error) {
    return Reader(report, element).Read(error);
}
