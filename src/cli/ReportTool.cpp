#include "ReportTool.h"

#include "platform/FileNames.h"
#include "report/AnalysisPool.h"
#include "report/SandboxProbe.h"
#include "report/MediaFilters.h"
#include "report/AtomicFile.h"
#include "report/ReportXml.h"
#include "report/ReportMerge.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <vector>

#include <unistd.h>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString AbsolutePath(const QString& path) {
    return kq::platform::AbsoluteFileName(path);
}

// Named files are always taken; directories give their media files, sorted.
QStringList ExpandPaths(const QStringList& arguments) {
    QStringList paths;
    for (const QString& argument : arguments) {
        if (IsDirectory(argument))
            paths += CollectMediaFiles(argument);
        else
            paths.append(AbsolutePath(argument));
    }
    return paths;
}

// The paths of a list file ("-": standard input), one per line or NUL-separated as
// `find -print0` writes them, read a piece at a time. In lines, a trailing CR is dropped, so
// lists written on other systems work; empty entries are skipped.
class ListSource : public PathSource {
public:
    ListSource(const QString& name, char separator) : m_separator(separator) {
        if (name == QLatin1String("-"))
            m_file.open(stdin, QIODevice::ReadOnly);
        else
            m_file.setFileName(name), m_file.open(QIODevice::ReadOnly);
    }
    bool IsOpen() const { return m_file.isOpen(); }
    QString ErrorString() const { return m_file.errorString(); }

    bool Next(QString* path) override {
        for (;;) {
            qsizetype end = m_buffer.indexOf(m_separator, m_start);
            if (end < 0 && !m_file.atEnd()) {
                m_buffer = m_buffer.mid(m_start) + m_file.read(1 << 16);
                m_start = 0;
                continue;
            }
            if (end < 0 && m_start >= m_buffer.size())
                return false;
            if (end < 0)
                end = m_buffer.size();
            QByteArrayView entry(m_buffer.constData() + m_start, end - m_start);
            m_start = end + 1;
            if (m_separator == '\n' && entry.endsWith('\r'))
                entry.chop(1);
            if (!entry.isEmpty()) {
                *path = AbsolutePath(kq::platform::DecodeFileName(entry));
                return true;
            }
        }
    }

private:
    QFile m_file;
    char m_separator;
    QByteArray m_buffer;
    qsizetype m_start = 0;
};

// The named paths first, then each list in turn; the first path may be read ahead.
class ChainSource : public PathSource {
public:
    std::vector<std::unique_ptr<PathSource>> parts;
    QString first;
    bool hasFirst = false;

    bool Next(QString* path) override {
        if (std::exchange(hasFirst, false)) {
            *path = first;
            return true;
        }
        for (; m_part < parts.size(); ++m_part)
            if (parts[m_part]->Next(path))
                return true;
        return false;
    }

private:
    std::size_t m_part = 0;
};

