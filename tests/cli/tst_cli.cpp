// kqmediareport as scripts see it: the real binary, the installed MediaInfo library and the
// sample media, compared byte for byte with reports read independently with `mediainfo`.

#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using kqtest::ReadBytes;
using kqtest::WriteBytes;

namespace {

// Generous: a loaded machine must never fail a test; a hang still ends.
constexpr int kTimeoutMs = 60'000;

const QString kNonAscii = QStringLiteral("clip-été-日本.mp4");

// What a walk of the sample folder takes, in sorted path order: no audio-only or text files.
const QStringList kSampleFolderWalk = {
    QStringLiteral("&#x41;.png"), QStringLiteral("a&b.mp4"),    kNonAscii,
    QStringLiteral("multi.mkv"),  QStringLiteral("sample.avi"), QStringLiteral("sample.mp4"),
    QStringLiteral("sample.png"), QStringLiteral("sample.ts")};

QString MediaDir() {
    return QDir::cleanPath(QStringLiteral(KQ_SOURCE_DIR "/tests/data/media"));
}
QString ExpectedDir() {
    return QDir::cleanPath(QStringLiteral(KQ_SOURCE_DIR "/tests/data/expected"));
}

// A text as the report writes it (the checkout's own path may hold any character).
QByteArray Escaped(const QString& text) {
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '\'')
            out += "&apos;";
        else if (byte < 0x20)
            out += "&#x" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0') + ';';
        else
            out += c;
    }
    return out;
}

// The FileInfo element of sample's expected report, line breaks included. With a path, it
// is the element of a copy of the sample there: only the complete name differs.
QByteArray FileInfoOf(const QString& sample, const QString& path = QString()) {
    const QByteArray report = ReadBytes(ExpectedDir() + u'/' + sample + QStringLiteral(".xml"));
    const QByteArray head = "<AllFileInfo>\r\n";
    const QByteArray tail = "</AllFileInfo>\r\n";
    if (!report.startsWith(head) || !report.endsWith(tail))
        return "missing or malformed expected report of " + sample.toUtf8();
    QByteArray block = report.mid(head.size(), report.size() - head.size() - tail.size());
    if (path.isEmpty())
        return block.replace("@MEDIA@", Escaped(MediaDir()));
    const QByteArray open = "<CompleteName>";
    const qsizetype from = block.indexOf(open) + open.size();
    const qsizetype to = block.indexOf("</CompleteName>", from);
    if (from < open.size() || to < 0)
        return "no complete name in the expected report of " + sample.toUtf8();
    return block.replace(from, to - from, Escaped(path));
}

// The whole report for entries "sample" (the checked-in file) or "sample=path" (a copy).
QByteArray ReportOf(const QStringList& entries) {
    if (entries.isEmpty())
        return "<AllFileInfo />\r\n";
    QByteArray report = "<AllFileInfo>\r\n";
    for (const QString& entry : entries) {
        const qsizetype split = entry.indexOf(u'=');
        report +=
            split < 0 ? FileInfoOf(entry) : FileInfoOf(entry.left(split), entry.mid(split + 1));
    }
    return report + "</AllFileInfo>\r\n";
}

struct RunSetup {
    QString workingDirectory;
    QByteArray input;                  // written to standard input, which is then closed
    std::optional<QStringList> locale; // when set: the only locale variables ("LC_ALL=C")
    QString standardOutputFile;        // instead of a pipe
    QStringList environment;           // "NAME=value" entries set on top of ours
};

struct Run {
    bool finished = false; // exited normally within the timeout
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run RunTool(const QStringList& arguments, const RunSetup& setup = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (setup.locale) {
        for (const QString& key : environment.keys())
            if (key == u"LANG" || key == u"LANGUAGE" || key.startsWith(u"LC_"))
                environment.remove(key);
        for (const QString& pair : *setup.locale)
            environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    }
    for (const QString& pair : setup.environment)
        environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(environment);
    if (!setup.workingDirectory.isEmpty())
        process.setWorkingDirectory(setup.workingDirectory);
    if (!setup.standardOutputFile.isEmpty())
        process.setStandardOutputFile(setup.standardOutputFile);
    process.start(QStringLiteral(KQ_TOOL), arguments);
    Run run;
    if (!process.waitForStarted(kTimeoutMs))
        return run;
    if (!setup.input.isEmpty())
        process.write(setup.input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished(kTimeoutMs);
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Every entry below dir with its size, so that a failed run can be shown to leave nothing.
QStringList Snapshot(const QString& dir) {
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries.append(QDir(dir).relativeFilePath(it.filePath()) + u' ' +
                       QString::number(it.fileInfo().isDir() ? -1 : it.fileInfo().size()));
    }
    entries.sort();
    return entries;
}

bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

bool MakeLink(const char* target, const QString& path) {
    return ::symlink(target, QFile::encodeName(path).constData()) == 0;
}

} // namespace

class TestReportTool : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;

