// kqmediareport as scripts see it: the real binary and its workers, on the sample media with
// the installed MediaInfo library (expected reports read independently with `mediainfo`) and
// on descriptions with the fake library (expected reports written by hand).

#include "FakeMediaInfoSupport.h"

#include <QtTest>

#include <csignal>
#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kqtest;

namespace {

const QString kMedia = QDir::cleanPath(QStringLiteral(KQ_SOURCE_DIR "/tests/data/media"));
const QString kNonAscii = "clip-été-日本.mp4";
const QString kFakeNonAscii = "vidéo ☃ 😀 & 'co'.kqfake";
const char* const kWalk = "&#x41;.png a&b.mp4 clip-été-日本.mp4 multi.mkv sample.avi sample.mp4 "
                          "sample.png sample.ts"; // the sample folder's media, sorted
const char* const kTree = "sample.png=@TMP@/tree/a/deep/still.Png sample.avi=@TMP@/tree/a/x.AVI "
                          "sample.mp4=@TMP@/tree/b/clip.MP4 sample.ts=@TMP@/tree/c.ts";
const char* const kFake = "LD_LIBRARY_PATH=" KQ_FAKE_LIBRARY_ROOT "/full";
// The columns of the CSV form, as its manual page lists them.
const QByteArray kCsvHeader =
    "file,name,name_url,kind,stream,reason,Format,FormatVersion,FileSize,FileSizeBytes,Duration,"
    "DurationMs,Subtitlecount,Width,Height,FrameRate,BitRate,DisplayAspectRatio,"
    "DisplayAspectRatioValue,Standard,Channels,SamplingRate,Language\r\n";
// The names of fixtures.sh that are not UTF-8, as a report shows them, in the order of their bytes.
const char* const kBytes =
    "sample.mp4=@TMP@/bytes/caf\uFFFD.mp4 sample.ts=@TMP@/bytes/cut\uFFFD\uFFFD.ts "
    "sample.png=@TMP@/bytes/lead.mp4 sample.avi=@TMP@/bytes/over\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.avi "
    "multi.mkv=@TMP@/bytes/stray\uFFFD.mkv sample.png=@TMP@/bytes/valid-é.png "
    "sample.ts=@TMP@/bytes/x\uFFFD\uFEFF.ts sample.mp4=@TMP@/bytes/\uFEFFlead.mp4 "
    "sample.png=@TMP@/bytes/💩.png sample.ts=@TMP@/bytes/\uFFFDz.ts";
// What a library taken over by a crafted file tries (see the fake library), and the reason the
// file is left out for ("blocked: the media library tried to ..." unless it starts "the "), or
// the outcome that the library gets.
// clang-format off
const std::pair<const char*, const char*> kEscapes[] = {
    {"network", "use the network"},                      {"unix-connect @TMP@/bus", "use the network"},
    {"abstract-connect /tmp/.X11-unix/X0", "use the network"},
    {"write @OUT@/escaped", "write a file"},             {"delete @TMP@/victim", "write a file"},
    {"modify-media", "write a file"},                    {"exec", "start a program or process"},
    {"fork", "start a program or process"},              {"thread", "EPERM"},
    {"ptrace-parent", "reach another process"},          {"signal-parent", "reach another process"},
    {"vm-read-parent", "reach another process"},         {"proc-mem-parent", "EACCES"},
    {"proc-cmdline-parent", "EACCES"},                   {"perf", "EPERM"},
    {"userfaultfd", "EPERM"},    {"bpf", "EPERM"},       {"keyctl", "EPERM"},
    {"io-uring", "EPERM"},       {"unshare", "EPERM"},   {"descriptors", "1,2,4"},
    {"i386", "make a system call it may not make"},      {"read @TMP@/home/.ssh/id_ed25519", "EACCES"},
    {"forge", "EBADF"},          {"unusable", "the analysis worker sent a broken reply"},
    {"oversized", "the analysis worker sent a broken reply"},
    {"not-utf8", "the analysis worker sent a broken reply"},
    {"nul", "the analysis worker sent a broken reply"},  {"print", "succeeded"},
    {"prctl", "EPERM"},          {"seccomp", "EPERM"},   {"wait", "EPERM"},
    {"landlock", "EPERM"},       {"sendto", "use the network"}};
// clang-format on
// The tool started as from a careless caller, with a descriptor that its workers must not get;
// ARGS_FROM names a NUL list of further arguments; FSIZE limits the size of files it writes.
const char* const kLaunch = "cd \"${CWD:-.}\" && exec 7</dev/null && "
                            "{ [ -z \"$STDOUT\" ] || exec >\"$STDOUT\"; } && "
                            "{ [ -z \"$FSIZE\" ] || { trap '' XFSZ; ulimit -f \"$FSIZE\"; }; } && "
                            "exec ${ARGS_FROM:+xargs -0 -a \"$ARGS_FROM\"} \"$0\" \"$@\"";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressLimits = false; // checked builds run their workers without that limit
#else
constexpr bool kAddressLimits = true;
#endif
// What this kernel offers: Landlock (reads limited to the analysed file), and system calls of
// the 32-bit kind, without which int $0x80 faults before any filter sees it.
const bool kLandlock =
    ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 1;
const bool kKernelRuns32BitCalls = [] {
    const pid_t child = ::fork();
    if (child == 0) {
        long result = 0;
        asm volatile("int $0x80" : "=a"(result) : "a"(20L)); // getpid
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status);
}();

// A text as the report writes it: each character that the report escapes, then its entity.
QByteArray Xml(const QString& text) {
    QByteArray xml = text.toUtf8();
    for (const char* escape : {"&&amp;", "<&lt;", ">&gt;", "\"&quot;", "'&apos;", "\n&#x0A;"})
        xml.replace(escape[0], escape + 1);
    return xml;
}

QStringList Words(const QString& text, char separator = ' ') {
    return text.split(QLatin1Char(separator), Qt::SkipEmptyParts);
}

QStringList AsNobody(const QStringList& command) {
    return QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
}

} // namespace

