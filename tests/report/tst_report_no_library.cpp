// Report builds when the library file cannot be loaded: every path is left out and the
// report is empty; a library that turns up later is used by the next build, whose workers
// are new processes. This process never loads it.

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"
#include "report/AnalysisPool.h"
#include "report/ReportBuilder.h"
#include "report/ReportLocation.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace kqtest;

class TestReportNoLibrary : public QObject {
    Q_OBJECT

private slots:
    void missingLibraryLeavesEveryPathOut();
};

void TestReportNoLibrary::missingLibraryLeavesEveryPathOut() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString library = dir.filePath(QStringLiteral("libmediainfo.so.0"));
    MediaLibrary_SetFileName(library);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg"))));
    FakeLog loads("KQ_FAKE_MEDIAINFO_LOAD_LOG");

    const QString report = QCoreApplication::applicationDirPath() + "/MediaFileInfo.xml";
    QCOMPARE(ReportFilePath(), report);
    const QStringList paths = {FakeDataPath(QStringLiteral("two-video-one-audio.kqfake")),
                               FakeDataPath(QStringLiteral("two-audio.kqfake"))};

    QVERIFY(WriteBytes(report, QByteArray(5000, 'x')));
    QCOMPARE(BuildReport(paths), BuildStatus::Written);
    QCOMPARE(ReadBytes(report), QByteArray("<AllFileInfo />\r\n"));

    const ReportResult result = CollectReport(paths, AnalysisOptions());
    QCOMPARE(result.status, ReportStatus::Complete);
    QCOMPARE(result.leftOut.size(), 2);
    QCOMPARE(result.leftOut[0].path, paths[0]);
    QCOMPARE(result.leftOut[1].path, paths[1]);
    QCOMPARE(result.leftOut[0].reason, QStringLiteral("not opened by the library"));
    QCOMPARE(loads.Lines(), QStringList());

    // The library turns up: the next build's workers load it, this process still does not.
    QVERIFY(QFile::copy(FakeLibraryPath("full"), library));
    QCOMPARE(BuildReport(paths), BuildStatus::Written);
    QCOMPARE(ReadBytes(report).count("<FileInfo>"), 2);
    QVERIFY(loads.Lines().contains(QStringLiteral("Loaded")));
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
}

QTEST_GUILESS_MAIN(TestReportNoLibrary)
#include "tst_report_no_library.moc"
