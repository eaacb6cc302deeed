// The report's building blocks in this process: reading stream counts, which paths never reach
// the library, writing a file whole or not at all, the worker protocol, and a run's progress
// and cancelling. Whole reports are checked through kqmediareport (tests/cli).

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"
#include "report/AnalysisPool.h"
#include "report/AnalysisProtocol.h"
#include "report/ReportBuilder.h"

#include <QDir>
#include <QtEndian>
#include <QtTest>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kqtest;

namespace {
// Every analysis of a run over paths, in the order handed on.
QList<FileAnalysis> Analyse(const QStringList& paths, const AnalysisOptions& options, AnalysisRun* run,
                            const AnalysisProgressCallback& progress = {}) {
    PathListSource source(paths);
    QList<FileAnalysis> files;
    *run = AnalyseFiles(source, options, [&](const QString&, FileAnalysis& file) { return files << file, true; }, progress);
    return files;
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase() {
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        QCOMPARE(::mkfifo(QFile::encodeName(Path("pipe.mp4")).constData(), 0600), 0);
        QCOMPARE(::symlink("nowhere", QFile::encodeName(Path("dangling.mp4")).constData()), 0);
        QVERIFY(WriteBytes(Path("locked.mp4"), "x"));
        QVERIFY(QFile::setPermissions(Path("locked.mp4"), QFileDevice::WriteOwner));
    }

    void streamCountIsReadLikeAtoi_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        const QList<std::pair<const char*, int>> rows = {
            {"2", 2},    {"0", 0},     {"", 0},          {"x", 0},      {" 3", 3},
            {"+2", 2},   {"-1", -1},   {"7 streams", 7}, {"\t\n\v\f\r4", 4},
            {"+-2", 0},  {"0x10", 0},  {"99999999999", INT_MAX}};
        for (const auto& [text, count] : rows)
            QTest::newRow(text) << QString::fromLatin1(text) << count;
    }
    void streamCountIsReadLikeAtoi() {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(ParseStreamCount(text), count);
    }

