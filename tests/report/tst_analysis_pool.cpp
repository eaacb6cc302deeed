// Analysis in worker processes against the fake library: hostile files are contained with
// their reason and the rest of the report intact, parallel runs equal sequential ones,
// cancelling and failing runs leave no worker behind, and the worker protocol rejects
// broken frames.

#include "ChildProcesses.h"
#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"
#include "report/AnalysisPool.h"
#include "report/AnalysisProtocol.h"
#include "report/ReportBuilder.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace kqtest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

QStringList FileInfoNames(const QByteArray& xml) {
    QStringList names;
    const QByteArray open = "<CompleteName>", close = "</CompleteName>";
    for (qsizetype at = xml.indexOf(open); at >= 0; at = xml.indexOf(open, at + 1)) {
        const qsizetype start = at + open.size();
        names.append(QString::fromUtf8(xml.mid(start, xml.indexOf(close, start) - start)));
    }
    return names;
}

} // namespace

class TestAnalysisPool : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Describe(const QString& name, const QStringList& lines) {
        const QString path = m_dir.filePath(name);
        return WriteDescription(path, lines) ? path : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
    }
    void cleanup() { QCOMPARE(ChildProcesses(), QList<int>()); }

    void hostileFileIsContained_data() {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<int>("workers");
        QTest::addColumn<QString>("reason");
        const QString hang = QStringLiteral("took longer than the time limit of 1 s");
        const QString crash = QStringLiteral("the media library crashed (SIGABRT)");
        const QString memory = QStringLiteral("needs more memory than the limit of 256 MiB");
        const QString network =
            QStringLiteral("blocked: the media library tried to use the network");
        for (int workers : {1, 3}) {
            const QByteArray suffix = workers == 1 ? " (one worker)" : " (three workers)";
            QTest::newRow("hang" + suffix) << QStringLiteral("!hang") << workers << hang;
            QTest::newRow("crash" + suffix) << QStringLiteral("!crash") << workers << crash;
            QTest::newRow("allocate" + suffix) << QStringLiteral("!allocate") << workers << memory;
            QTest::newRow("network" + suffix) << QStringLiteral("!network") << workers << network;
        }
    }
    void hostileFileIsContained() {
        QFETCH(QString, behaviour);
        QFETCH(int, workers);
        QFETCH(QString, reason);
        if (behaviour == QLatin1String("!allocate") && kAddressSanitizer)
            QSKIP("AddressSanitizer reserves more address space than any limit allows");
        FakeLog log;
        QStringList paths;
        for (int i = 0; i < 4; ++i)
            paths.append(Describe(QStringLiteral("good%1.kqfake").arg(i),
                                  {QStringLiteral("0 0 Format=good %1").arg(i)}));
        const QString hostile = Describe(QStringLiteral("hostile.kqfake"),
                                         {behaviour, QStringLiteral("0 0 Format=hostile")});
        paths.insert(1, hostile);

        AnalysisOptions options;
        options.workers = workers;
        options.timeoutMs = 1000;
        options.memoryLimitBytes = 256LL << 20;
        const ReportResult result = CollectReport(paths, options);

        QCOMPARE(result.status, ReportStatus::Complete);
        QCOMPARE(result.leftOut.size(), 1);
        QCOMPARE(result.leftOut[0].path, hostile);
        QCOMPARE(result.leftOut[0].reason, reason);
        // The others are all there, in input order, whichever worker took them.
        paths.removeAt(1);
        QCOMPARE(FileInfoNames(result.xml), paths);
        QVERIFY(!log.Lines().contains(QStringLiteral("Socket opened")));
    }

    void parallelRunEqualsSequentialRun() {
        QStringList paths;
        for (int i = 0; i < 24; ++i)
            paths.append(Describe(QStringLiteral("file%1.kqfake").arg(i),
                                  {QStringLiteral("!sleep %1").arg((i * 7) % 20),
                                   QStringLiteral("0 0 Format=format %1").arg(i),
                                   QStringLiteral("2 0 StreamCount=1"),
                                   QStringLiteral("2 0 Language=lang %1").arg(i)}));
        paths.insert(5, FakeDataPath(QStringLiteral("not-media.txt")));
        paths.insert(9, m_dir.filePath(QStringLiteral("absent.kqfake")));
        paths.append(paths[3]);

        AnalysisOptions sequential;
        sequential.workers = 1;
        AnalysisOptions parallel;
        parallel.workers = 4;
        const ReportResult one = CollectReport(paths, sequential);
        const ReportResult four = CollectReport(paths, parallel);
        QCOMPARE(one.status, ReportStatus::Complete);
        QCOMPARE(four.status, ReportStatus::Complete);
        QCOMPARE(FileInfoNames(one.xml).size(), 25);
        QCOMPARE(four.xml, one.xml);
        QCOMPARE(four.leftOut.size(), 2);
        QCOMPARE(four.leftOut[0].path, paths[5]);
        QCOMPARE(four.leftOut[1].path, paths[9]);
    }

    void progressCountsEveryFile() {
        QStringList paths;
        for (int i = 0; i < 6; ++i)
            paths.append(Describe(QStringLiteral("slow%1.kqfake").arg(i), {"!sleep 30"}));
        paths.append(m_dir.filePath(QStringLiteral("absent.kqfake")));
        QList<AnalysisProgress> seen;
        AnalysisOptions options;
        options.workers = 2;
        const AnalysisRun run = AnalyseFiles(paths, options, [&](const AnalysisProgress& p) {
            seen.append(p);
            return true;
        });
        QCOMPARE(run.status, AnalysisStatus::Complete);
        QVERIFY(seen.size() >= 2);
        for (qsizetype i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i].done >= seen[i - 1].done);
        QCOMPARE(seen.last().done, 7);
        QCOMPARE(seen.last().total, 7);
        QVERIFY(paths.contains(seen.last().current));
    }

    void progressNamesTheFileHoldingUpTheRun() {
        const QString hang = Describe(QStringLiteral("stuck.kqfake"), {"!hang"});
        QStringList paths;
        for (int i = 0; i < 4; ++i)
            paths.append(Describe(QStringLiteral("quick%1.kqfake").arg(i), {"!sleep 10"}));
        paths.insert(1, hang);
        AnalysisOptions options;
        options.workers = 2;
        AnalysisProgress last;
        QElapsedTimer clock;
        clock.start();
        const AnalysisRun run = AnalyseFiles(paths, options, [&](const AnalysisProgress& p) {
            last = p;
            return clock.elapsed() < 600;
        });
        QCOMPARE(run.status, AnalysisStatus::Cancelled);
        // One quick file may wait in the stuck worker's socket until that worker is killed.
        QVERIFY2(last.done >= 3 && last.done < 5, qPrintable(QString::number(last.done)));
        QCOMPARE(last.current, hang);
    }

    void cancelEndsTheRunAndItsWorkers() {
        const QString hang = Describe(QStringLiteral("hang.kqfake"), {"!hang"});
        const QStringList paths = {hang, hang, hang};
        AnalysisOptions options;
        options.workers = 2;
        QElapsedTimer clock;
        clock.start();
        const AnalysisRun run = AnalyseFiles(
            paths, options, [&](const AnalysisProgress&) { return clock.elapsed() < 300; });
        QCOMPARE(run.status, AnalysisStatus::Cancelled);
        QVERIFY(run.files.isEmpty());
        QVERIFY2(clock.elapsed() < 5000, "cancelling does not wait for the time limit");
    }

    void workerThatCannotStartFailsTheRun_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/kqmediaworker");
        QTest::newRow("not executable") << QStringLiteral(KQ_FAKE_DATA_DIR "/two-audio.kqfake");
    }
    void workerThatCannotStartFailsTheRun() {
        QFETCH(QString, program);
        AnalysisOptions options;
        options.workerProgram = program;
        const ReportResult result =
            CollectReport({FakeDataPath(QStringLiteral("two-audio.kqfake"))}, options);
        QCOMPARE(result.status, ReportStatus::Failed);
        QVERIFY2(result.failure.contains(program), qPrintable(result.failure));
        QVERIFY(result.xml.isEmpty());
    }

    void workerIsFoundBesideTheProgramOrThroughTheEnvironment() {
        // The tests name the worker through the environment (it is not beside them).
        QVERIFY(!qEnvironmentVariableIsEmpty("KQ_MEDIA_WORKER"));
        QCOMPARE(AnalysisWorkerProgram(), qEnvironmentVariable("KQ_MEDIA_WORKER"));
    }

    void framesRoundTrip() {
        FileReport file;
        file.general = {"/a/b é.mkv", "Matroska", "", "1 s", "2"};
        file.video = {{"AVC", "", "64", "48", "10.000", "", "4:3", ""}};
        file.audio = {{"AAC", "1", "2", "44100", "", "eng"}, {"MP3", "", "", "", "", ""}};
        for (const std::optional<FileReport>& sent : {std::optional<FileReport>(file),
                                                      std::optional<FileReport>()}) {
            QByteArray buffer = FrameReply(sent) + FrameRequest(QStringLiteral("/x/ü.mp4"));
            QByteArray payload;
            QCOMPARE(TakeFrame(&buffer, &payload), FrameState::Complete);
            std::optional<FileReport> received = FileReport();
            QVERIFY(ParseReply(payload, &received));
            QCOMPARE(received, sent);
            QCOMPARE(TakeFrame(&buffer, &payload), FrameState::Complete);
            QCOMPARE(ParseRequest(payload), QStringLiteral("/x/ü.mp4"));
            QVERIFY(buffer.isEmpty());
        }
    }

    void brokenFramesAreRejected_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("parses");
        const QByteArray reply = FrameReply(std::nullopt);
        QByteArray huge(4, '\0');
        qToLittleEndian(quint32(kMaxFrameBytes + 1), huge.data());
        QByteArray unknownKind = reply;
        unknownKind[4] = 7;
        QTest::newRow("length cut short") << reply.left(3) << int(FrameState::Incomplete) << false;
        QTest::newRow("payload cut short") << reply.left(4) << int(FrameState::Incomplete) << false;
        QTest::newRow("over the frame limit") << huge << int(FrameState::Invalid) << false;
        QTest::newRow("unknown reply kind") << unknownKind << int(FrameState::Complete) << false;
        QTest::newRow("reply with trailing bytes")
            << QByteArray(reply).replace(0, 1, QByteArray(1, char(reply.size() - 3)))
                   .append('x')
            << int(FrameState::Complete) << false;
        QTest::newRow("well formed") << reply << int(FrameState::Complete) << true;
    }
    void brokenFramesAreRejected() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, state);
        QFETCH(bool, parses);
        QByteArray payload;
        QCOMPARE(int(TakeFrame(&bytes, &payload)), state);
        std::optional<FileReport> report;
        QCOMPARE(state == int(FrameState::Complete) && ParseReply(payload, &report), parses);
    }
};

QTEST_GUILESS_MAIN(TestAnalysisPool)
#include "tst_analysis_pool.moc"