    QString Expand(QString text) const {
        return text.replace(QStringLiteral("@MEDIA@"), MediaDir())
            .replace(QStringLiteral("@TMP@"), m_tmp->path());
    }
    QStringList Expand(const QStringList& list) const {
        QStringList expanded;
        for (const QString& text : list)
            expanded.append(Expand(text));
        return expanded;
    }
    QByteArray Expand(const QByteArray& bytes) const {
        return Expand(QString::fromUtf8(bytes)).toUtf8();
    }
    // The standard error of a run that leaves out these "path: reason" entries.
    QByteArray LeftOutLines(const QStringList& leftOut) const {
        QByteArray lines;
        for (const QString& entry : leftOut)
            lines += "kqmediareport: left out " + Expand(entry).toUtf8() + '\n';
        return lines;
    }

    // A tree of copies: media at several depths with extensions in any case, files that the
    // walk passes over, a pipe, links to folders (one of them a cycle) and an empty folder.
    void BuildTree(const QString& root) {
        QDir dir;
        QVERIFY(dir.mkpath(root + QStringLiteral("/a/deep")));
        QVERIFY(dir.mkpath(root + QStringLiteral("/b")));
        QVERIFY(dir.mkpath(root + QStringLiteral("/empty")));
        const char* const copies[][2] = {
            {"sample.png", "a/deep/still.Png"},
            {"sample.avi", "a/x.AVI"},
            {"sample.mp3", "a/song.mp3"},
            {"sample.mp4", "b/clip.MP4"},
            {"sample.ts", "c.ts"},
            {"notes.txt", "notes.txt"},
            {"sample.wav", "sound.wav"},
            {"sample.mp4", "noext"},
            {"sample.mp4", "clip.mp4.txt"},
        };
        for (const auto& copy : copies)
            QVERIFY(QFile::copy(MediaDir() + u'/' + QLatin1String(copy[0]),
                                root + u'/' + QLatin1String(copy[1])));
        QVERIFY(MakeLink("..", root + QStringLiteral("/a/loop")));
        QVERIFY(MakeLink("../a", root + QStringLiteral("/b/other")));
        QVERIFY(MakeFifo(root + QStringLiteral("/pipe.mkv")));
    }

    // The common checks of a finished run: status, messages and the report's exact bytes.
    void CheckRun(const Run& run, int exitCode, const QStringList& leftOut,
                  const QStringList& entries, const QString& reportFile = QString()) {
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(QString::fromUtf8(run.err), QString::fromUtf8(LeftOutLines(leftOut)));
        QCOMPARE(run.exitCode, exitCode);
        const QByteArray expected = ReportOf(Expand(entries));
        if (reportFile.isEmpty()) {
            QCOMPARE(run.out, expected);
        } else {
            QCOMPARE(run.out, QByteArray());
            QCOMPARE(ReadBytes(reportFile), expected);
        }
    }

private slots:
    void init() {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
    }
    void cleanup() { m_tmp.reset(); }

