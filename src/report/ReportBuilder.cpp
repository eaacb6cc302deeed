#include "ReportBuilder.h"

#include "AnalysisPool.h"
#include "ReportLocation.h"
#include "media/MediaFileInfo.h"

#include <QFileInfo>
#include <QSaveFile>

#include <climits>
#include <tinyxml.h>

const char* const kGeneralLeaves[kGeneralLeafCount] = {"CompleteName", "Format", "FileSize",
                                                       "Duration", "Subtitlecount"};
const char* const kVideoLeaves[kVideoLeafCount] = {"Format",   "FormatVersion",
                                                   "Width",    "Height",
                                                   "FrameRate", "BitRate",
                                                   "DisplayAspectRatio", "Standard"};
const char* const kAudioLeaves[kAudioLeafCount] = {"Format",       "BitRate",       "Channels",
                                                   "SamplingRate", "FormatVersion", "Language"};

QString PathProblem(const QString& path) {
    if (path.isEmpty())
        return QStringLiteral("missing");
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("missing (broken link)") : QStringLiteral("missing");
    if (!info.isFile())
        return QStringLiteral("not a regular file");
    if (!info.isReadable())
        return QStringLiteral("not readable");
    return QString();
}

int ParseStreamCount(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    // isspace() of the C locale: blank, tab, line feed, vertical tab, form feed, return.
    while (i < n && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            value = INT_MAX; // clamp rather than overflow
    }
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

std::optional<FileReport> ReadFileReport(CMediaFileInfo& info, const QString& path) {
    if (info.Open(path) == 0)
        return std::nullopt;
    FileReport file;
    file.general = {info.GetCompleteName(), info.GetFormat(), info.GetFileSize(),
                    info.GetDuration(), info.GetTextCount()};
    const int videoCount = ParseStreamCount(info.GetVideoStreamCount());
    for (int i = 0; i < videoCount; ++i) {
        const auto n = static_cast<std::size_t>(i);
        file.video.append({info.GetVideoFormat(n), info.GetVideoFormatVersion(n),
                           info.GetVideoWidth(n), info.GetVideoHeight(n),
                           info.GetVideoFrameRate(n), info.GetVideoBitRate(n),
                           info.GetVideoDisplayAspectRatio(n), info.GetVideoStandard(n)});
    }
    const int audioCount = ParseStreamCount(info.GetAudioStreamCount());
    for (int i = 0; i < audioCount; ++i) {
        const auto n = static_cast<std::size_t>(i);
        file.audio.append({info.GetAudioFormat(n), info.GetAudioBitRate(n),
                           info.GetAudioChannels(n), info.GetAudioSamplingRate(n),
                           info.GetAudioFormatVersion(n), info.GetAudioLanguage(n)});
    }
    info.Close();
    return file;
}

void AddTextElement(TiXmlElement* parent, const QString& name, const QString& value) {
    auto* element = new TiXmlElement(name.toUtf8().constData());
    parent->LinkEndChild(element);
    element->LinkEndChild(new TiXmlText(value.toUtf8().constData()));
}

namespace {
TiXmlElement* AddContainer(TiXmlNode* parent, const char* name) {
    auto* element = new TiXmlElement(name);
    parent->LinkEndChild(element);
    return element;
}

template <int N>
void AddLeaves(TiXmlElement* parent, const char* const (&names)[N], const QStringList& values) {
    for (int i = 0; i < N; ++i)
        AddTextElement(parent, QLatin1String(names[i]), i < values.size() ? values[i] : QString());
}
} // namespace

QByteArray RenderReport(const QList<FileReport>& files) {
    TiXmlDocument document;
    TiXmlElement* root = AddContainer(&document, "AllFileInfo");
    for (const FileReport& file : files) {
        TiXmlElement* fileInfo = AddContainer(root, "FileInfo");
        AddLeaves(AddContainer(fileInfo, "GeneralInfo"), kGeneralLeaves, file.general);
        for (const QStringList& video : file.video)
            AddLeaves(AddContainer(fileInfo, "Video"), kVideoLeaves, video);
        for (const QStringList& audio : file.audio)
            AddLeaves(AddContainer(fileInfo, "Audio"), kAudioLeaves, audio);
    }
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    return QByteArray(printer.CStr(), static_cast<qsizetype>(printer.Size()));
}

ReportResult CollectReport(const QStringList& paths, const AnalysisOptions& options,
                           const AnalysisProgressCallback& progress) {
    ReportResult result;
    AnalysisRun run = AnalyseFiles(paths, options, progress);
    if (run.status != AnalysisStatus::Complete) {
        result.status = run.status == AnalysisStatus::Cancelled ? ReportStatus::Cancelled
                                                                 : ReportStatus::Failed;
        result.failure = run.failure;
        return result;
    }
    result.libraryProblem = run.libraryProblem;
    QList<FileReport> files;
    for (qsizetype i = 0; i < run.files.size(); ++i) {
        FileAnalysis& file = run.files[i];
        if (file.report)
            files.append(std::move(*file.report));
        else
            result.leftOut.append({paths[i], file.reason});
    }
    result.xml = RenderReport(files);
    return result;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    // A device or pipe (/dev/stdout, /dev/null, a FIFO) is written to as it is: renaming a
    // temporary file over it would replace the device node with a plain file.
    if (const QFileInfo target(path); target.exists() && !target.isFile() && !target.isDir()) {
        QFile stream(path);
        if (stream.open(QIODevice::WriteOnly) && stream.write(bytes) == bytes.size() &&
            stream.flush())
            return true;
        if (error)
            *error = stream.errorString();
        return false;
    }
    QSaveFile file(path);
    // Flush before commit: commit() does not notice a failed final flush (a full disk, a
    // file-size limit) and would rename a truncated file over the report.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

BuildStatus BuildReport(const QStringList& paths, QString* writtenPath,
                        const AnalysisProgressCallback& progress) {
    const ReportResult result = CollectReport(paths, AnalysisOptions(), progress);
    if (result.status == ReportStatus::Cancelled)
        return BuildStatus::Cancelled;
    if (result.status != ReportStatus::Complete)
        return BuildStatus::Failed;
    const QString target = ReportFilePath();
    if (!WriteFileAtomically(target, result.xml))
        return BuildStatus::Failed;
    if (writtenPath)
        *writtenPath = target;
    return BuildStatus::Written;
}
