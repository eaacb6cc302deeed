// Report builds when the library file cannot be loaded at the first build: every path is
// left out, and a library that appears later is not picked up during the run.

#include "FakeMediaInfoSupport.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"
#include "report/ReportBuilder.h"
#include "report/ReportLocation.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace kqtest;

class TestReportNoLibrary : public QObject {
    Q_OBJECT

private slots:
    void everyPathIsLeftOutForTheWholeRun();
};

void TestReportNoLibrary::everyPathIsLeftOutForTheWholeRun() {
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
    QVERIFY(BuildReport(paths));
    QCOMPARE(ReadBytes(report), QByteArray("<AllFileInfo />\r\n"));

    const ReportResult result = CollectReport(CMediaFileInfo::GetInstance(), paths);
    QCOMPARE(result.leftOut.size(), 2);
    QCOMPARE(result.leftOut[0].path, paths[0]);
    QCOMPARE(result.leftOut[1].path, paths[1]);
    QVERIFY(!result.leftOut[0].reason.isEmpty());

    // The library turns up during the run; the record keeps working without it.
    QVERIFY(QFile::copy(FakeLibraryPath("full"), library));
    QVERIFY(WriteBytes(report, QByteArray(5000, 'x')));
    QVERIFY(BuildReport(paths));
    QCOMPARE(ReadBytes(report), QByteArray("<AllFileInfo />\r\n"));
    QCOMPARE(CMediaFileInfo::GetInstance().GetFormat(),
             QStringLiteral("Unable to load ") + library);
    QCOMPARE(loads.Lines(), QStringList());

    // It would have been loadable.
    CMediaInfoHandle fresh;
    QVERIFY(fresh.IsReady());
    QCOMPARE(fresh.Open(paths[1]), std::size_t(1));
    fresh.Close();
}

QTEST_GUILESS_MAIN(TestReportNoLibrary)
#include "tst_report_no_library.moc"
