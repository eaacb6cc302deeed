#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CMediaFileInfo;
class QFileDevice;
class TiXmlElement;

// Leaf names of the report, in the order in which they are written.
inline constexpr int kGeneralLeafCount = 5;
inline constexpr int kVideoLeafCount = 8;
inline constexpr int kAudioLeafCount = 6;
extern const char* const kGeneralLeaves[kGeneralLeafCount];
extern const char* const kVideoLeaves[kVideoLeafCount];
extern const char* const kAudioLeaves[kAudioLeafCount];

// What the report holds for one opened file: leaf values in leaf order.
struct FileReport {
    QStringList general;
    QList<QStringList> video;
    QList<QStringList> audio;

    bool operator==(const FileReport&) const = default;
};

// A path that is not in the report, and why.
struct LeftOutFile {
    QString path;
    QString reason;
};

struct AnalysisOptions;
struct AnalysisProgress;
using AnalysisProgressCallback = std::function<bool(const AnalysisProgress&)>;

// Why a path cannot be analysed before the library is asked ("missing", "not a regular
// file", "not readable"), or an empty string when it may be opened. Devices, pipes and
// directories are never handed to the library: reading them could block for ever.
QString PathProblem(const QString& path);

// Reads the stream count text the way the C library's atoi does: leading blanks and one
// sign, digits up to the first other character; anything else gives 0.
int ParseStreamCount(const QString& text);

// Opens path on the record and asks every value of the report; nullopt when it does not open.
std::optional<FileReport> ReadFileReport(CMediaFileInfo& info, const QString& path);
// Asks every value of the report of the file open on the record, then closes it.
FileReport ReadOpenFile(CMediaFileInfo& info);

// Appends <name>value</name> to parent; an empty value still gets its (empty) text node.
void AddTextElement(TiXmlElement* parent, const QString& name, const QString& value);

// The text of one FileInfo element of the report file, line breaks included.
QByteArray RenderFileInfo(const FileReport& file);

// Writes a report one FileInfo at a time, in the report file's exact text form: the root's
// start tag goes out with the first file; a report without files is the root's empty tag.
class ReportWriter {
public:
    using Output = std::function<bool(const QByteArray&)>;
    explicit ReportWriter(Output output) : m_output(std::move(output)) {}
    bool Add(const FileReport& file);
    // Text of FileInfo elements already in the report's form (a line of a checked report).
    bool AddText(const QByteArray& text);
    bool Finish();

private:
    Output m_output;
    bool m_started = false;
};

// A file written whole or not at all: into an unnamed temporary file beside it, which no
// interruption leaves behind, that replaces it at Commit. A device or pipe (/dev/stdout, a
// FIFO) is written to as it is: renaming a file over it would replace the device node.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();
    bool Open(const QString& path);
    bool Write(const QByteArray& bytes);
    bool Commit();
    QString ErrorString() const;

private:
    std::unique_ptr<QFileDevice> m_file;
};

// Writes bytes to path through an AtomicFile. Returns false (with a reason in *error) on
// failure.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

enum class BuildStatus { Written, Failed, Cancelled };

// Builds the report of paths into ReportFilePath(), as an AtomicFile; then its path is in
// *writtenPath and the files left out of it, with the reasons, are in *leftOut. A cancelled
// or failed build leaves the previous file as it was.
BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath = nullptr,
                        const AnalysisProgressCallback& progress = {},
                        QList<LeftOutFile>* leftOut = nullptr);