    // Regenerated data must stay in pairs, small enough to keep in the repository.
    void samplesHaveExpectedReports() {
        QStringList samples;
        qint64 total = 0;
        for (const QFileInfo& info : QDir(MediaDir()).entryInfoList(QDir::Files, QDir::Name)) {
            samples.append(info.fileName());
            total += info.size();
        }
        QStringList reports;
        for (const QString& name :
             QDir(ExpectedDir()).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
            reports.append(name.chopped(4));
        QCOMPARE(reports, samples);
        for (const QString& sample : kSampleFolderWalk)
            QVERIFY2(samples.contains(sample), qPrintable(sample));
        QVERIFY2(total < 1024 * 1024, qPrintable(QString::number(total)));
    }

    void singleSample_data() {
        QTest::addColumn<QString>("sample");
        // Named explicitly, every file is taken, whatever its extension. The library opens
        // any readable file: a text file is reported with an empty format.
        for (const QString& name : QDir(MediaDir()).entryList(QDir::Files, QDir::Name))
            QTest::newRow(name.toUtf8().constData()) << name;
    }
    void singleSample() {
        QFETCH(QString, sample);
        const QByteArray expected = ReadBytes(ExpectedDir() + u'/' + sample + QStringLiteral(".xml"));
        QVERIFY2(expected.contains("@MEDIA@/"), "the expected report names its media folder");
        const Run run = RunTool({MediaDir() + u'/' + sample});
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(QString::fromUtf8(run.err), QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray(expected).replace("@MEDIA@", Escaped(MediaDir())));
    }

    void severalFiles_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addColumn<QStringList>("entries");

        QTest::newRow("argument order kept")
            << QStringList{"@MEDIA@/sample.ts", "@MEDIA@/sample.mp4", "@MEDIA@/multi.mkv"}
            << QString() << QStringList{"sample.ts", "sample.mp4", "multi.mkv"};
        QTest::newRow("duplicates reported each time")
            << QStringList{"@MEDIA@/sample.mp4", "@MEDIA@/sample.png", "@MEDIA@/sample.mp4"}
            << QString() << QStringList{"sample.mp4", "sample.png", "sample.mp4"};
        QTest::newRow("audio-only files named explicitly")
            << QStringList{"@MEDIA@/sample.wav", "@MEDIA@/sample.mp3"} << QString()
            << QStringList{"sample.wav", "sample.mp3"};
        QTest::newRow("relative paths become absolute and clean")
            << QStringList{"sample.mp4", "./sample.avi", "../media/sample.png",
                           "nowhere/../multi.mkv", "a&b.mp4"}
            << "@MEDIA@"
            << QStringList{"sample.mp4", "sample.avi", "sample.png", "multi.mkv", "a&b.mp4"};
        QTest::newRow("redundant separators")
            << QStringList{"@MEDIA@//sample.ts", "@MEDIA@/./&#x41;.png"} << QString()
            << QStringList{"sample.ts", "&#x41;.png"};
    }
    void severalFiles() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, workingDirectory);
        QFETCH(QStringList, entries);
        RunSetup setup;
        setup.workingDirectory = Expand(workingDirectory);
        CheckRun(RunTool(Expand(arguments), setup), 0, {}, entries);
    }

    void directoryWalk_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addColumn<QStringList>("entries");

        const QStringList tree = {"sample.png=@TMP@/tree/a/deep/still.Png",
                                  "sample.avi=@TMP@/tree/a/x.AVI",
                                  "sample.mp4=@TMP@/tree/b/clip.MP4", "sample.ts=@TMP@/tree/c.ts"};
        QTest::newRow("sample folder") << QStringList{"@MEDIA@"} << QString() << kSampleFolderWalk;
        QTest::newRow("sample folder with a trailing slash")
            << QStringList{"@MEDIA@/"} << QString() << kSampleFolderWalk;
        QTest::newRow("nested folders, extensions in any case, links not followed")
            << QStringList{"@TMP@/tree"} << QString() << tree;
        QTest::newRow("named files are taken beside a folder")
            << QStringList{"@TMP@/tree/a/song.mp3", "@TMP@/tree", "@TMP@/tree/noext",
                           "@MEDIA@/notes.txt"}
            << QString()
            << QStringList{"sample.mp3=@TMP@/tree/a/song.mp3"} + tree +
                   QStringList{"sample.mp4=@TMP@/tree/noext", "notes.txt"};
        QTest::newRow("folders in argument order")
            << QStringList{"@TMP@/tree/b", "@TMP@/tree/a"} << QString()
            << QStringList{tree[2], tree[0], tree[1]};
        QTest::newRow("relative folders")
            << QStringList{"tree/b", "./tree/a/deep/"} << "@TMP@" << QStringList{tree[2], tree[0]};
        QTest::newRow("folder without media")
            << QStringList{"@TMP@/tree/empty"} << QString() << QStringList();
    }
    void directoryWalk() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, workingDirectory);
        QFETCH(QStringList, entries);
        BuildTree(m_tmp->path() + QStringLiteral("/tree"));
        if (QTest::currentTestFailed())
            return;
        RunSetup setup;
        setup.workingDirectory = Expand(workingDirectory);
        CheckRun(RunTool(Expand(arguments), setup), 0, {}, entries);
    }

    void leftOutPaths_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("list"); // given with --files-from when not empty
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("leftOut");

        QTest::newRow("missing file") << QStringList{"@TMP@/gone.mp4"} << QByteArray()
                                      << QStringList() << QStringList{"@TMP@/gone.mp4: missing"};
        QTest::newRow("missing file named by a relative path")
            << QStringList{"@TMP@/sub/../gone.mp4"} << QByteArray() << QStringList()
            << QStringList{"@TMP@/gone.mp4: missing"};
        QTest::newRow("broken link")
            << QStringList{"@TMP@/dangling.mp4"} << QByteArray() << QStringList()
            << QStringList{"@TMP@/dangling.mp4: missing (broken link)"};
        QTest::newRow("pipe") << QStringList{"@TMP@/pipe.mp4"} << QByteArray() << QStringList()
                              << QStringList{"@TMP@/pipe.mp4: not a regular file"};
        QTest::newRow("folder in a list")
            << QStringList() << QByteArray("@TMP@/folder\n") << QStringList()
            << QStringList{"@TMP@/folder: not a regular file"};
        QTest::newRow("folder among files in a list")
            << QStringList()
            << QByteArray("@MEDIA@/sample.png\r\n@TMP@/folder\r\n@MEDIA@/sample.avi\r\n")
            << QStringList{"sample.png", "sample.avi"}
            << QStringList{"@TMP@/folder: not a regular file"};
        QTest::newRow("present and absent mixed, input order kept")
            << QStringList{"@MEDIA@/sample.mp4", "@TMP@/pipe.mp4", "@MEDIA@/sample.png",
                           "@TMP@/gone.mp4"}
            << QByteArray() << QStringList{"sample.mp4", "sample.png"}
            << QStringList{"@TMP@/pipe.mp4: not a regular file", "@TMP@/gone.mp4: missing"};
        QTest::newRow("nothing reportable")
            << QStringList{"@TMP@/gone.mp4", "@TMP@/dangling.mp4", "@TMP@/pipe.mp4"} << QByteArray()
            << QStringList()
            << QStringList{"@TMP@/gone.mp4: missing", "@TMP@/dangling.mp4: missing (broken link)",
                           "@TMP@/pipe.mp4: not a regular file"};
    }
    void leftOutPaths() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, list);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, leftOut);
        const QString tmp = m_tmp->path();
        // A pipe with no writer would block a reader for ever: it must never be opened.
        QVERIFY(MakeFifo(tmp + QStringLiteral("/pipe.mp4")));
        QVERIFY(MakeLink("nowhere.mp4", tmp + QStringLiteral("/dangling.mp4")));
        QVERIFY(QDir(tmp).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::copy(MediaDir() + QStringLiteral("/sample.mp4"),
                            tmp + QStringLiteral("/folder/inside.mp4")));
        QStringList args = Expand(arguments);
        if (!list.isEmpty()) {
            QVERIFY(WriteBytes(tmp + QStringLiteral("/list.txt"), Expand(list)));
            args << QStringLiteral("--files-from") << tmp + QStringLiteral("/list.txt");
        }
        CheckRun(RunTool(args), 2, leftOut, entries);
    }

    // Root reads any file, so this case only exists for other users.
    void unreadableFile() {
        if (::geteuid() == 0)
            QSKIP("root can read a file without read permission");
        const QString locked = m_tmp->path() + QStringLiteral("/locked.mp4");
        QVERIFY(QFile::copy(MediaDir() + QStringLiteral("/sample.mp4"), locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        CheckRun(RunTool({locked, MediaDir() + QStringLiteral("/sample.png")}), 2,
                 {QStringLiteral("@TMP@/locked.mp4: not readable")},
                 {QStringLiteral("sample.png")});
    }

    void filesFrom_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<bool>("standardInput");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addColumn<QStringList>("entries");

        const QStringList two = {"sample.mp4", "multi.mkv"};
        QTest::newRow("file, LF lines")
            << QByteArray("@MEDIA@/sample.mp4\n@MEDIA@/multi.mkv\n") << false << QString() << two;
        QTest::newRow("file, CR LF lines")
            << QByteArray("@MEDIA@/sample.mp4\r\n@MEDIA@/multi.mkv\r\n") << false << QString()
            << two;
        QTest::newRow("standard input, LF lines")
            << QByteArray("@MEDIA@/sample.mp4\n@MEDIA@/multi.mkv\n") << true << QString() << two;
        QTest::newRow("standard input, CR LF lines")
            << QByteArray("@MEDIA@/sample.mp4\r\n@MEDIA@/multi.mkv\r\n") << true << QString()
            << two;
        QTest::newRow("blank lines, no final line break")
            << QByteArray("\n@MEDIA@/sample.mp4\r\n\r\n\n@MEDIA@/multi.mkv") << false << QString()
            << two;
        QTest::newRow("duplicates reported each time")
            << QByteArray("@MEDIA@/sample.png\n@MEDIA@/sample.png\n") << true << QString()
            << QStringList{"sample.png", "sample.png"};
        QTest::newRow("files that a walk would pass over")
            << QByteArray("@MEDIA@/sample.wav\r\n@MEDIA@/notes.txt\r\n@MEDIA@/sample.mp3\r\n")
            << false << QString() << QStringList{"sample.wav", "notes.txt", "sample.mp3"};
        QTest::newRow("names with non-ASCII letters and markup characters")
            << ("@MEDIA@/" + kNonAscii.toUtf8() + "\r\n@MEDIA@/a&b.mp4\r\n@MEDIA@/&#x41;.png\r\n")
            << true << QString() << QStringList{kNonAscii, "a&b.mp4", "&#x41;.png"};
        QTest::newRow("relative to the working folder")
            << QByteArray("sample.ts\r\n./sample.avi\r\n") << true << "@MEDIA@"
            << QStringList{"sample.ts", "sample.avi"};
    }
    void filesFrom() {
        QFETCH(QByteArray, list);
        QFETCH(bool, standardInput);
        QFETCH(QString, workingDirectory);
        QFETCH(QStringList, entries);
        RunSetup setup;
        setup.workingDirectory = Expand(workingDirectory);
        QString listFile = QStringLiteral("-");
        if (standardInput) {
            setup.input = Expand(list);
        } else {
            listFile = m_tmp->path() + QStringLiteral("/list.txt");
            QVERIFY(WriteBytes(listFile, Expand(list)));
        }
        CheckRun(RunTool({QStringLiteral("--files-from"), listFile}, setup), 0, {}, entries);
    }

    void outputFile_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("earlier"); // an earlier report.xml, when not empty
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("leftOut");

        QTest::newRow("-o, new file")
            << QStringList{"-o", "@TMP@/report.xml", "@MEDIA@/sample.mp4"} << QByteArray() << 0
            << QStringList{"sample.mp4"} << QStringList();
        QTest::newRow("--output FILE")
            << QStringList{"--output", "@TMP@/report.xml", "@MEDIA@/multi.mkv", "@MEDIA@/sample.ts"}
            << QByteArray() << 0 << QStringList{"multi.mkv", "sample.ts"} << QStringList();
        QTest::newRow("--output=FILE after the paths")
            << QStringList{"@MEDIA@/a&b.mp4", "--output=@TMP@/report.xml"} << QByteArray() << 0
            << QStringList{"a&b.mp4"} << QStringList();
        QTest::newRow("replaces a longer earlier report")
            << QStringList{"-o", "@TMP@/report.xml", "@MEDIA@/sample.png"}
            << QByteArray(64 * 1024, 'x') << 0 << QStringList{"sample.png"} << QStringList();
        QTest::newRow("some left out")
            << QStringList{"-o", "@TMP@/report.xml", "@TMP@/gone.avi", "@MEDIA@/sample.avi"}
            << QByteArray() << 2 << QStringList{"sample.avi"}
            << QStringList{"@TMP@/gone.avi: missing"};
        QTest::newRow("nothing reportable")
            << QStringList{"-o", "@TMP@/report.xml", "@TMP@/gone.avi"} << QByteArray("earlier") << 2
            << QStringList() << QStringList{"@TMP@/gone.avi: missing"};
    }
    void outputFile() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, earlier);
        QFETCH(int, exitCode);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, leftOut);
        const QString report = m_tmp->path() + QStringLiteral("/report.xml");
        if (!earlier.isEmpty())
            QVERIFY(WriteBytes(report, earlier));
        CheckRun(RunTool(Expand(arguments)), exitCode, leftOut, entries, report);
        // Written through a temporary file: nothing of it may stay behind.
        QCOMPARE(
            QDir(m_tmp->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("report.xml")});
    }

    void unwritableOutput_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing folder") << "@TMP@/missing/report.xml";
        QTest::newRow("missing folders") << "@TMP@/missing/deeper/report.xml";
        QTest::newRow("below a regular file") << "@TMP@/plain.txt/report.xml";
        QTest::newRow("an existing folder") << "@TMP@/folder";
        // Read-only even for root, unlike a folder without write permission.
        QTest::newRow("read-only file system") << "/proc/kqmediareport-test.xml";
    }
    void unwritableOutput() {
        QFETCH(QString, target);
        target = Expand(target);
        QVERIFY(WriteBytes(m_tmp->path() + QStringLiteral("/plain.txt"), "keep"));
        QVERIFY(QDir(m_tmp->path()).mkdir(QStringLiteral("folder")));
        const QStringList before = Snapshot(m_tmp->path());
        const Run run =
            RunTool({QStringLiteral("-o"), target, MediaDir() + QStringLiteral("/sample.mp4")});
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QByteArray());
        const QString message = QString::fromUtf8(run.err);
        QVERIFY2(
            message.startsWith(QStringLiteral("kqmediareport: cannot write %1: ").arg(target)) &&
                message.endsWith(u'\n') && message.count(u'\n') == 1,
            qPrintable(message));
        QCOMPARE(Snapshot(m_tmp->path()), before);
        QCOMPARE(ReadBytes(m_tmp->path() + QStringLiteral("/plain.txt")), QByteArray("keep"));
        if (target.startsWith(QStringLiteral("/proc/")))
            QVERIFY(!QFileInfo::exists(target));
    }

    // A full disk on standard output is a failure, not a silent loss of the report.
    void standardOutputUnwritable() {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        RunSetup setup;
        setup.standardOutputFile = QStringLiteral("/dev/full");
        const Run run = RunTool({MediaDir() + QStringLiteral("/sample.mp4")}, setup);
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("cannot write the report to standard output"),
                 run.err.constData());
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("message"); // a part of what standard error must say

        QTest::newRow("no path") << QStringList() << QByteArray()
                                 << "no media file or directory given";
        QTest::newRow("only an output file") << QStringList{"-o", "@TMP@/report.xml"}
                                             << QByteArray() << "no media file or directory given";
        QTest::newRow("a list of blank lines")
            << QStringList{"--files-from", "-", "-o", "@TMP@/report.xml"} << QByteArray("\r\n\n")
            << "no media file or directory given";
        QTest::newRow("unknown long option")
            << QStringList{"-o", "@TMP@/report.xml", "--bogus", "@MEDIA@/sample.mp4"}
            << QByteArray() << "bogus";
        QTest::newRow("unknown short option")
            << QStringList{"-q", "@MEDIA@/sample.mp4"} << QByteArray() << "'q'";
        QTest::newRow("-o without a file")
            << QStringList{"@MEDIA@/sample.mp4", "-o"} << QByteArray() << "'-o'";
        QTest::newRow("--files-from without a list")
            << QStringList{"@MEDIA@/sample.mp4", "--files-from"} << QByteArray()
            << "'--files-from'";
        QTest::newRow("no workers") << QStringList{"-j", "0", "@MEDIA@/sample.mp4"} << QByteArray()
                                    << "-j wants a number from 1 to 256";
        QTest::newRow("workers not a number")
            << QStringList{"--jobs=two", "@MEDIA@/sample.mp4"} << QByteArray()
            << "-j wants a number from 1 to 256";
        QTest::newRow("no time") << QStringList{"--timeout", "0", "@MEDIA@/sample.mp4"}
                                 << QByteArray() << "--timeout wants seconds";
        QTest::newRow("negative memory")
            << QStringList{"--memory-limit", "-5", "@MEDIA@/sample.mp4"} << QByteArray()
            << "--memory-limit wants a number of MiB";
        QTest::newRow("list that cannot be read")
            << QStringList{"--files-from", "@TMP@/absent.txt", "-o", "@TMP@/report.xml",
                           "@MEDIA@/sample.mp4"}
            << QByteArray() << "cannot read the list @TMP@/absent.txt";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, message);
        RunSetup setup;
        setup.input = input;
        const Run run = RunTool(Expand(arguments), setup);
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith("kqmediareport: ") &&
                     run.err.contains(Expand(message).toUtf8()),
                 run.err.constData());
        QVERIFY(!QFileInfo::exists(m_tmp->path() + QStringLiteral("/report.xml")));
    }

    void helpAndVersion_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("exactOutput"); // checked when not empty
        QTest::addColumn<QByteArrayList>("outputParts");

        const QByteArrayList help = {"Usage:",         "--files-from <list>", "--output <file>",
                                     "--jobs <n>",     "--timeout <seconds>", "--memory-limit <MiB>",
                                     "--version",      "path"};
        QTest::newRow("--help") << QStringList{"--help"} << QByteArray() << help;
        QTest::newRow("-h") << QStringList{"-h"} << QByteArray() << help;
        QTest::newRow("--help before paths")
            << QStringList{"--help", "@TMP@/gone.mp4", "-o", "@TMP@/report.xml"} << QByteArray()
            << help;
        QTest::newRow("--version")
            << QStringList{"--version"} << QByteArray("kqmediareport " KQ_EXPECTED_VERSION "\n")
            << QByteArrayList();
        QTest::newRow("-v") << QStringList{"-v"}
                            << QByteArray("kqmediareport " KQ_EXPECTED_VERSION "\n")
                            << QByteArrayList();
    }
    void helpAndVersion() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, exactOutput);
        QFETCH(QByteArrayList, outputParts);
        const Run run = RunTool(Expand(arguments));
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QVERIFY(!run.out.isEmpty());
        if (!exactOutput.isEmpty())
            QCOMPARE(run.out, exactOutput);
        for (const QByteArray& part : outputParts)
            QVERIFY2(run.out.contains(part), part.constData());
        QVERIFY(!QFileInfo::exists(m_tmp->path() + QStringLiteral("/report.xml")));
    }

    // However many workers analyse the files, the report is the one in input order.
    void workerCountDoesNotChangeTheReport_data() {
        QTest::addColumn<QString>("jobs");
        QTest::newRow("one") << QStringLiteral("1");
        QTest::newRow("two") << QStringLiteral("2");
        QTest::newRow("more than files") << QStringLiteral("40");
    }
    void workerCountDoesNotChangeTheReport() {
        QFETCH(QString, jobs);
        const QStringList names = {"multi.mkv", "sample.mp4", "sample.png", "sample.ts",
                                   "sample.avi", "sample.mp3", "sample.wav", "multi.mkv"};
        QStringList arguments = {QStringLiteral("-j"), jobs};
        for (const QString& name : names)
            arguments.append(MediaDir() + u'/' + name);
        CheckRun(RunTool(arguments), 0, {}, names);
    }

    // A file that hangs the library is left out after the time limit; the others stay.
    void hangingFileIsLeftOut() {
        const QString hang = m_tmp->path() + QStringLiteral("/hang.mkv");
        QFile file(hang);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("KQFAKEMEDIA\n!hang\n");
        file.close();
        RunSetup setup;
        setup.environment = {QStringLiteral("LD_LIBRARY_PATH=" KQ_FAKE_LIBRARY_ROOT "/full")};
        const Run run = RunTool({QStringLiteral("--timeout"), QStringLiteral("1"), hang,
                                 QStringLiteral(KQ_FAKE_DATA_DIR "/two-audio.kqfake")},
                                setup);
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, "kqmediareport: left out " + hang.toUtf8() +
                              ": took longer than the time limit of 1 s\n");
        QCOMPARE(run.out.count("<FileInfo>"), 1);
        QVERIFY(run.out.contains("two-audio.kqfake</CompleteName>"));
    }

    // Damaged files that make the real library loop for ever or take gigabytes: left out with
    // their reason, the rest of the report as it would be without them.
    void hostileRealFilesAreLeftOut_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("limit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("endless loop") << QStringLiteral("endless-loop.mp4")
                                      << QStringList{"--timeout", "2"}
                                      << QStringLiteral("took longer than the time limit of 2 s");
        QTest::newRow("runaway allocation")
            << QStringLiteral("runaway-allocation.mp4") << QStringList{"--memory-limit", "512"}
            << QStringLiteral("needs more memory than the limit of 512 MiB");
    }
    void hostileRealFilesAreLeftOut() {
        QFETCH(QString, file);
        QFETCH(QStringList, limit);
        QFETCH(QString, reason);
#if defined(__SANITIZE_ADDRESS__)
        if (limit.first() == QLatin1String("--memory-limit"))
            QSKIP("checked builds run their workers without the address-space limit");
#endif
        const QString hostile = QStringLiteral(KQ_SOURCE_DIR "/tests/data/hostile/") + file;
        const Run run = RunTool(limit + QStringList{MediaDir() + "/sample.mp4", hostile,
                                                    MediaDir() + "/multi.mkv"});
        CheckRun(run, 2, {hostile + QStringLiteral(": ") + reason}, {"sample.mp4", "multi.mkv"});
    }

    void missingWorkerIsAnError() {
        RunSetup setup;
        setup.environment = {QStringLiteral("KQ_MEDIA_WORKER=/nonexistent/kqmediaworker")};
        const QString report = m_tmp->path() + QStringLiteral("/report.xml");
        const Run run = RunTool({QStringLiteral("-o"), report, MediaDir() + "/sample.mp4"}, setup);
        QVERIFY2(run.finished, "kqmediareport did not finish normally in time");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("kqmediareport: cannot start the analysis worker "
                                    "/nonexistent/kqmediaworker"),
                 run.err.constData());
        QVERIFY(!QFileInfo::exists(report));
    }

    // The library opens a path only when the C library's multibyte conversion can encode it,
    // so the tool must read non-ASCII names under any locale the environment gives.
    void nonAsciiUnderAnyLocale_data() {
        QTest::addColumn<QStringList>("locale");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<QString>("reportFile"); // standard output when empty

        const QString clip = "@MEDIA@/" + kNonAscii;
        const QStringList one = {kNonAscii};
        QTest::newRow("LC_ALL=C") << QStringList{"LC_ALL=C"} << QStringList{clip} << QByteArray()
                                  << 0 << one << QStringList() << QString();
        QTest::newRow("LANG=C") << QStringList{"LANG=C"} << QStringList{clip} << QByteArray() << 0
                                << one << QStringList() << QString();
        QTest::newRow("LC_ALL=POSIX") << QStringList{"LC_ALL=POSIX"} << QStringList{clip}
                                      << QByteArray() << 0 << one << QStringList() << QString();
        QTest::newRow("LC_CTYPE=C over LANG=C.UTF-8")
            << QStringList{"LANG=C.UTF-8", "LC_CTYPE=C"} << QStringList{clip} << QByteArray() << 0
            << one << QStringList() << QString();
        QTest::newRow("LC_ALL=C over LC_CTYPE=C.UTF-8")
            << QStringList{"LC_CTYPE=C.UTF-8", "LC_ALL=C"} << QStringList{clip} << QByteArray() << 0
            << one << QStringList() << QString();
        QTest::newRow("no locale variables") << QStringList() << QStringList{clip} << QByteArray()
                                             << 0 << one << QStringList() << QString();
        QTest::newRow("folder walk, LC_ALL=C")
            << QStringList{"LC_ALL=C"} << QStringList{"@MEDIA@"} << QByteArray() << 0
            << kSampleFolderWalk << QStringList() << QString();
        QTest::newRow("list on standard input, LANG=C")
            << QStringList{"LANG=C"} << QStringList{"--files-from", "-"} << (clip.toUtf8() + "\r\n")
            << 0 << one << QStringList() << QString();
        QTest::newRow("missing non-ASCII path, LC_ALL=C")
            << QStringList{"LC_ALL=C"} << QStringList{"@TMP@/absent-été.mp4", clip} << QByteArray()
            << 2 << one << QStringList{"@TMP@/absent-été.mp4: missing"} << QString();
        QTest::newRow("non-ASCII output file, LC_ALL=C")
            << QStringList{"LC_ALL=C"} << QStringList{"-o", "@TMP@/rapport-été.xml", clip}
            << QByteArray() << 0 << one << QStringList() << "@TMP@/rapport-été.xml";
    }
    void nonAsciiUnderAnyLocale() {
        QFETCH(QStringList, locale);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, leftOut);
        QFETCH(QString, reportFile);
        RunSetup setup;
        setup.locale = locale;
        setup.input = Expand(input);
        CheckRun(RunTool(Expand(arguments), setup), exitCode, leftOut, entries,
                 reportFile.isEmpty() ? QString() : Expand(reportFile));
    }
};

QTEST_GUILESS_MAIN(TestReportTool)
#include "tst_cli.moc"
