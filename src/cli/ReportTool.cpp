#include "ReportTool.h"

#include "report/AnalysisPool.h"
#include "report/MediaFilters.h"
#include "report/ReportBuilder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// Paths listed one per line in file ("-": standard input). A trailing CR is dropped, so
// lists written on other systems work; empty lines are skipped.
bool ReadPathList(const QString& file, QStringList* paths, QString* error) {
    QFile list;
    bool opened = false;
    if (file == QLatin1String("-"))
        opened = list.open(stdin, QIODevice::ReadOnly);
    else {
        list.setFileName(file);
        opened = list.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        *error = QStringLiteral("cannot read the list %1: %2").arg(file, list.errorString());
        return false;
    }
    const QByteArray content = list.readAll();
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            paths->append(QString::fromUtf8(line));
    }
    return true;
}

QString AbsolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Named files are always taken; directories give their media files, sorted.
QStringList ExpandPaths(const QStringList& arguments) {
    QStringList paths;
    for (const QString& argument : arguments) {
        if (QFileInfo(argument).isDir())
            paths += CollectMediaFiles(argument);
        else
            paths.append(AbsolutePath(argument));
    }
    return paths;
}

bool ParsePositive(const QString& text, long long maximum, long long* value) {
    bool ok = false;
    const long long parsed = text.toLongLong(&ok);
    if (!ok || parsed < 1 || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

// "[12/300] name" on one line that is rewritten; cleared when the run ends.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* stream) : m_stream(stream) {}
    ~TerminalProgress() {
        if (m_shown)
            std::fputs("\r\033[K", m_stream);
    }
    bool operator()(const AnalysisProgress& progress) {
        const QString name = QFileInfo(progress.current).fileName();
        QString line = QStringLiteral("[%1/%2] %3").arg(progress.done).arg(progress.total).arg(name);
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
    const QCommandLineOption sandboxOption(
        QStringLiteral("sandbox"),
        QStringLiteral("Show which layers of the analysis workers' confinement this machine "
                       "allows, and exit (status 3 when some are missing)."));
    parser.addOption(sandboxOption);
    parser.addOption(outputOption);
    parser.addOption(listOption);
    parser.addOption(jobsOption);
    parser.addOption(timeoutOption);
    parser.addOption(memoryOption);
    parser.addPositionalArgument(QStringLiteral("path"),
                                 QStringLiteral("Media files or directories."),
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
        Print(out, QStringLiteral("kqmediareport %1\n").arg(QCoreApplication::applicationVersion()));
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

    // A list names files (as find writes them), so a directory in it is left out and named
    // like any other path that is not a regular file, never walked.
    QStringList listed;
    for (const QString& list : parser.values(listOption)) {
        QString error;
        if (!ReadPathList(list, &listed, &error)) {
            Print(err, QStringLiteral("kqmediareport: %1\n").arg(error));
            return kToolFailure;
        }
    }
    if (parser.positionalArguments().isEmpty() && listed.isEmpty()) {
        Print(err, QStringLiteral("kqmediareport: no media file or directory given\n"
                                  "Try 'kqmediareport --help'.\n"));
        return kToolFailure;
    }
    QStringList requested = ExpandPaths(parser.positionalArguments());
    for (const QString& path : listed)
        requested.append(AbsolutePath(path));

    ReportResult report;
    if (::isatty(::fileno(err))) {
        TerminalProgress progress(err);
        report = CollectReport(requested, options, std::ref(progress));
    } else {
        report = CollectReport(requested, options);
    }
    // A library that cannot be used is one failure, not a report of nothing.
    if (report.status != ReportStatus::Complete || !report.libraryProblem.isEmpty()) {
        Print(err, QStringLiteral("kqmediareport: %1\n")
                       .arg(report.libraryProblem.isEmpty() ? report.failure : report.libraryProblem));
        return kToolFailure;
    }
    for (const LeftOutFile& file : report.leftOut)
        Print(err, QStringLiteral("kqmediareport: left out %1: %2\n").arg(file.path, file.reason));

    if (parser.isSet(outputOption)) {
        const QString target = parser.value(outputOption);
        QString error;
        if (!WriteFileAtomically(target, report.xml, &error)) {
            Print(err, QStringLiteral("kqmediareport: cannot write %1: %2\n").arg(target, error));
            return kToolFailure;
        }
    } else {
        const auto size = static_cast<std::size_t>(report.xml.size());
        if (std::fwrite(report.xml.constData(), 1, size, out) != size || std::fflush(out) != 0) {
            Print(err, QStringLiteral("kqmediareport: cannot write the report to standard output\n"));
            return kToolFailure;
        }
    }
    return report.leftOut.isEmpty() ? kToolAllReported : kToolSomeLeftOut;
}