class TestReportTool : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp, m_fixtures;

    QString Expand(QString text) const {
        return text.replace("@LIST@", m_tmp.filePath("list.txt"))
            .replace("@OUT@", m_tmp.path())
            .replace("@TMP@", m_fixtures.path())
            .replace("@MEDIA@", kMedia)
            .replace("@FAKE@", KQ_FAKE_DATA_DIR)
            .replace("@HOSTILE@", KQ_SOURCE_DIR "/tests/data/hostile")
            .replace("@NA@", kFakeNonAscii)
            .replace("@NUL@", QChar(0));
    }

    // The FileInfo elements of an entry: "sample" (its expected report), "sample=path" (a copy
    // of it there) or "fake:name" (a report written by hand for the fake library).
    QByteArray Elements(const QString& entry) const {
        const QString name = entry.section(u'=', 0, 0), copy = Expand(entry.section(u'=', 1));
        const QStringList parts = name.split(u':'); // "fake:name" or "escape:kind:outcome"
        QByteArray doc =
            parts.size() > 1
                ? ReadBytes(FakeDataPath("expected/" + parts[parts.size() > 2 ? 0 : 1] + ".xml"))
                      .replace("\n", "\r\n")
                : ReadBytes(kMedia + "/../expected/" + name + ".xml");
        doc.replace("@MEDIA@", Xml(kMedia))
            .replace("@DATA@", Xml(KQ_FAKE_DATA_DIR))
            .replace("@TMP@", Xml(m_fixtures.path()))
            .replace("@KIND@", parts.value(1).toUtf8())
            .replace("@OUTCOME@", parts.value(2).toUtf8());
        if (!doc.startsWith("<AllFileInfo>\r\n"))
            return {};
        doc = doc.mid(15).chopped(16);
        if (!copy.isEmpty()) {
            const qsizetype from = doc.indexOf("<CompleteName>") + 14;
            doc.replace(from, doc.indexOf("</CompleteName>") - from, Xml(copy));
        }
        return doc;
    }

    // The CSV rows or JSON line of an entry at position n: "sample", "sample=path[=url]" or
    // "fake:name" as its XML elements; "!" a file left out (leftOut: "path: reason").
    QByteArray Record(const QString& entry, const QString& form, int n,
                      const QString& leftOut) const {
        const QString name = entry == "!" ? "left-out" : entry.section(u'=', 0, 0),
                      copy = Expand(entry.section(u'=', 1, 1)),
                      path = Expand(leftOut.section(": ", 0, 0));
        QByteArray doc = ReadBytes(name.startsWith("fake:")
                                       ? FakeDataPath("expected/" + name.mid(5) + '.' + form)
                                       : kMedia + "/../expected/" + name + '.' + form);
        if (!copy.isEmpty())
            doc.replace("@MEDIA@/" + name.toUtf8(), copy.toUtf8())
                .replace("@MEDIA_URL@/" + name.toUtf8(),
                         entry.count(u'=') > 1 ? entry.section(u'=', 2)
                                                     .replace("@TMPURL@", Url(m_fixtures.path()))
                                                     .toUtf8()
                                               : Url(copy));
        doc.replace("@N@", QByteArray::number(n))
            .replace("@NAME@", path.toUtf8())
            .replace("@URL@", Url(path))
            .replace("@REASON@", leftOut.section(": ", 1).toUtf8())
            .replace("@MEDIA_URL@", Url(kMedia))
            .replace("@MEDIA@", kMedia.toUtf8())
            .replace("@DATA_URL@", Url(KQ_FAKE_DATA_DIR))
            .replace("@DATA@", KQ_FAKE_DATA_DIR);
        return form == "json" ? doc.chopped(1) : doc;
    }
    static QByteArray Url(const QString& path) {
        return "file://" + QUrl::toPercentEncoding(path, "/");
    }

    // Runs the tool; "CWD=", "STDOUT=" and "AS=nobody" in env say where it runs, where its output
    // goes and as whom. The list goes to @LIST@ when args name it, else to standard input.
    ProgramRun Run(const QString& args, const QString& env, const QByteArray& list) const {
        QStringList arguments = {"-c", kLaunch, KQ_TOOL},
                    environment = {"LANG=", "LANGUAGE=", "LC_ALL=", "LC_CTYPE=", "LC_MESSAGES="};
        for (const QString& arg : Words(args))
            arguments << Expand(arg);
        for (const QString& entry : Words(env))
            environment << Expand(entry);
        const QByteArray input = Expand(QString::fromUtf8(list)).toUtf8();
        const bool listFile = args.contains(u"@LIST@") && WriteBytes(Expand("@LIST@"), input);
        const bool nobody = environment.contains("AS=nobody") && ::geteuid() == 0;
        environment.prepend("XDG_CACHE_HOME=" +
                            m_fixtures.filePath(nobody ? "cache-nobody" : "cache"));
        return RunProgram(nobody ? "setpriv" : "/bin/sh",
                          nobody ? AsNobody(QStringList{"/bin/sh"} + arguments) : arguments,
                          environment, listFile ? QByteArray() : input, 20000);
    }

    void Row(const char* name, const char* args, const char* env, const char* list, int exit,
             const char* entries, const char* leftOut = "") {
        QTest::newRow(name) << QString::fromUtf8(args) << QString::fromUtf8(env) << QByteArray(list)
                            << exit << QString::fromUtf8(entries) << QString::fromUtf8(leftOut);
    }

