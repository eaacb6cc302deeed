// The report's building blocks in this process: reading stream counts, writing into a pipe,
// the worker protocol, a run's progress and cancelling, its workers, and finding a program.
// Whole reports are checked through kqmediareport (tests/cli).

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"
#include "platform/ChildProgram.h"
#include "report/AnalysisPool.h"
#include "report/AnalysisProtocol.h"
#include "report/ReportBuilder.h"

#include <QtTest>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kqtest;

namespace {
// Every analysis of a run over paths, in the order handed on.
QList<FileAnalysis> Analyse(const QStringList& paths, const AnalysisOptions& options,
                            AnalysisRun* run, const AnalysisProgressCallback& progress = {}) {
    PathListSource source(paths);
    QList<FileAnalysis> files;
    *run = AnalyseFiles(
        source, options, [&](const QString&, FileAnalysis& file) { return files << file, true; },
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
        QVERIFY(WriteFileAtomically(Path("pipe.mp4"), "through the pipe"));
        char buffer[64] = {};
        QCOMPARE(::read(reader, buffer, sizeof buffer), qsizetype(16));
        ::close(reader);
        QVERIFY(QFileInfo(Path("pipe.mp4")).isFile() == false);
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
        // clang-format off
        QTest::newRow("not opened") << notOpened << complete << true << QString();
        QTest::newRow("opened") << opened << complete << true << QString();
        QTest::newRow("library unusable") << FrameUnusableLibrary("no lib") << complete << true << "no lib";
        QTest::newRow("unusable, no reason") << FrameUnusableLibrary({}) << complete << false << QString();
        QTest::newRow("cut short") << opened.chopped(1) << int(FrameState::Incomplete) << false << QString();
        QTest::newRow("oversized") << oversized << int(FrameState::Invalid) << false << QString();
        QByteArray unknown = opened, trailing = opened + 'x';
        unknown[4] = 3; // a report's values behind a kind that is none
        qToLittleEndian<quint32>(opened.size() - 3, trailing.data());
        QTest::newRow("unknown kind") << unknown << complete << false << QString();
        QTest::newRow("trailing byte") << trailing << complete << false << QString();
        // clang-format on
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
        QCOMPARE(state == int(FrameState::Complete) && ParseReply(payload, &report, &unusable),
                 parses);
        QCOMPARE(unusable, problem);
        if (parses && report)
            QCOMPARE(*report, FileReport({{"a", "é"}, {{"v"}}, {{"x", "y"}, {}}}));
    }

    // Progress names the file that holds the run up; Cancel ends the run and every worker.
    void progressAndCancel() {
        QStringList paths;
        for (const char* name : {"a", "b", "hang", "c", "d", "e"}) {
            paths << Path(name);
            QVERIFY(WriteDescription(paths.last(), {*name == 'h' ? "!hang" : "!sleep 100"}));
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

    // The mailer is looked up as the shell looks up a program: an unset PATH is the system's.
    void programsAreFoundOnTheDefaultPath() {
        const QByteArray path = qgetenv("PATH");
        qunsetenv("PATH");
        bool notExecutable = true;
        QCOMPARE(kq::platform::FindOnPath("sh", &notExecutable), "/bin/sh");
        qputenv("PATH", path);
    }

    // Workers that go wrong: one that cannot confine itself fails the run; one that answers
    // garbage loses the file it held.
    void brokenWorkers_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        // clang-format off
        QTest::newRow("no limits") << QByteArray("exit 70") << "the analysis worker @ could not set up its limits" << "";
        QTest::newRow("broken reply") << QByteArray("printf garbage; sleep 1") << "" << "the analysis worker sent a broken reply";
        // clang-format on
    }
    void brokenWorkers() {
        QFETCH(QByteArray, script);
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        QVERIFY(WriteBytes(Path("worker"), "#!/bin/sh\n" + script + "\n"));
        QVERIFY(
            QFile::setPermissions(Path("worker"), QFileDevice::ExeOwner | QFileDevice::ReadOwner));
        AnalysisOptions options;
        options.workerProgram = Path("worker");
        AnalysisRun run;
        const QList<FileAnalysis> files =
            Analyse({FakeDataPath("two-audio.kqfake")}, options, &run);
        QCOMPARE(run.failure, failure.replace("@", Path("worker")));
        QCOMPARE(files.value(0).reason, reason);
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