bool ParsePositive(const QString& text, long long maximum, long long* value) {
    bool ok = false;
    const long long parsed = text.toLongLong(&ok);
    if (!ok || parsed < 1 || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

// "[12/300] name" on one line that is rewritten; cleared when the run ends or a message is
// printed.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* stream) : m_stream(stream) {}
    ~TerminalProgress() { Clear(); }
    void Clear() {
        if (std::exchange(m_shown, false))
            std::fputs("\r\033[K", m_stream);
        m_last.clear();
    }
    bool operator()(const AnalysisProgress& progress) {
        const QString count = progress.total < 0
                                  ? QString::number(progress.done)
                                  : QStringLiteral("%1/%2").arg(progress.done).arg(progress.total);
        QString line = QStringLiteral("[%1] %2").arg(
            count, kq::platform::DisplayFileName(QFileInfo(progress.current).fileName()));
        if (line.size() > 78)
            line = line.left(77) + QChar(0x2026);
        if (line == m_last)
            return true;
        m_last = line;
        Print(m_stream, QStringLiteral("\r\033[K") + line);
        std::fflush(m_stream);
        m_shown = true;
        return true;
    }

private:
    std::FILE* m_stream;
    QString m_last;
    bool m_shown = false;
};

// Where the report goes: a file written whole or not at all, or standard output, flushed as
// each file is added so that a reader in a pipe sees progress.
class ReportOutput {
public:
    ReportOutput(const QString& target, std::FILE* out) : m_target(target), m_out(out) {}
    bool Open() { return m_target.isEmpty() || m_file.Open(m_target); }
    bool Write(const QByteArray& bytes) {
        if (!m_target.isEmpty())
            return m_file.Write(bytes);
        const auto size = static_cast<std::size_t>(bytes.size());
        return std::fwrite(bytes.constData(), 1, size, m_out) == size && std::fflush(m_out) == 0;
    }
    bool Commit() { return m_target.isEmpty() || m_file.Commit(); }
    QString Failure() const {
        return m_target.isEmpty()
                   ? QStringLiteral("cannot write the report to standard output")
                   : QStringLiteral("cannot write %1: %2").arg(m_target, m_file.ErrorString());
    }

private:
    QString m_target;
    std::FILE* m_out;
    AtomicFile m_file;
};

// Joins reports in the order given: each is checked whole first, so nothing is written when
// one of them is not a report.
int MergeReports(const QStringList& parts, ReportOutput& output, std::FILE* err) {
    for (const QString& part : parts) {
        QFile file(part);
        QString error;
        if (!file.open(QIODevice::ReadOnly))
            error = file.errorString();
        else if (!ReadReportElements(
                     file, [](const QByteArray&) { return true; }, &error))
            error = QStringLiteral("not a report: ") + error;
        if (!error.isEmpty()) {
            Print(err, QStringLiteral("kqmediareport: %1: %2\n").arg(part, error));
            return kToolFailure;
        }
    }
    ReportWriter writer([&output](const QByteArray& bytes) { return output.Write(bytes); });
    const auto element = [&writer](const QByteArray& line) { return writer.AddText(line); };
    bool written = output.Open();
    for (const QString& part : parts) {
        QFile file(part);
        QString error;
        written =
            written && file.open(QIODevice::ReadOnly) && ReadReportElements(file, element, &error);
    }
    if (!written || !writer.Finish() || !output.Commit()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(output.Failure()));
        return kToolFailure;
    }
    return kToolAllReported;
}

} // namespace

