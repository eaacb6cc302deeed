// The report's building blocks in this process: reading stream counts, writing into a pipe,
// the worker protocol, a run's progress and cancelling, its workers, and finding a program.
// Whole reports are checked through kqmediareport (tests/cli).

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"
#include "platform/ChildProgram.h"
#include "platform/ConfinementPolicy.h"
#include "report/AnalysisPool.h"
#include "report/AnalysisProtocol.h"
#include "report/AtomicFile.h"
#include "report/OutcomeCache.h"
#include "report/PathCheck.h"
#include "report/ReportPipeline.h"
#include "report/ReportValues.h"

#include <QtTest>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kq;

using namespace kqtest;

namespace {
// Every analysis of a run over paths, in the order handed on.
QList<FileAnalysis> Analyse(const QStringList& paths, const AnalysisOptions& options,
                            AnalysisRun* run, const AnalysisProgressCallback& progress = {}) {
    PathListSource source(paths);
    QList<FileAnalysis> files;
    *run = AnalyseFiles(
        source, options, [&](const QByteArray&, FileAnalysis& file) { return files << file, true; },
        progress);
    return files;
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString Path(const char* name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        QCOMPARE(::mkfifo(QFile::encodeName(Path("pipe.mp4")).constData(), 0600), 0);
    }

    void streamCountIsReadLikeAtoi_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        const QList<std::pair<const char*, int>> rows = {
            {"2", 2},           {"0", 0},   {"", 0},     {"x", 0},
            {" 3", 3},          {"+2", 2},  {"-1", -1},  {"7 streams", 7},
            {"\t\n\v\f\r4", 4}, {"+-2", 0}, {"0x10", 0}, {"99999999999", INT_MAX}};
        for (const auto& [text, count] : rows)
            QTest::newRow(text) << QString::fromLatin1(text) << count;
    }
    void streamCountIsReadLikeAtoi() {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(ParseStreamCount(text), count);
    }

    // A pipe keeps being a pipe: renaming a file over it would replace it.
    void pipeIsWrittenInPlace() {
        const int reader =
            ::open(QFile::encodeName(Path("pipe.mp4")).constData(), O_RDWR | O_NONBLOCK);
        AtomicFile file;
        QVERIFY(file.Open(Path("pipe.mp4")) && file.Write("through the pipe") && file.Commit());
        char buffer[64] = {};
        QCOMPARE(::read(reader, buffer, sizeof buffer), qsizetype(16));
        ::close(reader);
        QVERIFY(QFileInfo(Path("pipe.mp4")).isFile() == false);
    }

