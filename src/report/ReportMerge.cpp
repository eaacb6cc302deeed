#include "ReportMerge.h"

#include "ReportBuilder.h"

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
    bool Is(const char* text) const { return m_line == text; }
    // Nothing may follow the root: a line that does is the one named.
    bool End() { return m_in.atEnd() || (++m_number, false); }
    // The line just read, checked, goes out.
    bool Pass() {
        m_outputFailed = !m_element(m_line + "\r\n");
        return !m_outputFailed;
    }
    bool Line(const char* text) { return Next() && Is(text) && Pass(); }
    template <int N> bool Leaves(const char* const (&names)[N]) {
        for (const char* name : names)
            if (!Next() || !IsLeaf(m_line, name) || !Pass())
                return false;
        return true;
    }
    bool Document() {
        if (!Next())
            return false;
        if (Is("<AllFileInfo />"))
            return End();
        if (!Is("<AllFileInfo>") || !Next() || !Is("    <FileInfo>"))
            return false;
        while (Is("    <FileInfo>")) {
            if (!Pass() || !Line("        <GeneralInfo>") || !Leaves(kGeneralLeaves) ||
                !Line("        </GeneralInfo>") || !Next())
                return false;
            for (; Is("        <Video>"); Next())
                if (!Pass() || !Leaves(kVideoLeaves) || !Line("        </Video>"))
                    return false;
            for (; Is("        <Audio>"); Next())
                if (!Pass() || !Leaves(kAudioLeaves) || !Line("        </Audio>"))
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
