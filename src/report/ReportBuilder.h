#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CMediaFileInfo;
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

enum class ReportStatus { Complete, Cancelled, Failed };

struct ReportResult {
    ReportStatus status = ReportStatus::Complete;
    QByteArray xml;               // the document, in the report file's exact text form
    QList<LeftOutFile> leftOut;   // in input order
    QString failure;              // why, when Failed
    QString libraryProblem;       // set when no file could open because of the library
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

// Appends <name>value</name> to parent; an empty value still gets its (empty) text node.
void AddTextElement(TiXmlElement* parent, const QString& name, const QString& value);

// The report document for these files, in the report file's exact text form.
QByteArray RenderReport(const QList<FileReport>& files);

// Analyses every path (in worker processes, see AnalysisPool.h) and renders the report in
// input order; paths that cannot be analysed are left out and named.
ReportResult CollectReport(const QStringList& paths, const AnalysisOptions& options,
                           const AnalysisProgressCallback& progress = {});

// Writes bytes to path through a temporary file and a rename: the previous file stays
// whole when anything fails. A device or pipe is written to directly. Returns false (with a
// reason in *error) on failure.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

enum class BuildStatus { Written, Failed, Cancelled };

// Builds the report of paths with the default analysis options and writes it to
// ReportFilePath(); then its path is in *writtenPath. A cancelled or failed build writes
// nothing and leaves the previous file as it was.
BuildStatus BuildReport(const QStringList& paths, QString* writtenPath = nullptr,
                        const AnalysisProgressCallback& progress = {});