    // Answers come from a process that a crafted file may have taken over: anything but the
    // message due in its conversation, of the report's shape within the limits, is refused
    // before it is believed. message: which conversation's parser reads the frame.
    void brokenRepliesAreRejected_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("parsed"); // "": refused
        const FileReport file{
            {"a", "é", "", "", "", "", ""}, {{"v", "", "", "", "", "", "", "", ""}}, {}};
        const auto answer = [](WorkerAnswer::Kind kind, FileAnswer values = {}, int status = 0,
                               QString why = {}) {
            return FrameAnswer({kind, std::move(values), status, std::move(why)});
        };
        const QByteArray opened = answer(WorkerAnswer::Answered, file);
        QByteArray oversized(4, '\0'), atLimit(4, '\0'), unknown = opened, trailing = opened + 'x',
                                                         cut = opened;
        qToLittleEndian<quint32>(kMaxFrameBytes + 1, oversized.data());
        qToLittleEndian<quint32>(kMaxFrameBytes, atLimit.data());
        unknown[4] = 7; // a report's values behind a kind that is none
        qToLittleEndian<quint32>(opened.size() - 3, trailing.data());
        qToLittleEndian<quint32>(opened.size() - 5, cut.data());
        cut.chop(1); // the last value's bytes end early
        const auto streams = [&](quint32 count, QByteArray values) {
            QByteArray frame =
                answer(WorkerAnswer::Answered, FileReport{{"", "", "", "", "", "", ""}, {}, {}});
            qToLittleEndian<quint32>(count, frame.data() + frame.size() - 8);
            frame.insert(frame.size() - 4, values);
            qToLittleEndian<quint32>(frame.size() - 4, frame.data());
            return frame;
        };
        const QByteArray emptyValues(9 * 4, '\0'); // one video stream of nine empty values
        QByteArray longValue =
            answer(WorkerAnswer::Answered, FileReport{{QString(kMaxValueBytes + 1, 'x')}, {}, {}});
        const QByteArray ready = FrameGreeting({true, "v1", {}}),
                         unusable = FrameGreeting({false, {}, "no lib"});
        const QByteArray ended = answer(WorkerAnswer::Ended, {}, SIGSEGV),
                         broken = answer(WorkerAnswer::Broken);
        const QByteArray notStarted = answer(WorkerAnswer::NotStarted, {}, 0, "no fork");
        const int complete = int(FrameState::Complete);
        // clang-format off
        QTest::newRow("not opened") << answer(WorkerAnswer::Answered) << complete << "worker" << "not opened";
        QTest::newRow("opened") << opened << complete << "worker" << "opened";
        QTest::newRow("file: opened") << opened << complete << "file" << "opened";
        QTest::newRow("file: not opened") << answer(WorkerAnswer::Answered) << complete << "file" << "not opened";
        QTest::newRow("file: ended") << ended << complete << "file" << "";
        QTest::newRow("file: broken") << broken << complete << "file" << "";
        QTest::newRow("file: greeting") << ready << complete << "file" << "";
        QTest::newRow("ready") << ready << complete << "greeting" << "ready v1";
        QTest::newRow("library unusable") << unusable << complete << "greeting" << "unusable no lib";
        QTest::newRow("unusable, no reason") << FrameGreeting({false, {}, {}}) << complete << "greeting" << "";
        QTest::newRow("an answer for a greeting") << opened << complete << "greeting" << "";
        QTest::newRow("a greeting for an answer") << ready << complete << "worker" << "";
        QTest::newRow("ended") << ended << complete << "worker" << "ended 11";
        QTest::newRow("broken") << broken << complete << "worker" << "broken";
        QTest::newRow("not started") << notStarted << complete << "worker" << "not started no fork";
        QTest::newRow("not started, no reason") << answer(WorkerAnswer::NotStarted) << complete << "worker" << "";
        QTest::newRow("cut short") << opened.chopped(1) << int(FrameState::Incomplete) << "worker" << "";
        QTest::newRow("a value cut short") << cut << complete << "worker" << "";
        QTest::newRow("oversized") << oversized << int(FrameState::Invalid) << "worker" << "";
        QTest::newRow("as long as allowed, cut short") << atLimit << int(FrameState::Incomplete) << "worker" << "";
        QTest::newRow("unknown kind") << unknown << complete << "worker" << "";
        QTest::newRow("trailing byte") << trailing << complete << "worker" << "";
        QTest::newRow("as many streams as allowed") << streams(kMaxStreams, emptyValues.repeated(kMaxStreams)) << complete << "worker" << "opened";
        QTest::newRow("a stream too many") << streams(kMaxStreams + 1, emptyValues.repeated(kMaxStreams + 1)) << complete << "worker" << "";
        QTest::newRow("more streams than bytes") << streams(0xffffffff, {}) << complete << "worker" << "";
        QTest::newRow("a value too long") << longValue << complete << "worker" << "";
        // clang-format on
    }
    void brokenRepliesAreRejected() {
        QFETCH(QByteArray, frame);
        QFETCH(int, state);
        QFETCH(QString, message);
        QFETCH(QString, parsed);
        QByteArray payload;
        QCOMPARE(int(TakeFrame(&frame, &payload)), state);
        WorkerGreeting greeting;
        WorkerAnswer answer;
        QString got;
        if (state != int(FrameState::Complete))
            got = "";
        else if (message == "greeting" && ParseGreeting(payload, &greeting))
            got = greeting.ready ? "ready " + greeting.libraryVersion
                                 : "unusable " + greeting.problem;
        else if (message == "file" && ParseFileAnswer(payload, &answer.answer))
            got = answer.answer ? "opened" : "not opened";
        else if (message == "worker" && ParseWorkerAnswer(payload, &answer))
            got = answer.kind == WorkerAnswer::Ended    ? QString("ended %1").arg(answer.waitStatus)
                  : answer.kind == WorkerAnswer::Broken ? QString("broken")
                  : answer.kind == WorkerAnswer::NotStarted ? "not started " + answer.reason
                  : answer.answer                           ? "opened"
                                                            : "not opened";
        QCOMPARE(got, parsed);
        if (got == "opened" && answer.answer->video.size() < 2)
            QCOMPARE(*answer.answer, FileReport({{"a", "é", "", "", "", "", ""},
                                                 {{"v", "", "", "", "", "", "", "", ""}},
                                                 {}}));
    }

    // Progress names the file that holds the run up; Cancel ends the run and every worker.
    void progressAndCancel() {
        QStringList paths;
        for (const char* name : {"hang", "a", "b", "c", "d", "e"}) {
            paths << Path(name);
            QVERIFY(WriteDescription(paths.last(), {*name == 'h' ? "!hang" : "!sleep 100"}));
        }
        AnalysisOptions options;
        options.workers = 2;
        options.timeoutMs = 5000;
        QList<AnalysisProgress> seen;
        // The first worker takes hang and b, the second a and c: b waits behind hang while the
        // second worker goes on with c, d and e.
        AnalysisRun run;
        Analyse(paths, options, &run, [&](const AnalysisProgress& p) {
            seen << p;
            return p.done < 4;
        });
        QCOMPARE(run.status, AnalysisStatus::Cancelled);
        QCOMPARE(seen.last().done, 4);
        QCOMPARE(seen.last().total, 6);
        for (const AnalysisProgress& p : seen)
            QVERIFY(p.done == 0 || p.current == Path("hang"));
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1); // no worker left, running or unreaped
    }

    // What waits behind a slow file is bounded in bytes too: replies of 0.8 MB each fill the
    // 16 MiB allowed after about ten files, so reading stops until the slow file is done.
    void readAheadIsBoundedInBytes() {
        QStringList lines, paths{Path("slow")};
        for (const char* value :
             {"0 0 Format", "0 0 FileSize/String", "0 0 Duration/String1", "0 0 TextCount",
              "1 0 Format", "1 0 Width", "1 0 Height", "1 0 FrameRate", "2 0 Format", "2 0 BitRate",
              "2 0 Channels", "2 0 SamplingRate"})
            lines << QLatin1String(value) + '=' + QString(35000, 'x');
        QVERIFY(WriteDescription(Path("large"), lines << "1 0 StreamCount=1"
                                                      << "2 0 StreamCount=1"));
        QVERIFY(WriteDescription(Path("slow"), {"!sleep 2000"}));
        for (int i = 0; i < 200; ++i)
            paths << Path("large");
        AnalysisOptions options;
        options.workers = 2;
        qint64 doneBehindSlow = 0;
        AnalysisRun run;
        const QList<FileAnalysis> files =
            Analyse(paths, options, &run, [&](const AnalysisProgress& p) {
                if (p.current == Path("slow"))
                    doneBehindSlow = std::max(doneBehindSlow, p.done);
                return true;
            });
        QCOMPARE(files.size(), 201);
        QVERIFY2(doneBehindSlow >= 5 && doneBehindSlow <= 30,
                 qPrintable(QString::number(doneBehindSlow)));
    }

    // A misspelt name in the system call policy would pass for a call this machine lacks.
    void policyNamesKnownCalls() { QCOMPARE(kq::platform::UnknownSystemCalls(), QStringList()); }

    // The mailer is looked up as the shell looks up a program: an unset PATH is the system's.
    void programsAreFoundOnTheDefaultPath() {
        const QByteArray path = qgetenv("PATH");
        qunsetenv("PATH");
        bool notExecutable = true;
        QCOMPARE(kq::platform::FindOnPath("sh", &notExecutable), "/bin/sh");
        qputenv("PATH", path);
    }

    // Workers that go wrong, given two files: one that cannot confine itself fails the run; one
    // that answers garbage, or out of turn, loses the file it held. A worker that replaces one
    // that ended greets anew.
    void brokenWorkers_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reasons");
        const QString broken = "the analysis worker sent a broken reply";
        // clang-format off
        QTest::newRow("no limits") << QByteArray("exit 70") << "the analysis worker @ could not set up its limits" << "";
        QTest::newRow("broken reply") << QByteArray("printf garbage; sleep 1") << "" << broken + '|' + broken;
        QTest::newRow("an answer before its greeting") << QByteArray("printf '\\001\\0\\0\\0\\0'; sleep 1") << "" << broken + '|' + broken;
        QTest::newRow("a greeting after its greeting") << QByteArray("printf '\\005\\0\\0\\0\\003\\0\\0\\0\\0\\005\\0\\0\\0\\003\\0\\0\\0\\0'; sleep 1") << "" << broken + '|' + broken;
        QTest::newRow("the greeting of a worker that replaces one") << QByteArray("[ -e \"$0.ran\" ] || { : >\"$0.ran\"; printf '\\005\\0\\0\\0\\003\\0\\0\\0\\0'; exit 3; }; printf '\\005\\0\\0\\0\\003\\0\\0\\0\\0\\001\\0\\0\\0\\000'; sleep 1") << "" << "the analysis ended unexpectedly (exit status 3)|not opened by the library";
        // clang-format on
    }
    void brokenWorkers() {
        QFETCH(QByteArray, script);
        QFETCH(QString, failure);
        QFETCH(QString, reasons);
        QFile::remove(Path("worker.ran"));
        QVERIFY(WriteBytes(Path("worker"), "#!/bin/sh\n" + script + "\n"));
        QVERIFY(QFile::setPermissions(Path("worker"),
                                      QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner));
        AnalysisOptions options;
        options.workerProgram = Path("worker");
        options.workers = 1;
        AnalysisRun run;
        QStringList reasonsGiven;
        for (const FileAnalysis& file : Analyse(
                 {FakeDataPath("two-audio.kqfake"), FakeDataPath("escapes.kqfake")}, options, &run))
            reasonsGiven << file.reason;
        QCOMPARE(run.failure, failure.replace("@", Path("worker")));
        QCOMPARE(reasonsGiven.join('|'), reasons);
    }

    // An answer is given back only for a file whose identity is unchanged and whose stamps were a
    // clock tick older than its analysis; a cache that is broken, unreachable or open to others
    // never fails the run.
    void outcomeCache_data() {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<qint64>("gapMs"); // from the file's later stamp to its analysis
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("notice"); // Open's, @ standing for the cache file
        // clang-format off
        QTest::newRow("unchanged") << QByteArray() << 3000LL << true << "";
        QTest::newRow("touched") << QByteArray("touched") << 3000LL << false << "";
        QTest::newRow("analysed 0.5 s after a change") << QByteArray() << 500LL << false << "";
        QTest::newRow("analysed 1.5 s after a change") << QByteArray() << 1500LL << true << "";
        QTest::newRow("whole seconds, 1.5 s after") << QByteArray("whole") << 1500LL << false << "";
        QTest::newRow("whole seconds, 2 s after") << QByteArray("whole") << 2000LL << true << "";
        QTest::newRow("replaced by rename") << QByteArray("renamed") << 3000LL << false << "";
        // The window's memory of its builds keeps to the same rules.
        QTest::newRow("in memory: unchanged") << QByteArray("memory") << 3000LL << true << "";
        QTest::newRow("in memory: touched") << QByteArray("memory touched") << 3000LL << false << "";
        QTest::newRow("in memory: analysed 0.5 s after a change") << QByteArray("memory") << 500LL << false << "";
        QTest::newRow("in memory: replaced by rename") << QByteArray("memory renamed") << 3000LL << false << "";
        QTest::newRow("other library version") << QByteArray("library") << 3000LL << false << "";
        QTest::newRow("not a database") << QByteArray("garbage") << 3000LL << true << "the cache @ could not be read (file is not a database): it was moved aside to @.broken and a new one started";
        QTest::newRow("symbolic link") << QByteArray("link") << 3000LL << false << "the cache @ is not used: it is a symbolic link";
        QTest::newRow("a folder others can write") << QByteArray("0707") << 3000LL << false << "the cache @ is not used: other users can write its folder";
        QTest::newRow("readable by others") << QByteArray("0644") << 3000LL << false << "the cache @ is not used: other users can read or write it";
        QTest::newRow("folder that cannot be made") << QByteArray("proc") << 3000LL << false << "the cache @ cannot be used: No such file or directory";
        // clang-format on
    }
    void outcomeCache() {
        QFETCH(QByteArray, change);
        QFETCH(qint64, gapMs);
        RememberedAnswers memory;
        const bool inMemory = change.startsWith("memory");
        change = change.mid(inMemory ? 7 : 0);
        QFETCH(bool, found);
        QFETCH(QString, notice);
        const QString folder = Path("cache");
        const QString file = change == "proc" ? "/proc/self/x/outcomes" : folder + "/outcomes";
        QDir(folder).removeRecursively();
        QCOMPARE(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
        QVERIFY(change != "0707" || ::chmod(QFile::encodeName(folder).constData(), 0707) == 0);
        if (change == "garbage" || change == "0644") {
            QVERIFY(WriteBytes(file, QByteArray(4096, 'x')));
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), change == "0644" ? 0644 : 0600),
                     0);
        }
        if (change == "link")
            QVERIFY(QFile::link(Path("elsewhere"), file));
        QString opened;
        std::unique_ptr<OutcomeCache> cache = OutcomeCache::Open(file, "v1", &opened);
        QCOMPARE(opened, notice.replace('@', file));
        QCOMPARE(QFileInfo::exists(file + ".broken"), change == "garbage");

        // A file's identity, with stamps made by hand: its change is the later one.
        const qint64 second = 1000000000,
                     changed = 1600000000 * second + (change == "whole" ? 0 : second / 4);
        const auto identityOf = [&](const char* name) {
            FileIdentity identity;
            const bool read = PathProblem(QFile::encodeName(Path(name)), &identity).isEmpty();
            identity.modifiedNs = changed - 10 * second;
            identity.changedNs = changed;
            return read ? identity : FileIdentity();
        };
        QVERIFY(WriteBytes(Path("media"), "media") && WriteBytes(Path("replacement"), "MEDIA"));
        FileIdentity identity = identityOf("media");
        QCOMPARE(identity.size, 5);
        if (cache)
            cache->Store(identity, changed + gapMs * 1000000, "answer");
        memory.Keep(identity, changed + gapMs * 1000000, std::nullopt);
        cache.reset(); // written on close
        identity.modifiedNs += change == "touched";
        if (change == "renamed") {
            QCOMPARE(::rename(QFile::encodeName(Path("replacement")).constData(),
                              QFile::encodeName(Path("media")).constData()),
                     0);
            identity = identityOf("media");
        }
        cache = OutcomeCache::Open(file, change == "library" ? "v2" : "v1", &opened);
        QCOMPARE(inMemory ? memory.Find(identity).has_value()
                          : cache && cache->Find(identity) == "answer",
                 found);
        QCOMPARE(cache ? cache->Problem() : "", "");
        struct stat status; // the log is no more open than the database
        QVERIFY(!cache || (::stat(QFile::encodeName(file + "-wal").constData(), &status) == 0 &&
                           (status.st_mode & 0777) == 0600));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