int RunReportTool(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the media information report (MediaFileInfo.xml form) of the given files.\n"
        "A directory is searched recursively for video and still-image files."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("Write the report to <file> instead of "
                                                         "standard output."),
                                          QStringLiteral("file"));
    const QCommandLineOption listOption(QStringLiteral("files-from"),
                                        QStringLiteral("Read file paths from <list>, one per "
                                                       "line (- for standard input)."),
                                        QStringLiteral("list"));
    const QCommandLineOption nullOption(
        {QStringLiteral("0"), QStringLiteral("null")},
        QStringLiteral("The lists of --files-from are separated by NUL characters, as find "
                       "-print0 writes them."));
    const QCommandLineOption jobsOption(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Analyse <n> files at a time (default: one per processor core)."),
        QStringLiteral("n"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("Leave out a file whose analysis takes longer than <seconds> "
                       "(default: 20)."),
        QStringLiteral("seconds"));
    const QCommandLineOption memoryOption(
        QStringLiteral("memory-limit"),
        QStringLiteral("Leave out a file whose analysis needs more than <MiB> of address "
                       "space (default: 2048)."),
        QStringLiteral("MiB"));
    const QCommandLineOption mergeOption(
        QStringLiteral("merge"),
        QStringLiteral("Join the reports given as paths, in that order, into one report."));
    const QCommandLineOption sandboxOption(
        QStringLiteral("sandbox"),
        QStringLiteral("Show which layers of the analysis workers' confinement this machine "
                       "allows, and exit (status 3 when some are missing)."));
    parser.addOption(outputOption);
    parser.addOption(listOption);
    parser.addOption(nullOption);
    parser.addOption(jobsOption);
    parser.addOption(timeoutOption);
    parser.addOption(memoryOption);
    parser.addOption(mergeOption);
    parser.addOption(sandboxOption);
    parser.addPositionalArgument(QStringLiteral("path"),
                                 QStringLiteral("Media files or directories (with --merge: "
                                                "reports)."),
                                 QStringLiteral("[path...]"));

    if (!parser.parse(arguments)) {
        Print(err, QStringLiteral("kqmediareport: %1\nTry 'kqmediareport --help'.\n")
                       .arg(parser.errorText()));
        return kToolFailure;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Print(out, parser.helpText());
        return kToolAllReported;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        Print(out,
              QStringLiteral("kqmediareport %1\n").arg(QCoreApplication::applicationVersion()));
        return kToolAllReported;
    }

    AnalysisOptions options;
    long long number = 0;
    if (parser.isSet(jobsOption)) {
        if (!ParsePositive(parser.value(jobsOption), 256, &number)) {
            Print(err, QStringLiteral("kqmediareport: -j wants a number from 1 to 256\n"));
            return kToolFailure;
        }
        options.workers = static_cast<int>(number);
    }
    if (parser.isSet(timeoutOption)) {
        if (!ParsePositive(parser.value(timeoutOption), 86400, &number)) {
            Print(err, QStringLiteral("kqmediareport: --timeout wants seconds from 1 to 86400\n"));
            return kToolFailure;
        }
        options.timeoutMs = static_cast<int>(number * 1000);
    }
    if (parser.isSet(memoryOption)) {
        if (!ParsePositive(parser.value(memoryOption), 1LL << 30, &number)) {
            Print(err, QStringLiteral("kqmediareport: --memory-limit wants a number of MiB\n"));
            return kToolFailure;
        }
        options.memoryLimitBytes = number << 20;
    }

    if (parser.isSet(sandboxOption)) {
        const SandboxProbe probe = ProbeSandbox(options);
        if (!probe.failure.isEmpty()) {
            Print(err, QStringLiteral("kqmediareport: %1\n").arg(probe.failure));
            return kToolFailure;
        }
        Print(out, probe.layers);
        return probe.complete ? kToolAllReported : kToolSandboxIncomplete;
    }

    ReportOutput output(parser.value(outputOption), out);
    if (parser.isSet(mergeOption))
        return MergeReports(parser.positionalArguments(), output, err);

    // A list names files (as find writes them), so a directory in it is left out and named
    // like any other path that is not a regular file, never walked.
    const QStringList named = ExpandPaths(parser.positionalArguments());
    ChainSource source;
    source.parts.push_back(std::make_unique<PathListSource>(named));
    for (const QString& list : parser.values(listOption)) {
        auto reader = std::make_unique<ListSource>(list, parser.isSet(nullOption) ? '\0' : '\n');
        if (!reader->IsOpen()) {
            Print(err, QStringLiteral("kqmediareport: cannot read the list %1: %2\n")
                           .arg(list, reader->ErrorString()));
            return kToolFailure;
        }
        source.parts.push_back(std::move(reader));
    }
    source.hasFirst = named.isEmpty() && source.Next(&source.first);
    if (parser.positionalArguments().isEmpty() && !source.hasFirst) {
        Print(err, QStringLiteral("kqmediareport: no media file or directory given\n"
                                  "Try 'kqmediareport --help'.\n"));
        return kToolFailure;
    }
    if (!output.Open()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(output.Failure()));
        return kToolFailure;
    }

    ReportWriter writer([&output](const QByteArray& bytes) { return output.Write(bytes); });
    std::unique_ptr<TerminalProgress> progress;
    if (::isatty(::fileno(err)))
        progress = std::make_unique<TerminalProgress>(err);
    bool leftOut = false;
    const auto sink = [&](const QString& path, FileAnalysis& analysis) {
        if (analysis.report)
            return writer.Add(*analysis.report);
        // A library that cannot be used is one failure, told once at the end.
        if (analysis.libraryUnusable)
            return true;
        if (progress)
            progress->Clear();
        Print(err, QStringLiteral("kqmediareport: left out %1: %2\n")
                       .arg(kq::platform::DisplayFileName(path), analysis.reason));
        leftOut = true;
        return true;
    };
    const AnalysisRun run = AnalyseFiles(source, options, sink,
                                         progress ? AnalysisProgressCallback(std::ref(*progress))
                                                  : AnalysisProgressCallback());
    progress.reset();
    if (!run.libraryProblem.isEmpty()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(run.libraryProblem));
        return kToolFailure;
    }
    if (run.status != AnalysisStatus::Complete) {
        Print(err, QStringLiteral("kqmediareport: %1\n")
                       .arg(run.failure.isEmpty() ? output.Failure() : run.failure));
        return kToolFailure;
    }
    if (!writer.Finish() || !output.Commit()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(output.Failure()));
        return kToolFailure;
    }
    return leftOut ? kToolSomeLeftOut : kToolAllReported;
}
