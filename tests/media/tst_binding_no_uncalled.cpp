// The library binding with a library file that lacks an entry point the program never calls:
// the load counts as failed, yet the file stays loaded and the handle works through the
// entry points it does call.

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"

#include <QtTest>

#include <memory>

using namespace kqtest;

class TestBindingNoUncalled : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void handleWorksThroughCalledEntryPoints();
    void furtherLoadsStillFail();

private:
    QString m_description;
};

namespace {
int IndexOf(const char* name) {
    for (int i = 0; i < kMediaEntryPointCount; ++i)
        if (qstrcmp(kMediaEntryPointNames[i], name) == 0)
            return i;
    return -1;
}
} // namespace

void TestBindingNoUncalled::initTestCase() {
    QVERIFY(QFile::exists(FakeLibraryPath("no-uncalled")));
    MediaLibrary_SetFileName(FakeLibraryPath("no-uncalled"));
    m_description = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));
}

void TestBindingNoUncalled::handleWorksThroughCalledEntryPoints() {
    FakeLog calls;
    FakeLog loads("KQ_FAKE_MEDIAINFO_LOAD_LOG");
    auto handle = std::make_unique<CMediaInfoHandle>();

    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(MediaLibrary_IsLoaded());
    const int missing = IndexOf("MediaInfoList_Count_Get_Files");
    QVERIFY(missing >= 0);
    for (int i = 0; i < kMediaEntryPointCount; ++i)
        QCOMPARE(MediaLibrary_IsResolved(i), i != missing);

    QVERIFY(handle->IsReady());
    QCOMPARE(handle->Option(QStringLiteral("Internet"), QStringLiteral("No")),
             QStringLiteral("Internet=No"));
    QCOMPARE(handle->Open(m_description), std::size_t(1));
    QCOMPARE(handle->Get(kStreamVideo, 1, QStringLiteral("Format")), QStringLiteral("MPEG Video"));
    handle->Close();
    handle.reset();
    QCOMPARE(calls.Lines(), QStringList({"New", "Option Internet No",
                                         QStringLiteral("Open ") + m_description,
                                         "Get 1 1 Format 1 0", "Close", "Delete"}));

    // Nothing was counted, so nothing is dropped: the file stays where it is.
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(MediaLibrary_IsLoaded());
    QCOMPARE(loads.Lines(), QStringList({"Loaded"}));
}

void TestBindingNoUncalled::furtherLoadsStillFail() {
    QCOMPARE(MediaLibrary_Load(), -1);
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(MediaLibrary_IsLoaded());

    CMediaInfoHandle handle;
    QVERIFY(handle.IsReady());
    QCOMPARE(handle.Open(m_description), std::size_t(1));
    QCOMPARE(handle.Get(kStreamAudio, 0, QStringLiteral("Language")), QStringLiteral("en"));
    handle.Close();
}

QTEST_GUILESS_MAIN(TestBindingNoUncalled)
#include "tst_binding_no_uncalled.moc"