    void pathsThatNeverReachTheLibrary_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("problem");
        QTest::newRow("regular") << FakeDataPath(QStringLiteral("two-audio.kqfake")) << QString();
        QTest::newRow("missing") << Path("gone.mp4") << "missing";
        QTest::newRow("empty") << QString() << "missing";
        QTest::newRow("broken link") << Path("dangling.mp4") << "missing (broken link)";
        QTest::newRow("pipe") << Path("pipe.mp4") << "not a regular file";
        QTest::newRow("folder") << m_dir.path() << "not a regular file";
        QTest::newRow("device") << "/dev/zero" << "not a regular file";
        QTest::newRow("unreadable") << Path("locked.mp4")
                                    << (::geteuid() == 0 ? "" : "not readable"); // root reads all
    }
    void pathsThatNeverReachTheLibrary() {
        QFETCH(QString, path);
        QFETCH(QString, problem);
        QCOMPARE(PathProblem(path), problem);
    }

    // A pipe keeps being a pipe; a failed write leaves the earlier file whole and nothing beside.
    void filesAreWrittenWholeOrNotAtAll() {
        const int reader =
            ::open(QFile::encodeName(Path("pipe.mp4")).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(WriteFileAtomically(Path("pipe.mp4"), "through the pipe"));
        char buffer[64] = {};
        QCOMPARE(::read(reader, buffer, sizeof buffer), qsizetype(16));
        ::close(reader);
        QVERIFY(QFileInfo(Path("pipe.mp4")).isFile() == false);
        const QString report = Path("report.xml");
        QVERIFY(WriteFileAtomically(report, QByteArray(20000, 'x')));
        QVERIFY(WriteFileAtomically(report, "short"));
        QCOMPARE(ReadBytes(report), QByteArray("short"));
        rlimit previous{}, small{};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        small = {16, previous.rlim_max};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small); // writes beyond 16 bytes fail, for root as well
        const bool wrote = WriteFileAtomically(report, QByteArray(100, 'y'));
        ::setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY(!wrote);
        QCOMPARE(ReadBytes(report), QByteArray("short"));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*report*")}, QDir::Files | QDir::Hidden),
                 QStringList{"report.xml"});
    }

    void brokenRepliesAreRejected_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QString>("problem");
        const QByteArray notOpened = FrameReply(std::nullopt);
        const QByteArray opened = FrameReply(FileReport{{"a", "é"}, {{"v"}}, {{"x", "y"}, {}}});
        QByteArray oversized(4, '\0');
        qToLittleEndian<quint32>(kMaxFrameBytes + 1, oversized.data());
        const int complete = int(FrameState::Complete);
        QTest::newRow("not opened") << notOpened << complete << true << QString();
        QTest::newRow("opened") << opened << complete << true << QString();
        QTest::newRow("library unusable") << FrameUnusableLibrary("no lib") << complete << true << "no lib";
        QTest::newRow("unusable, no reason") << FrameUnusableLibrary({}) << complete << false << QString();
        QTest::newRow("cut short") << opened.chopped(1) << int(FrameState::Incomplete) << false << QString();
        QTest::newRow("oversized") << oversized << int(FrameState::Invalid) << false << QString();
        QTest::newRow("unknown kind") << FrameRequest(QStringLiteral("\x03")) << complete << false << QString();
        QByteArray trailing = notOpened + 'x';
        qToLittleEndian<quint32>(2, trailing.data());
        QTest::newRow("trailing byte") << trailing << complete << false << QString();
    }
    void brokenRepliesAreRejected() {
        QFETCH(QByteArray, frame);
        QFETCH(int, state);
        QFETCH(bool, parses);
        QFETCH(QString, problem);
        QByteArray payload;
        std::optional<FileReport> report;
        QString unusable;
        QCOMPARE(int(TakeFrame(&frame, &payload)), state);
        QCOMPARE(state == int(FrameState::Complete) && ParseReply(payload, &report, &unusable), parses);
        QCOMPARE(unusable, problem);
        if (parses && report)
            QCOMPARE(*report, FileReport({{"a", "é"}, {{"v"}}, {{"x", "y"}, {}}}));
    }

    // Progress names the file that holds the run up; Cancel ends the run and every worker.
    void progressAndCancel() {
        QStringList paths;
        for (const char* name : {"a", "b", "hang", "c", "d", "e"}) {
            paths << Path(name);
            QVERIFY(WriteDescription(paths.last(), {name == QLatin1String("hang") ? "!hang" : "!sleep 100"}));
        }
        AnalysisOptions options;
        options.workers = 2;
        options.timeoutMs = 5000;
        QList<AnalysisProgress> seen;
        // The first worker takes a and b, the second hang and c: c waits behind hang.
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

    // A worker fixes its own locale: one that names a locale this machine lacks must not keep
    // it from opening non-ASCII names.
    void workerOpensNonAsciiNamesUnderAnyLocale() {
        const QString path = m_dir.filePath(QStringLiteral("vidéo-日本.kqfake"));
        QVERIFY(WriteDescription(path, {"0 0 Format=X"}));
        qputenv("LC_ALL", "de_DE.UTF-8");
        AnalysisRun run;
        const QList<FileAnalysis> files = Analyse({path}, AnalysisOptions(), &run);
        qunsetenv("LC_ALL");
        QCOMPARE(files.value(0).reason, QString());
        QVERIFY(files.value(0).report.has_value());
    }

    void workerThatCannotStartFailsTheRun_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("failure");
        QTest::newRow("missing") << Path("absent/kqmediaworker")
                                 << "cannot start the analysis worker " + Path("absent/kqmediaworker");
        QVERIFY(WriteBytes(Path("no-limits"), "#!/bin/sh\nexit 70\n"));
        QVERIFY(QFile::setPermissions(Path("no-limits"), QFileDevice::ExeOwner | QFileDevice::ReadOwner));
        QTest::newRow("limits not set up") << Path("no-limits")
                                           << "the analysis worker " + Path("no-limits") + " could not set up its limits";
    }
    void workerThatCannotStartFailsTheRun() {
        QFETCH(QString, program);
        QFETCH(QString, failure);
        AnalysisOptions options;
        options.workerProgram = program;
        AnalysisRun run;
        Analyse({FakeDataPath(QStringLiteral("two-audio.kqfake"))}, options, &run);
        QCOMPARE(run.status, AnalysisStatus::Failed);
        QVERIFY2(run.failure.startsWith(failure), qPrintable(run.failure));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
