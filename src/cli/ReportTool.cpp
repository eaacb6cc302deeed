#include "ReportTool.h"

#include "ListSource.h"

#include "platform/FileNames.h"
#include "report/AtomicFile.h"
#include "report/MediaFilters.h"
#include "report/ReportForms.h"
#include "report/ReportMerge.h"
#include "report/ReportPipeline.h"
#include "report/ReportXml.h"
#include "report/SandboxProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

namespace kq {

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// Named files are always taken; directories give their media files, sorted. The names are the
// bytes of the command line's from here on.
QList<QByteArray> ExpandPaths(const QStringList& arguments) {
    QList<QByteArray> paths;
    for (const QString& argument : arguments) {
        const QByteArray name = kq::platform::EncodeFileName(argument);
        if (IsDirectory(name))
            paths += CollectMediaFiles(name);
        else
            paths.append(kq::platform::AbsoluteFileName(name));
    }
    return paths;
}

// The named paths first, then each list in turn, made absolute; the first path may be read
// ahead.
class ChainSource : public PathSource {
public:
    QList<QByteArray> named; // absolute already
    std::vector<std::unique_ptr<ListSource>> lists;
    QByteArray first;
    bool hasFirst = false;

    bool Next(QByteArray* path) override {
        if (std::exchange(hasFirst, false)) {
            *path = first;
            return true;
        }
        if (m_named < named.size()) {
            *path = named[m_named++];
            return true;
        }
        for (; m_list < lists.size(); ++m_list)
            if (lists[m_list]->Next(path)) {
                *path = kq::platform::AbsoluteFileName(*path);
                return true;
            }
        return false;
    }
    // The first list that could not be read to its end.
    QString Failure() const override {
        for (const auto& list : lists)
            if (!list->Failure().isEmpty())
                return list->Failure();
        return QString();
    }

private:
    qsizetype m_named = 0;
    std::size_t m_list = 0;
};

bool ParsePositive(const QString& text, long long maximum, long long* value) {
    bool ok = false;
    const long long parsed = text.toLongLong(&ok);
    if (!ok || parsed < 1 || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

// What the tool's user sees of a run on standard error: each file left out, on a line of its
// own, and on a terminal "[12/300] name" on one line that is rewritten, cleared when the run
// ends or a message is printed.
class TerminalObserver : public ReportObserver {
public:
    explicit TerminalObserver(std::FILE* stream)
        : m_stream(stream), m_terminal(::isatty(::fileno(stream))) {}
    ~TerminalObserver() override { Clear(); }
    void Clear() {
        if (std::exchange(m_shown, false))
            std::fputs("\r\033[K", m_stream);
        m_last.clear();
    }
    bool leftOut = false;

    void LeftOut(const QByteArray& path, const QString& reason, bool libraryUnusable) override {
        // A library that cannot be used is one failure, told once at the end.
        if (libraryUnusable)
            return;
        Clear();
        Print(m_stream,
              QStringLiteral("kqmediareport: left out %1: %2\n")
                  .arg(kq::platform::DisplayFileName(kq::platform::DecodeFileName(path)), reason));
        leftOut = true;
    }
    bool HearsProgress() const override { return m_terminal; }
    bool Progress(const AnalysisProgress& progress) override {
        const QString count = progress.total < 0
                                  ? QString::number(progress.done)
                                  : QStringLiteral("%1/%2").arg(progress.done).arg(progress.total);
        const QByteArray name = progress.current.mid(progress.current.lastIndexOf('/') + 1);
        QString line = QStringLiteral("[%1] %2").arg(
            count, kq::platform::DisplayFileName(kq::platform::DecodeFileName(name)));
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
    const bool m_terminal;
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

// Joins reports of one form in the order given: each is checked whole first, so nothing is
// written when one of them is not a report, or not of the form of the others.
int MergeReports(const QStringList& parts, std::optional<ReportForm> wanted, ReportOutput& output,
                 std::FILE* err) {
    std::optional<ReportForm> form = wanted;
    QString first; // the part whose form the others must have
    for (const QString& part : parts) {
        QFile file(part);
        QString error;
        ReportForm partForm = ReportForm::Xml;
        if (!file.open(QIODevice::ReadOnly))
            error = file.errorString();
        else if (PeekReportForm(file, &partForm) && form && partForm != *form) {
            Print(
                err,
                QStringLiteral("kqmediareport: %1 is in %2 form, %3: reports of "
                               "different forms cannot be joined\n")
                    .arg(part, ReportFormName(partForm),
                         first.isEmpty()
                             ? QStringLiteral("not %1 (--format)").arg(ReportFormName(*form))
                             : QStringLiteral("%1 in %2 form").arg(first, ReportFormName(*form))));
            return kToolFailure;
        } else if (!ReadReportRecords(
                       file, partForm, [](qint64, const QByteArray&) { return true; }, &error))
            error = QStringLiteral("not a report: ") + error;
        if (!error.isEmpty()) {
            Print(err, QStringLiteral("kqmediareport: %1: %2\n").arg(part, error));
            return kToolFailure;
        }
        if (!form)
            form = partForm, first = part;
        else if (first.isEmpty())
            first = part;
    }
    const ReportForm joined = form.value_or(ReportForm::Xml); // no part: an empty report
    ReportStream stream(joined, [&output](const QByteArray& bytes) { return output.Write(bytes); });
    // XML's lines go out an element at a time, as a report does, not a write (and a flush of
    // standard output) for each; CSV and JSON records as they come, numbered anew.
    QByteArray pending;
    qint64 before = 0;
    const auto record = [&](qint64 position, const QByteArray& text) {
        if (joined != ReportForm::Xml)
            return stream.AddRecord(before + position, text);
        pending += text;
        return (text != "    </FileInfo>\r\n" && pending.size() < (1 << 16)) ||
               stream.AddRecord(0, std::exchange(pending, {}));
    };
    bool written = output.Open();
    for (const QString& part : parts) {
        QFile file(part);
        QString error;
        before = stream.Files();
        written = written && file.open(QIODevice::ReadOnly) &&
                  ReadReportRecords(file, joined, record, &error);
    }
    if (!written || !stream.Finish() || !output.Commit()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(output.Failure()));
        return kToolFailure;
    }
    return kToolAllReported;
}

// What the command line asks for.
struct ToolOptions {
    enum Mode { Report, Help, Version, Sandbox, Merge } mode = Report;
    AnalysisOptions analysis;
    QString output;    // -o: empty for standard output
    QStringList lists; // --files-from
    char separator = '\n';
    QStringList paths;              // media files and folders, or reports to join
    std::optional<ReportForm> form; // --format
    bool cache = true;              // --no-cache turns it off
    QString cacheFile;              // --cache
    QString helpText;
};

// The tool's command line: its options, in the order --help lists them.
struct ToolParser {
    QCommandLineParser parser;
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write the report to <file> instead of "
                                                   "standard output."),
                                    QStringLiteral("file")};
    const QCommandLineOption format{
        QStringLiteral("format"),
        QStringLiteral("Write the report as <form>: xml (the default, MediaFileInfo.xml's form), "
                       "csv (a row for each file and each of its streams) or json (a list of "
                       "files)."),
        QStringLiteral("form")};
    const QCommandLineOption list{QStringLiteral("files-from"),
                                  QStringLiteral("Read file paths from <list>, one per line (- "
                                                 "for standard input)."),
                                  QStringLiteral("list")};
    const QCommandLineOption null{
        {QStringLiteral("0"), QStringLiteral("null")},
        QStringLiteral("The lists of --files-from are separated by NUL characters, as find "
                       "-print0 writes them.")};
    const QCommandLineOption jobs{
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Analyse <n> files at a time (default: one per processor core)."),
        QStringLiteral("n")};
    const QCommandLineOption timeout{
        QStringLiteral("timeout"),
        QStringLiteral("Leave out a file whose analysis takes longer than <seconds> "
                       "(default: 20)."),
        QStringLiteral("seconds")};
    const QCommandLineOption memory{
        QStringLiteral("memory-limit"),
        QStringLiteral("Leave out a file whose analysis needs more than <MiB> of address "
                       "space (default: 2048)."),
        QStringLiteral("MiB")};
    const QCommandLineOption noCache{
        QStringLiteral("no-cache"),
        QStringLiteral("Analyse every file, neither using nor keeping what earlier runs found "
                       "(by default a file unchanged since is not analysed again).")};
    const QCommandLineOption cache{
        QStringLiteral("cache"),
        QStringLiteral("Keep what runs find in <file>, on a local disk (default: "
                       "$XDG_CACHE_HOME/kqmediareport/outcomes.sqlite)."),
        QStringLiteral("file")};
    const QCommandLineOption merge{
        QStringLiteral("merge"),
        QStringLiteral("Join the reports given as paths, in that order, into one report.")};
    const QCommandLineOption sandbox{
        QStringLiteral("sandbox"),
        QStringLiteral("Show which layers of the analysis workers' confinement this machine "
                       "allows, and exit (status 3 when some are missing).")};

    ToolParser() {
        parser.setApplicationDescription(QStringLiteral(
            "Writes the media information report (MediaFileInfo.xml form) of the given files.\n"
            "A directory is searched recursively for video and still-image files.\n"
            "\n"
            "Examples:\n"
            "  kqmediareport -o report.xml ~/Videos\n"
            "  kqmediareport --format csv -o sheet.csv ~/Videos   (a row per file and stream)\n"
            "  kqmediareport --format json ~/Videos | jq -r '.[].name'   (a list of files)\n"
            "The columns of CSV and the shape of JSON: man kqmediareport, FORMS."));
        parser.addHelpOption();
        parser.addVersionOption();
        for (const QCommandLineOption* option : {&output, &format, &list, &null, &jobs, &timeout,
                                                 &memory, &noCache, &cache, &merge, &sandbox})
            parser.addOption(*option);
        parser.addPositionalArgument(QStringLiteral("path"),
                                     QStringLiteral("Media files or directories (with --merge: "
                                                    "reports)."),
                                     QStringLiteral("[path...]"));
    }
};

// The limits of -j, --timeout and --memory-limit; false with the message in *error.
bool ParseLimits(const ToolParser& tool, AnalysisOptions* analysis, QString* error) {
    long long number = 0;
    if (tool.parser.isSet(tool.jobs)) {
        if (!ParsePositive(tool.parser.value(tool.jobs), 256, &number)) {
            *error = QStringLiteral("-j wants a number from 1 to 256");
            return false;
        }
        analysis->workers = static_cast<int>(number);
    }
    if (tool.parser.isSet(tool.timeout)) {
        if (!ParsePositive(tool.parser.value(tool.timeout), 86400, &number)) {
            *error = QStringLiteral("--timeout wants seconds from 1 to 86400");
            return false;
        }
        analysis->timeoutMs = static_cast<int>(number * 1000);
    }
    if (tool.parser.isSet(tool.memory)) {
        if (!ParsePositive(tool.parser.value(tool.memory), 1LL << 30, &number)) {
            *error = QStringLiteral("--memory-limit wants a number of MiB");
            return false;
        }
        analysis->memoryLimitBytes = number << 20;
    }
    return true;
}

// Reads the command line into *options; false with the message for standard error (and its
// hint) in *error.
bool ParseToolOptions(const QStringList& arguments, ToolOptions* options, QString* error) {
    ToolParser tool;
    QCommandLineParser& parser = tool.parser;
    if (!parser.parse(arguments)) {
        *error = QStringLiteral("%1\nTry 'kqmediareport --help'.").arg(parser.errorText());
        return false;
    }
    options->helpText = parser.helpText();
    options->output = parser.value(tool.output);
    options->lists = parser.values(tool.list);
    options->separator = parser.isSet(tool.null) ? '\0' : '\n';
    options->paths = parser.positionalArguments();
    options->mode = parser.isSet(QStringLiteral("help"))      ? ToolOptions::Help
                    : parser.isSet(QStringLiteral("version")) ? ToolOptions::Version
                    : parser.isSet(tool.sandbox)              ? ToolOptions::Sandbox
                    : parser.isSet(tool.merge)                ? ToolOptions::Merge
                                                              : ToolOptions::Report;
    if (options->mode == ToolOptions::Help || options->mode == ToolOptions::Version)
        return true;
    ReportForm form = ReportForm::Xml;
    if (parser.isSet(tool.format) && !ParseReportForm(parser.value(tool.format), &form)) {
        *error = QStringLiteral("--format wants xml, csv or json");
        return false;
    }
    if (parser.isSet(tool.format))
        options->form = form;
    options->cache = !parser.isSet(tool.noCache);
    options->cacheFile = parser.isSet(tool.cache) ? parser.value(tool.cache) : DefaultCacheFile();
    return ParseLimits(tool, &options->analysis, error);
}

int ProbeMode(const ToolOptions& options, std::FILE* out, std::FILE* err) {
    const SandboxProbe probe = ProbeSandbox(options.analysis);
    if (!probe.failure.isEmpty()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(probe.failure));
        return kToolFailure;
    }
    Print(out, probe.layers);
    return probe.complete ? kToolAllReported : kToolSandboxIncomplete;
}

// The paths to analyse: those named (folders walked), then each list's in turn. A list names
// files (as find writes them), so a directory in it is left out and named like any other path
// that is not a regular file, never walked. False with the message when a list cannot be read.
bool OpenSources(const ToolOptions& options, ChainSource* source, QString* error) {
    source->named = ExpandPaths(options.paths);
    for (const QString& list : options.lists) {
        auto reader = std::make_unique<ListSource>(list, options.separator);
        if (!reader->IsOpen()) {
            *error = QStringLiteral("cannot read the list %1: %2").arg(list, reader->ErrorString());
            return false;
        }
        source->lists.push_back(std::move(reader));
    }
    source->hasFirst = source->named.isEmpty() && source->Next(&source->first);
    return true;
}

int ReportMode(const ToolOptions& options, ReportOutput& output, std::FILE* err) {
    ChainSource source;
    QString error;
    if (!OpenSources(options, &source, &error)) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(error));
        return kToolFailure;
    }
    if (options.paths.isEmpty() && !source.hasFirst) {
        Print(err, QStringLiteral("kqmediareport: no media file or directory given\n"
                                  "Try 'kqmediareport --help'.\n"));
        return kToolFailure;
    }
    if (!output.Open()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(output.Failure()));
        return kToolFailure;
    }
    std::unique_ptr<CachedAnswers> cache;
    if (options.cache) {
        cache = CachedAnswers::Open(options.cacheFile, options.analysis, &error);
        if (!error.isEmpty())
            Print(err, QStringLiteral("kqmediareport: %1\n").arg(error));
    }
    TerminalObserver observer(err);
    const ReportRun run = WriteReport(
        source, options.analysis, options.form.value_or(ReportForm::Xml),
        [&output](const QByteArray& bytes) { return output.Write(bytes); }, observer, cache.get());
    observer.Clear();
    if (cache)
        cache->Finish();
    if (cache && !cache->Problem().isEmpty())
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(cache->Problem()));
    const QString failure = run.status == BuildStatus::Written && output.Commit() ? QString()
                            : run.failure.isEmpty()                               ? output.Failure()
                                                                                  : run.failure;
    if (!failure.isEmpty()) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(failure));
        return kToolFailure;
    }
    return observer.leftOut ? kToolSomeLeftOut : kToolAllReported;
}

} // namespace

int RunReportTool(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    ToolOptions options;
    QString error;
    if (!ParseToolOptions(arguments, &options, &error)) {
        Print(err, QStringLiteral("kqmediareport: %1\n").arg(error));
        return kToolFailure;
    }
    ReportOutput output(options.output, out);
    switch (options.mode) {
    case ToolOptions::Help:
        Print(out, options.helpText);
        return kToolAllReported;
    case ToolOptions::Version:
        Print(out,
              QStringLiteral("kqmediareport %1\n").arg(QCoreApplication::applicationVersion()));
        return kToolAllReported;
    case ToolOptions::Sandbox:
        return ProbeMode(options, out, err);
    case ToolOptions::Merge:
        return MergeReports(options.paths, options.form, output, err);
    case ToolOptions::Report:
        break;
    }
    return ReportMode(options, output, err);
}

} // namespace kq