private slots:
    void initTestCase() {
        QCOMPARE(RunProgram("/bin/sh", {KQ_SOURCE_DIR "/tests/cli/fixtures.sh", m_fixtures.path(),
                                        kMedia, KQ_FAKE_DATA_DIR, kFakeNonAscii, m_tmp.path()})
                     .exitCode,
                 0);
        const QString tmp = m_fixtures.path();
        // Reports to join: two of this program's own (fixtures.sh makes an empty one).
        QVERIFY(WriteBytes(tmp + "/part-a.xml",
                           "<AllFileInfo>\r\n" + Elements("sample.mp4") + "</AllFileInfo>\r\n"));
        QVERIFY(WriteBytes(tmp + "/part-b.xml", "<AllFileInfo>\r\n" + Elements("multi.mkv") +
                                                    Elements("sample.png") + "</AllFileInfo>\r\n"));
        QVERIFY(
            WriteBytes(tmp + "/raw.xml",
                       ReadBytes(tmp + "/part-a.xml").replace("MPEG-4", "\"MPEG-4\"")) &&
            WriteBytes(tmp + "/more.xml", ReadBytes(tmp + "/part-a.xml") + "<AllFileInfo />\r\n"));
        // The same reports in the other forms, and one of a file left out.
        for (const QString form : {"csv", "json"}) {
            const auto report = [&](const QByteArrayList& records) {
                return form == "csv"       ? kCsvHeader + records.join()
                       : records.isEmpty() ? QByteArray("[\n]\n")
                                           : "[\n" + records.join(",\n") + "\n]\n";
            };
            QVERIFY(
                WriteBytes(tmp + "/part-a." + form, report({Record("sample.mp4", form, 1, "")})));
            QVERIFY(WriteBytes(
                tmp + "/part-b." + form,
                report({Record("multi.mkv", form, 1, ""), Record("sample.png", form, 2, "")})));
            QVERIFY(WriteBytes(tmp + "/empty." + form, report({})));
            QVERIFY(WriteBytes(tmp + "/left-out." + form,
                               report({Record("!", form, 1, "@TMP@/gone.mp4: missing")})));
        }
        // Values that the report's writer never writes, and a last line without its break.
        for (const auto& [name, value] : {std::pair{"amp", "a & b"},
                                          {"entity", "&nbsp;"},
                                          {"latin1", "caf\xe9"},
                                          {"control", "a\tb"},
                                          {"zero", "&#x00;"}})
            QVERIFY(WriteBytes(tmp + "/" + name + ".xml",
                               ReadBytes(tmp + "/part-a.xml").replace("MPEG-4", value)));
        QVERIFY(WriteBytes(tmp + "/cut.xml", ReadBytes(tmp + "/part-a.xml").chopped(18)));
        for (const auto& [escape, outcome] : kEscapes)
            QVERIFY(WriteDescription(Expand("@TMP@/escape-%1.kqfake").arg(Words(escape)[0]),
                                     {"!escape " + Expand(escape)}));
    }
    void init() {
        for (const QString& name : QDir(m_tmp.path()).entryList(QDir::Files))
            QFile::remove(m_tmp.filePath(name));
        QVERIFY(WriteBytes(m_tmp.filePath("report.xml"), QByteArray(64 * 1024, 'x')));
    }

    void reports_data() {
        for (const char* column : {"args", "env"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<QByteArray>("list"); // written to @LIST@, or else to standard input
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("leftOut"); // "path: reason" entries, separated by '|'
        for (const QString& name : QDir(kMedia).entryList(QDir::Files)) { // any named file is taken
            const QByteArray path = "@MEDIA@/" + name.toUtf8();
            Row(name.toUtf8(), path, "", "", 0, name.toUtf8());
        }
        // clang-format off
        Row("argument order", "@MEDIA@/sample.ts @MEDIA@/sample.mp4 @MEDIA@/multi.mkv", "", "", 0, "sample.ts sample.mp4 multi.mkv");
        Row("duplicates", "@MEDIA@/sample.mp4 @MEDIA@/sample.png @MEDIA@/sample.mp4", "", "", 0, "sample.mp4 sample.png sample.mp4");
        Row("relative paths", "sample.mp4 ./sample.avi ../media/sample.png nowhere/../multi.mkv a&b.mp4", "CWD=@MEDIA@", "", 0, "sample.mp4 sample.avi sample.png multi.mkv a&b.mp4");
        Row("redundant separators", "@MEDIA@//sample.ts @MEDIA@/./&#x41;.png", "", "", 0, "sample.ts &#x41;.png");
        Row("sample folder", "@MEDIA@", "", "", 0, kWalk);
        Row("folder with a slash", "@MEDIA@/", "", "", 0, kWalk);
        Row("tree: any case, links not followed", "@TMP@/tree", "", "", 0, kTree);
        Row("files beside a folder", "@TMP@/tree/a/song.mp3 @TMP@/tree/b @TMP@/tree/noext", "", "", 0, "sample.mp3=@TMP@/tree/a/song.mp3 sample.mp4=@TMP@/tree/b/clip.MP4 sample.mp4=@TMP@/tree/noext");
        Row("folders in argument order", "@TMP@/tree/b @TMP@/tree/a/deep", "", "", 0, "sample.mp4=@TMP@/tree/b/clip.MP4 sample.png=@TMP@/tree/a/deep/still.Png");
        Row("relative folder", "./tree/b/", "CWD=@TMP@", "", 0, "sample.mp4=@TMP@/tree/b/clip.MP4");
        Row("folder without media", "@TMP@/tree/empty", "", "", 0, "");
        Row("missing", "@TMP@/sub/../gone.mp4", "", "", 2, "", "@TMP@/gone.mp4: missing");
        Row("left out in input order", "@MEDIA@/sample.mp4 @TMP@/pipe.mp4 @TMP@/dangling.mp4 /dev/zero @MEDIA@/sample.png", "", "", 2, "sample.mp4 sample.png", "@TMP@/pipe.mp4: not a regular file|@TMP@/dangling.mp4: missing (broken link)|/dev/zero: not a regular file");
        Row("unreadable", "@TMP@/locked.mp4 @MEDIA@/sample.png", "AS=nobody", "", 2, "sample.png", "@TMP@/locked.mp4: not readable");
        Row("list: LF, a folder left out", "--files-from @LIST@", "", "@MEDIA@/sample.png\n@TMP@/folder\n@MEDIA@/sample.avi\n", 2, "sample.png sample.avi", "@TMP@/folder: not a regular file");
        Row("list: CR LF and blank lines", "--files-from @LIST@", "", "\n@MEDIA@/sample.mp4\r\n\r\n\n@MEDIA@/multi.mkv", 0, "sample.mp4 multi.mkv");
        Row("list on standard input", "--files-from -", "", "@MEDIA@/sample.wav\r\n@MEDIA@/notes.txt\r\n@MEDIA@/a&b.mp4\r\n", 0, "sample.wav notes.txt a&b.mp4");
        Row("list through a pipe given by name", "@MEDIA@/sample.png --files-from /dev/stdin", "", "@MEDIA@/sample.mp4\n", 0, "sample.png sample.mp4");
        Row("list relative to the working folder", "--files-from -", "CWD=@MEDIA@", "sample.ts\n./sample.avi\n", 0, "sample.ts sample.avi");
        QByteArray many, entries, leftOut;
        for (int i = 0; i < 50; ++i) { // every element as a build in memory would have it
            many += "@MEDIA@/multi.mkv\n@MEDIA@/sample.mp4\n@TMP@/gone.mp4\n@MEDIA@/"
                    "a&b.mp4\n@MEDIA@/clip-été-日本.mp4\n@MEDIA@/sample.png\n";
            entries += "multi.mkv sample.mp4 a&b.mp4 clip-été-日本.mp4 sample.png ";
            leftOut += "@TMP@/gone.mp4: missing|";
        }
        Row("300 files, streamed", "--files-from -", "", many, 2, entries, leftOut);
        Row("-0: names with line breaks", "-0 --files-from -", kFake, "@TMP@/line\nbreak.kqfake@NUL@@FAKE@/two-audio.kqfake@NUL@", 0, "fake:two-audio=@TMP@/line\nbreak.kqfake fake:two-audio");
        for (const char* form : {"csv", "json"}) {
            // The same whatever the number of workers.
            const QByteArray as = QByteArray("--format ") + form + (*form == 'j' ? " -j 1 " : " ");
            Row(form + QByteArray(": sample folder"), as + "@MEDIA@", "", "", 0, kWalk);
            Row(form + QByteArray(": values to quote, a file left out"), as + "@FAKE@/escapes.kqfake @TMP@/gone.mp4 @FAKE@/two-audio.kqfake", kFake, "", 2, "fake:escapes ! fake:two-audio", "@TMP@/gone.mp4: missing");
            Row(form + QByteArray(": a name not UTF-8"), as + "-0 --files-from @TMP@/caf.list", "", "", 0, "sample.mp4=@TMP@/bytes/caf\uFFFD.mp4=@TMPURL@/bytes/caf%E9.mp4");
            Row(form + QByteArray(": no file"), as + "-o @OUT@/report.xml @TMP@/tree/empty", "", "", 0, "");
            Row(form + QByteArray(": merged in order"), as + "--merge @TMP@/part-b." + form + " @TMP@/empty." + form + " @TMP@/part-a." + form, "", "", 0, "multi.mkv sample.png sample.mp4");
            Row(form + QByteArray(": a file left out, merged"), as + "--merge @TMP@/left-out." + form + " @TMP@/part-a." + form, "", "", 0, "! sample.mp4", "@TMP@/gone.mp4: missing");
        }
        Row("merge in order", "--merge @TMP@/part-b.xml @TMP@/empty.xml @TMP@/part-a.xml", "", "", 0, "multi.mkv sample.png sample.mp4");
        Row("merge empty reports", "--merge @TMP@/empty.xml -o @OUT@/report.xml @TMP@/empty.xml", "", "", 0, "");
        Row("-o, some left out", "-o @OUT@/report.xml @TMP@/gone.avi @MEDIA@/sample.avi", "", "", 2, "sample.avi", "@TMP@/gone.avi: missing");
        Row("--output= after the paths", "@MEDIA@/a&b.mp4 --output=@OUT@/report.xml", "", "", 0, "a&b.mp4");
        Row("-o, nothing reportable", "-o @OUT@/report.xml @TMP@/gone.avi", "", "", 2, "", "@TMP@/gone.avi: missing");
        for (const char* locale :
             {"LC_ALL=C", "LANG=C", "LC_ALL=POSIX", "LANG=C.UTF-8 LC_CTYPE=C",
              "LC_CTYPE=C.UTF-8 LC_ALL=C", "", "LANG=en_US.UTF-8", "LC_ALL=de_DE.UTF-8",
              "LANG=C.UTF-8 LC_TIME=en_GB.UTF-8", "LANG=C LC_CTYPE=ja_JP.eucJP"})
            Row(locale, "@MEDIA@/clip-été-日本.mp4", locale, "", 0, "clip-été-日本.mp4");
        Row("LC_ALL=C, folder", "@MEDIA@", "LC_ALL=C", "", 0, kWalk);
        Row("names not UTF-8: a folder", "@TMP@/bytes", "", "", 0, kBytes);
        Row("names not UTF-8: arguments", "", "ARGS_FROM=@TMP@/bytes.list", "", 0, kBytes);
        Row("names not UTF-8: -0 list", "-0 --files-from @TMP@/bytes.list", "LC_ALL=C", "", 0, kBytes);
        Row("names not UTF-8: list", "--files-from @TMP@/bytes.lines", "", "", 2, kBytes, "@TMP@/bytes/gone\uFFFD.mp4: missing");
        Row("LANG=C, list", "--files-from -", "LANG=C", "@MEDIA@/clip-été-日本.mp4\n", 0, "clip-été-日本.mp4");
        Row("LC_ALL=C, non-ASCII missing and output", "-o @OUT@/été.xml @TMP@/été.mp4 @MEDIA@/clip-été-日本.mp4", "LC_ALL=C", "", 2, "clip-été-日本.mp4", "@TMP@/été.mp4: missing");
        for (const char* jobs : {"-j 1", "-j 2", "--jobs=40"})
            Row(jobs, QByteArray(jobs) + " @MEDIA@/multi.mkv @MEDIA@/sample.mp4 @MEDIA@/sample.png @MEDIA@/sample.ts @MEDIA@/sample.avi @MEDIA@/sample.mp3 @MEDIA@/sample.wav @MEDIA@/multi.mkv",
                "", "", 0, "multi.mkv sample.mp4 sample.png sample.ts sample.avi sample.mp3 sample.wav multi.mkv");
        Row("fake: two files, two left out", "@FAKE@/two-video-one-audio.kqfake @FAKE@/absent.kqfake @FAKE@/not-media.txt @FAKE@/two-audio.kqfake", kFake, "", 2, "fake:two-files", "@FAKE@/absent.kqfake: missing|@FAKE@/not-media.txt: not opened by the library");
        Row("fake: non-ASCII path and values, twice", "@TMP@/@NA@ @TMP@/@NA@", kFake, "", 0, "fake:non-ascii fake:non-ascii");
        Row("fake: escapes", "@FAKE@/escapes.kqfake", kFake, "", 0, "fake:escapes");
        Row("crash", "@TMP@/crash.kqfake @FAKE@/two-audio.kqfake", kFake, "", 2, "fake:two-audio", "@TMP@/crash.kqfake: the media library crashed (SIGABRT)");
        if (kAddressLimits) {
            Row("allocate", "--memory-limit 256 @TMP@/allocate.kqfake @FAKE@/two-audio.kqfake", kFake, "", 2, "fake:two-audio", "@TMP@/allocate.kqfake: needs more memory than the limit of 256 MiB");
            Row("allocate, a limit not in whole GiB", "--memory-limit 1536 @TMP@/allocate.kqfake", kFake, "", 2, "", "@TMP@/allocate.kqfake: needs more memory than the limit of 1536 MiB");
            Row("allocate, default limit", "@TMP@/allocate.kqfake", kFake, "", 2, "", "@TMP@/allocate.kqfake: needs more memory than the limit of 2 GiB");
            Row("real runaway allocation", "--memory-limit 512 @MEDIA@/sample.mp4 @HOSTILE@/runaway-allocation.mp4", "", "", 2, "sample.mp4", "@HOSTILE@/runaway-allocation.mp4: needs more memory than the limit of 512 MiB");
        }
        // The files before and after it, in the same worker, keep their own reports.
        for (auto [escape, outcome] : kEscapes) {
            const QByteArray kind = Words(escape)[0].toUtf8(),
                             file = "@TMP@/escape-" + kind + ".kqfake";
            if (kind == "i386" && !kKernelRuns32BitCalls) // int $0x80 is a plain fault there
                outcome = "the media library crashed (SIGSEGV)";
            const bool blocked = QByteArray(outcome).contains(' ');
            const QByteArray reason = QByteArray(outcome).startsWith("the ")
                                          ? QByteArray(outcome)
                                          : "blocked: the media library tried to " + QByteArray(outcome);
            // What it prints comes through its worker, marked as that file's, never as ours.
            const QByteArray printed = "kqmediaworker: analysis of " + file + ": ";
            // Run again over the cache, what the first run kept stands for that file alone (it
            // is not analysed again, so prints nothing).
            for (const char* user : {"", "AS=nobody", "again"})
                Row("escape: " + kind + (*user ? user == QByteArray("again") ? " (again)" : " (as nobody)" : ""),
                    "-j 1 @FAKE@/two-audio.kqfake " + file +
                        " @FAKE@/two-video-one-audio.kqfake @FAKE@/two-audio.kqfake",
                    QByteArray(kFake) + " " + (user == QByteArray("again") ? "" : user), "", 2 - !blocked * 2,
                    "fake:two-audio " +
                        (blocked ? QByteArray() : "escape:" + kind + ':' + outcome + ' ') +
                        "fake:two-files",
                    blocked ? file + ": " + reason
                    : kind == "print" && user != QByteArray("again")
                        ? printed + "kqmediareport: left out /x: forged\uFFFD\uFFFD[K[1/1] x|" +
                              printed + "plain"
                        : "");
        }
        Row("real endless loop", "--timeout 1 @HOSTILE@/endless-loop.mp4 @MEDIA@/multi.mkv", "", "", 2, "multi.mkv", "@HOSTILE@/endless-loop.mp4: took longer than the time limit of 1 s");
        // clang-format on
    }
    void reports() {
        QFETCH(QString, args);
        QFETCH(QString, env);
        QFETCH(QByteArray, list);
        QFETCH(int, exit);
        QFETCH(QString, entries);
        QFETCH(QString, leftOut);
        if (leftOut.isEmpty() && entries.contains(u":EACCES") && !kLandlock)
            QSKIP("this kernel has no Landlock: reads are not limited");
        // Root runs these as nobody too, when nobody can reach the programs under test.
        if (env.contains(u"AS=nobody") && ::geteuid() == 0 &&
            RunProgram("setpriv",
                       AsNobody({"test", "-x", KQ_TOOL, "-a", "-r", FakeLibraryPath("full")}))
                    .exitCode != 0)
            QSKIP("the build is out of an ordinary user's reach");
        const ProgramRun run = Run(args, env, list);
        const QString form =
            args.contains("--format ") ? args.section("--format ", 1, 1).section(' ', 0, 0) : "xml";
        QByteArray expected, err;
        QByteArrayList records;
        int leftOutSeen = 0;
        for (const QString& entry : Words(entries)) {
            if (form == "xml")
                expected += Elements(entry);
            else
                records << Record(entry, form, records.size() + 1,
                                  entry == "!" ? Words(leftOut, '|').value(leftOutSeen++) : "");
        }
        if (form == "csv")
            expected = kCsvHeader + records.join();
        else if (form == "json")
            expected = records.isEmpty() ? "[\n]\n" : "[\n" + records.join(",\n") + "\n]\n";
        else
            expected = expected.isEmpty() && entries.isEmpty()
                           ? "<AllFileInfo />\r\n"
                           : "<AllFileInfo>\r\n" + expected + "</AllFileInfo>\r\n";
        for (const QString& line : Words(leftOut, '|'))
            if (!args.contains("--merge")) // a merged file left out is told only in the report
                err += (line.startsWith("kqmediaworker: ") ? "" : "kqmediareport: left out ") +
                       Expand(line).toUtf8() + '\n';
        QVERIFY(run.finished);
        QCOMPARE(QString::fromUtf8(run.err), QString::fromUtf8(err));
        QCOMPARE(run.exitCode, exit);
        const QStringList output = Words(args).filter(QRegularExpression("^@OUT@/|^--output="));
        QCOMPARE(run.out, output.isEmpty() ? expected : QByteArray());
        if (output.isEmpty())
            return;
        QCOMPARE(ReadBytes(Expand(output[0].section(u'=', -1))), expected);
        // Written through a temporary file, of which nothing stays behind.
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 1 + output[0].endsWith(u"été.xml"));
    }
    void cleanup() {
        // Whatever a hostile file tried left nothing behind.
        QVERIFY(!QFile::exists(m_tmp.filePath("escaped")));
        QCOMPARE(ReadBytes(m_fixtures.filePath("victim")), QByteArray("keep"));
        QCOMPARE(RunProgram("pgrep", {"-x", "kqescaped"}).exitCode, 1);
    }

    // Exactly what the report asks of the library (expected/calls.txt, from the tables of the
    // report's values): each file's values in leaf order, the stream numbers of its counts,
    // Close after an opened file only, the option once per worker.
    void libraryIsAskedForEachValue() {
        const ProgramRun run = Run("--no-cache -j 1 @FAKE@/two-video-one-audio.kqfake "
                                   "@FAKE@/not-media.txt @FAKE@/two-audio.kqfake",
                                   QString::fromUtf8(kFake) + " KQ_FAKE_MEDIAINFO_LOG=stderr", {});
        QCOMPARE(run.exitCode, 2);
        // What the file's processes print comes through their worker, marked with the file.
        const QRegularExpression others(
            QStringLiteral("^(?!(kqmediaworker: analysis of %1/[^:]*: )?kqfake: ).*\n|^.*kqfake: ")
                .arg(QRegularExpression::escape(KQ_FAKE_DATA_DIR)),
            QRegularExpression::MultilineOption);
        QCOMPARE(QString::fromUtf8(run.err).remove(others),
                 QString::fromUtf8(ReadBytes(FakeDataPath("expected/calls.txt")))
                     .replace("@DATA@", KQ_FAKE_DATA_DIR));
        // A run starts no more workers than it has files: one file, one library loaded.
        const ProgramRun one = Run("--no-cache -j 4 @FAKE@/two-audio.kqfake",
                                   QString::fromUtf8(kFake) + " KQ_FAKE_MEDIAINFO_LOG=stderr", {});
        QCOMPARE(one.err.count("kqfake: Loaded"), 1);
    }

    // Two runs over one cache (@C@), the files older than any clock's tick before the first:
    // whether the second analyses the file (@F@) again (the fake library logs each open),
    // what it says of its cache, and that its report equals one made without the cache.
    // change runs between the two; env is the second run's.
    void cacheRuns_data() {
        for (const char* column : {"file", "change", "env", "notice"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<bool>("again");
        int n = 0;
        const auto row = [&](const char* name, const char* file, const char* change,
                             const char* env, bool again, const char* notice = "") {
            const QString copy = m_fixtures.filePath(QStringLiteral("cached-%1.kqfake").arg(++n));
            QVERIFY(QFile::copy(Expand(file), copy));
            QTest::newRow(name) << copy << QString::fromUtf8(change) << QString::fromUtf8(env)
                                << QString::fromUtf8(notice) << again;
        };
        // clang-format off
        row("unchanged", "@FAKE@/two-audio.kqfake", "", "", false);
        row("touched", "@FAKE@/two-audio.kqfake", "touch @F@", "", true);
        row("rewritten in place, same size and time", "@FAKE@/two-audio.kqfake", "m=$(stat -c %y @F@); sed s/MPEG/MPEX/ @F@ >@F@.n; cat @F@.n >@F@; touch -m -d \"$m\" @F@", "", true);
        row("replaced by rename", "@FAKE@/two-audio.kqfake", "cp -p @F@ @F@.n && mv @F@.n @F@", "", true);
        row("another library version", "@FAKE@/two-audio.kqfake", "", "KQ_FAKE_MEDIAINFO_VERSION=9", true);
        row("left out: analysed again", "@TMP@/crash.kqfake", "", "", true);
        row("not a database", "@FAKE@/two-audio.kqfake", "echo garbage >@C@", "", true, "the cache @C@ could not be read (file is not a database): it was moved aside to @C@.broken and a new one started");
        row("a symbolic link", "@FAKE@/two-audio.kqfake", "mv @C@ @C@.real && ln -s @C@.real @C@", "", true, "the cache @C@ is not used: it is a symbolic link");
        row("readable by others", "@FAKE@/two-audio.kqfake", "chmod 644 @C@", "", true, "the cache @C@ is not used: other users can read or write it");
        row("locked by another program", "@FAKE@/two-audio.kqfake", "{ sqlite3 @C@ 'BEGIN IMMEDIATE; UPDATE outcomes SET seen = seen;' '.shell sleep 12' & } >/dev/null 2>&1; sleep 0.5; touch @F@", "", true, "the cache @C@ is no longer used: other programs kept it locked for more than 5 s");
        row("three runs at once", "@FAKE@/two-audio.kqfake", "for i in 1 2 3; do @TOOL@ --cache @C@ @MEDIA@ @FAKE@ @F@ >/dev/null 2>&1 & done; wait", "", false);
        row("a run killed", "@FAKE@/two-audio.kqfake", "@TOOL@ --cache @C@ @MEDIA@ @MEDIA@ @F@ >/dev/null 2>&1 & sleep 0.3; kill -9 $!; wait", "", false);
        // clang-format on
        QTest::qSleep(1100); // a tick of the coarsest clock that the cache allows for
    }
    void cacheRuns() {
        QFETCH(QString, file);
        QFETCH(QString, change);
        QFETCH(QString, env);
        QFETCH(QString, notice);
        QFETCH(bool, again);
        const QString cache = m_fixtures.filePath(QFileInfo(file).baseName() + ".sqlite");
        const auto expand = [&](QString text) {
            return Expand(
                text.replace("@F@", file).replace("@C@", cache).replace("@TOOL@", KQ_TOOL));
        };
        const QString args = "--cache " + cache + " -j 1 " + file;
        const QString log = QString::fromUtf8(kFake) + " KQ_FAKE_MEDIAINFO_LOG=stderr ";
        const QByteArray opened = "kqfake: Open " + file.toUtf8();
        QCOMPARE(Run(args, log, {}).err.count(opened), 1);
        QCOMPARE(RunProgram("/bin/sh", {"-c", expand(change)}, {kFake}).exitCode, 0);
        const ProgramRun second = Run(args, log + env, {});
        QCOMPARE(second.err.count(opened), int(again));
        QStringList said = QString::fromUtf8(second.err)
                               .split('\n')
                               .filter(QRegularExpression("^kqmediareport: (?!left out)"));
        QCOMPARE(said, notice.isEmpty() ? QStringList()
                                        : QStringList("kqmediareport: " + expand(notice)));
        QCOMPARE(second.out,
                 Run("--no-cache " + args, QString::fromUtf8(kFake) + ' ' + env, {}).out);
    }

    // Runs that write no report: usage errors and failures (status 1; standard error says why,
    // all of it when the text ends in a line break, else these parts, '|' apart), and help,
    // version and the confinement's layers (status 0; the parts are on standard output).
    void otherRuns_data() {
        for (const char* column : {"args", "env", "text"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exit");
        const auto row = [](const char* name, const char* args, const char* text,
                            const char* env = "", const char* input = "", int exit = 1) {
            QTest::newRow(name) << QString::fromUtf8(args) << QString::fromUtf8(env)
                                << QString::fromUtf8(text) << QByteArray(input) << exit;
        };
        // clang-format off
        row("no path", "", "kqmediareport: no media file or directory given\nTry 'kqmediareport --help'.\n");
        row("only an output file", "-o @OUT@/r.xml", "no media file or directory given");
        row("a list of blank lines", "--files-from - -o @OUT@/r.xml", "no media file or directory given", "", "\r\n\n");
        row("unknown option", "-o @OUT@/r.xml --bogus @MEDIA@/sample.mp4", "bogus");
        row("-o without a file", "@MEDIA@/sample.mp4 -o", "'-o'");
        row("no workers", "-j 0 @MEDIA@/sample.mp4", "kqmediareport: -j wants a number from 1 to 256\n");
        row("too many workers", "-j 257 @MEDIA@/sample.mp4", "-j wants a number from 1 to 256");
        row("no time", "--timeout 0 @MEDIA@/sample.mp4", "kqmediareport: --timeout wants seconds from 1 to 86400\n");
        row("negative memory", "--memory-limit -5 @MEDIA@/sample.mp4", "kqmediareport: --memory-limit wants a number of MiB\n");
        row("unreadable list", "--files-from @OUT@/absent.txt @MEDIA@/sample.mp4", "kqmediareport: cannot read the list @OUT@/absent.txt: ");
        row("a list that cannot be read to its end", "--files-from /proc/self/mem -o @OUT@/r.xml @MEDIA@/sample.mp4", "kqmediareport: cannot read the list /proc/self/mem: ");
        row("library missing", "-o @OUT@/r.xml @MEDIA@/sample.mp4 @MEDIA@/sample.png", "kqmediareport: Unable to load libmediainfo.so.0\n", "LD_LIBRARY_PATH=@TMP@/broken");
        row("library missing, CSV: not a row written", "--format csv @MEDIA@/sample.mp4 @MEDIA@/sample.png", "kqmediareport: Unable to load libmediainfo.so.0\n", "LD_LIBRARY_PATH=@TMP@/broken");
        for (const char* entry : {"Close", "New", "Delete", "Open", "Get", "Option"}) // each one called
            row(("library without MediaInfo_" + QByteArray(entry)).constData(), "-j 1 @FAKE@/two-audio.kqfake @FAKE@/two-video-one-audio.kqfake @FAKE@/escapes.kqfake",
                ("kqmediareport: libmediainfo.so.0 has no MediaInfo_" + QByteArray(entry) + "\n").constData(),
                ("LD_LIBRARY_PATH=" KQ_FAKE_LIBRARY_ROOT "/no-" + QByteArray(entry).toLower()).constData());
        row("merge: not a report", "--merge @TMP@/part-a.xml @FAKE@/two-audio.kqfake -o @OUT@/r.xml", "kqmediareport: @FAKE@/two-audio.kqfake: not a report: line 1 is not what a report of this program has there\n");
        row("merge: LF line breaks", "--merge @FAKE@/expected/two-audio.xml", "not a report: line 1 is");
        row("merge: a value not escaped", "--merge @TMP@/raw.xml", "not a report: line 5 is");
        row("merge: more after the report", "--merge @TMP@/more.xml", "not a report: line 30 is");
        row("merge: a bare ampersand", "--merge @TMP@/part-a.xml @TMP@/amp.xml", "kqmediareport: @TMP@/amp.xml: not a report: line 5 is");
        row("merge: an entity not written", "--merge @TMP@/entity.xml", "not a report: line 5 is");
        row("merge: a byte not UTF-8", "--merge @TMP@/latin1.xml", "not a report: line 5 is");
        row("merge: a control character", "--merge @TMP@/control.xml", "not a report: line 5 is");
        row("merge: U+0000", "--merge @TMP@/zero.xml", "not a report: line 5 is");
        row("merge: an empty part", "--merge @TMP@/part-a.xml /dev/null", "kqmediareport: /dev/null: not a report: line 1 is not what a report of this program has there\n");
        row("merge: a last line cut after a stream", "--merge @TMP@/cut.xml", "not a report: line 28 is");
        row("merge: cut short", "--merge @OUT@/report.xml", "not a report: line 1 is");
        row("merge: missing part", "--merge @TMP@/part-a.xml @OUT@/absent.xml", "kqmediareport: @OUT@/absent.xml: ");
        row("missing worker", "-o @OUT@/r.xml @MEDIA@/sample.mp4", "kqmediareport: cannot start the analysis worker /nonexistent/kqmediaworker", "KQ_MEDIA_WORKER=/nonexistent/kqmediaworker");
        for (const char* target :
             {"@OUT@/missing/r.xml", "@OUT@/report.xml/r.xml", "@OUT@", "/proc/kqmediareport.xml"})
            row(target, QByteArray("-o ") + target + " @MEDIA@/sample.mp4",
                QByteArray("kqmediareport: cannot write ") + target + ": ");
        // A cache on a full disk is said once and not used; the report's fate is its own.
        row("a file-size limit at the last write", "--cache @TMP@/full.sqlite -o @OUT@/report.xml @MEDIA@/sample.mp4", "kqmediareport: the cache @TMP@/full.sqlite cannot be used: disk I/O error\nkqmediareport: cannot write @OUT@/report.xml: File too large\n", "FSIZE=1");
        row("a full disk on standard output", "@MEDIA@/sample.mp4", "kqmediareport: cannot write the report to standard output\n", "STDOUT=/dev/full");
        const char* help = "Usage:|--files-from <list>|--null|--output <file>|--jobs <n>|--timeout "
                           "<seconds>|--memory-limit <MiB>|--no-cache|--cache <file>|--merge|--sandbox|--version|path";
        row("--help", "--help", help, "", "", 0);
        row("-h before paths", "-h @OUT@/gone.mp4 -o @OUT@/r.xml", help, "", "", 0);
        row("--version", "--version", "kqmediareport " KQ_EXPECTED_VERSION "\n", "", "", 0);
        row("-v", "-v", "kqmediareport " KQ_EXPECTED_VERSION "\n", "", "", 0);
        // Every layer holds on the machines this is tested on, but the memory limit in checked
        // builds and what needs Landlock where the kernel has none.
        const QByteArray landlock = kLandlock ? "active (" : "missing (";
        row("--sandbox", "--sandbox",
            "system call filter: active (|read-only file system: " + landlock + "|network namespace: "
            "active (|descriptors closed: active (|resource limits: " + (kAddressLimits ? "active (" : "missing (") +
            "|reads limited to the analysed file: " + landlock,
            "", "", kAddressLimits && kLandlock ? 0 : 3);
        // clang-format on
    }
    void otherRuns() {
        QFETCH(QString, args);
        QFETCH(QString, env);
        QFETCH(QString, text);
        QFETCH(QByteArray, input);
        QFETCH(int, exit);
        const ProgramRun run = Run(args, env, input);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, exit);
        const bool failed = exit == 1;
        QCOMPARE(failed ? run.out : run.err, QByteArray());
        const QString shown = QString::fromUtf8(failed ? run.err : run.out);
        if (text.endsWith(u'\n'))
            QCOMPARE(shown, Expand(text));
        for (const QString& part : Words(text, '|'))
            QVERIFY2(
                shown.contains(Expand(part)) &&
                    (!failed || (shown.startsWith("kqmediareport: ") && shown.count('\n') <= 2)),
                qPrintable(shown));
        QCOMPARE(
            QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"report.xml"});
        QCOMPARE(QFileInfo(m_tmp.filePath("report.xml")).size(), 64 * 1024);
    }

    // The report is written as it is made: on standard output the first file shows while a
    // later one is still analysed; an interrupted run (Ctrl-C, killed) leaves an earlier -o
    // file whole.
    void runInProgress() {
        for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
            QProcess tool;
            tool.setEnvironment(QProcess::systemEnvironment() << kFake);
            const QStringList output =
                signal == SIGTERM ? QStringList() : QStringList{"-o", m_tmp.filePath("report.xml")};
            tool.start(KQ_TOOL, output + QStringList{"-j", "1", FakeDataPath("two-audio.kqfake"),
                                                     m_fixtures.filePath("hang.kqfake")});
            QByteArray out;
            if (signal == SIGTERM)
                QTRY_VERIFY_WITH_TIMEOUT(
                    (out += tool.readAllStandardOutput()).contains("</FileInfo>") &&
                        tool.state() == QProcess::Running,
                    5000);
            else
                QTest::qWait(300); // the first file is done, the second hangs
            // Its worker and the process parsing the hanging file end with it, however it ends.
            const auto family = [&tool] { // the tool, its worker, the worker's file process
                QStringList ids{QString::number(tool.processId())};
                for (int generation = 0; generation < 2; ++generation)
                    ids += Words(RunProgram("pgrep", {"-P", ids.last()}).out, '\n');
                return ids;
            };
            QStringList processes;
            QTRY_COMPARE_WITH_TIMEOUT((processes = family()).size(), 3, 3000);
            ::kill(tool.processId(), signal);
            QVERIFY(tool.waitForFinished(5000));
            for (const QString& process : processes.mid(1))
                QTRY_VERIFY_WITH_TIMEOUT(::kill(process.toInt(), 0) != 0, 5000);
            QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"report.xml"});
            QCOMPARE(ReadBytes(m_tmp.filePath("report.xml")), QByteArray(64 * 1024, 'x'));
        }
    }

    // Shards of a list, analysed apart and joined, give the report of the whole list.
    void shardsMergedEqualOneRun() {
        const ProgramRun run = RunProgram(
            "/bin/sh", {KQ_SOURCE_DIR "/tests/cli/shards.sh", KQ_TOOL, m_tmp.path(), kMedia});
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestReportTool)
#include "tst_cli.moc"
