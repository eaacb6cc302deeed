#include "ReportBuilder.h"

#include "AnalysisPool.h"
#include "ReportLocation.h"
#include "media/MediaFileInfo.h"
#include "platform/FileNames.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

const char* const kGeneralLeaves[kGeneralLeafCount] = {"CompleteName", "Format", "FileSize",
                                                       "Duration", "Subtitlecount"};
const char* const kVideoLeaves[kVideoLeafCount] = {
    "Format",  "FormatVersion",      "Width",   "Height", "FrameRate",
    "BitRate", "DisplayAspectRatio", "Standard"};
const char* const kAudioLeaves[kAudioLeafCount] = {"Format",       "BitRate",       "Channels",
                                                   "SamplingRate", "FormatVersion", "Language"};

QString PathProblem(const QString& path) {
    const QByteArray name = kq::platform::EncodeFileName(path);
    struct stat st {};
    if (name.isEmpty())
        return QStringLiteral("missing");
    if (::stat(name.constData(), &st) != 0) {
        if (errno == EACCES)
            return QStringLiteral("not readable");
        if (errno != ENOENT && errno != ENOTDIR)
            return QString::fromLocal8Bit(std::strerror(errno));
        return ::lstat(name.constData(), &st) == 0 ? QStringLiteral("missing (broken link)")
                                                   : QStringLiteral("missing");
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    if (::access(name.constData(), R_OK) != 0)
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
    return ReadOpenFile(info);
}

FileReport ReadOpenFile(CMediaFileInfo& info) {
    FileReport file;
    file.general = {info.GetCompleteName(), info.GetFormat(), info.GetFileSize(),
                    info.GetDuration(), info.GetTextCount()};
    const int videoCount = ParseStreamCount(info.GetVideoStreamCount());
    for (int i = 0; i < videoCount; ++i) {
        const auto n = static_cast<std::size_t>(i);
        file.video.append({info.GetVideoFormat(n), info.GetVideoFormatVersion(n),
                           info.GetVideoWidth(n), info.GetVideoHeight(n), info.GetVideoFrameRate(n),
                           info.GetVideoBitRate(n), info.GetVideoDisplayAspectRatio(n),
                           info.GetVideoStandard(n)});
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
const QByteArray kRootStart = "<AllFileInfo>\r\n";
const QByteArray kRootEnd = "</AllFileInfo>\r\n";
const QByteArray kEmptyRoot = "<AllFileInfo />\r\n";

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

QByteArray RenderFileInfo(const FileReport& file) {
    TiXmlDocument document;
    TiXmlElement* fileInfo = AddContainer(AddContainer(&document, "AllFileInfo"), "FileInfo");
    AddLeaves(AddContainer(fileInfo, "GeneralInfo"), kGeneralLeaves, file.general);
    for (const QStringList& video : file.video)
        AddLeaves(AddContainer(fileInfo, "Video"), kVideoLeaves, video);
    for (const QStringList& audio : file.audio)
        AddLeaves(AddContainer(fileInfo, "Audio"), kAudioLeaves, audio);
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    // The element as it stands inside the root: without the root's own two lines.
    const QByteArray text(printer.CStr(), static_cast<qsizetype>(printer.Size()));
    return text.mid(kRootStart.size(), text.size() - kRootStart.size() - kRootEnd.size());
}

bool ReportWriter::Add(const FileReport& file) {
    return AddText(RenderFileInfo(file));
}

bool ReportWriter::AddText(const QByteArray& text) {
    return m_output(std::exchange(m_started, true) ? text : kRootStart + text);
}

bool ReportWriter::Finish() {
    return m_output(m_started ? kRootEnd : kEmptyRoot);
}

AtomicFile::AtomicFile() = default;
AtomicFile::~AtomicFile() = default;

bool AtomicFile::Open(const QString& path) {
    if (const QFileInfo target(path); target.exists() && !target.isFile() && !target.isDir())
        m_file = std::make_unique<QFile>(path);
    else
        m_file = std::make_unique<QSaveFile>(path);
    return m_file->open(QIODevice::WriteOnly);
}

bool AtomicFile::Write(const QByteArray& bytes) {
    return m_file->write(bytes) == bytes.size();
}

bool AtomicFile::Commit() {
    // Flush first: commit() does not notice a failed final flush (a full disk, a file-size
    // limit) and would rename a truncated file over the report.
    auto* save = qobject_cast<QSaveFile*>(m_file.get());
    return m_file->flush() && (!save || save->commit());
}

QString AtomicFile::ErrorString() const {
    return m_file ? m_file->errorString() : QString();
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    AtomicFile file;
    if (file.Open(path) && file.Write(bytes) && file.Commit())
        return true;
    if (error)
        *error = file.ErrorString();
    return false;
}

BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath, const AnalysisProgressCallback& progress,
                        QList<LeftOutFile>* leftOut) {
    const QString target = ReportFilePath();
    AtomicFile file;
    if (!file.Open(target))
        return BuildStatus::Failed;
    ReportWriter writer([&file](const QByteArray& bytes) { return file.Write(bytes); });
    PathListSource source(paths);
    const AnalysisRun run = AnalyseFiles(
        source, options,
        [&](const QString& path, FileAnalysis& analysis) {
            if (!analysis.report && leftOut)
                leftOut->append({path, analysis.reason});
            return !analysis.report || writer.Add(*analysis.report);
        },
        progress);
    if (run.status == AnalysisStatus::Cancelled)
        return BuildStatus::Cancelled;
    if (run.status != AnalysisStatus::Complete || !writer.Finish() || !file.Commit())
        return BuildStatus::Failed;
    if (writtenPath)
        *writtenPath = target;
    return BuildStatus::Written;
}
