// The library is found by its bare file name through the ordinary library search: with the
// fake's folder on LD_LIBRARY_PATH, the fake is the library that answers.

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"

#include <QtTest>

using namespace kqtest;

class TestBindingByName : public QObject {
    Q_OBJECT

private slots:
    void loadsByBareName();
};

void TestBindingByName::loadsByBareName() {
    QVERIFY2(qEnvironmentVariable("LD_LIBRARY_PATH").contains(FakeLibraryDirectory("full")),
             "run through CTest, which puts the fake's folder on LD_LIBRARY_PATH");
    QCOMPARE(MediaLibrary_FileName(), QStringLiteral("libmediainfo.so.0"));

    FakeLog calls;
    const QString description = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));
    {
        CMediaInfoHandle handle;
        QVERIFY(handle.IsReady());
        QCOMPARE(MediaLibrary_LoadCount(), 1u);
        QCOMPARE(handle.Open(description), std::size_t(1));
        QCOMPARE(handle.Get(kStreamVideo, 0, QStringLiteral("Standard")), QStringLiteral("PAL"));
        handle.Close();
    }
    QCOMPARE(calls.Lines(), QStringList({"New", QStringLiteral("Open ") + description,
                                         "Get 1 0 Standard 1 0", "Close", "Delete"}));
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
}

QTEST_GUILESS_MAIN(TestBindingByName)
#include "tst_binding_by_name.moc"
