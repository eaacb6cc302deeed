// The library binding in this process: a missing library, a full one, and one that lacks a
// name the program never calls. The binding's state belongs to the process, so the cases run
// in this order; the calls reach the fake library, which logs them.

#include "FakeMediaInfoSupport.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"

#include <QtTest>

#include <memory>

using namespace kq;

using namespace kqtest;

class TestMedia : public QObject {
    Q_OBJECT
    QTemporaryDir m_log; // the calls, the loads and unloads, as the fake logs them
    const QString m_file = FakeDataPath("two-video-one-audio.kqfake");

    QStringList Logged() const {
        return QString::fromUtf8(ReadBytes(m_log.filePath("log"))).split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void init() {
        QFile::remove(m_log.filePath("log"));
        qputenv("KQ_FAKE_MEDIAINFO_LOG", QFile::encodeName(m_log.filePath("log")));
    }

    void missingLibraryAnswersTheFailureText() {
        QCOMPARE(MediaLibrary_FileName(), "libmediainfo.so.0");
        const QString absent = QDir::tempPath() + "/absent/libmediainfo.so.0";
        MediaLibrary_SetFileName(absent);
        const QString failure = "Unable to load " + absent;
        CMediaFileInfo record;
        QCOMPARE(record.Open(m_file), std::size_t(0));
        record.Close();
        QCOMPARE(record.GetFormat(), failure);
        QCOMPARE(record.GetAudioLanguage(7), failure);
        CMediaInfoHandle handle;
        QCOMPARE(handle.Option("Internet", "No"), failure);
        // The failed load is not retried by the same handle, even once a library is there.
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        QCOMPARE(handle.Open(m_file), std::size_t(0));
        QCOMPARE(handle.Get(kStreamVideo, 1, "Width"), "Unable to load " + FakeLibraryPath("full"));
        QCOMPARE(MediaLibrary_LoadCount(), 0u);
        QCOMPARE(Logged(), QStringList());
    }

    void loadsAreCountedAndTheFileReleasedAtZero() {
        MediaLibrary_Unload(); // at count 0: nothing to drop
        auto first = std::make_unique<CMediaInfoHandle>();
        QVERIFY(first->IsReady());
        QCOMPARE(MediaLibrary_LoadCount(), 1u);
        auto second = std::make_unique<CMediaInfoHandle>(); // the library is loaded already
        QCOMPARE(MediaLibrary_Load(), 1);
        QCOMPARE(MediaLibrary_LoadCount(), 2u);
        MediaLibrary_Unload(); // the file stays mapped: see the log's order
        first.reset();
        QCOMPARE(MediaLibrary_LoadCount(), 0u);
        // The other handle must not reach into the released file.
        QVERIFY(!second->IsReady());
        QCOMPARE(second->Open(m_file), std::size_t(0));
        second.reset();
        QCOMPARE(Logged(), QStringList({"Loaded", "New", "New", "Delete", "Unloaded"}));
    }

    void callsPassTheirArgumentsAndCopyTheReplies() {
        CMediaInfoHandle handle;
        QCOMPARE(handle.Option("Internet", "No"), "Internet=No");
        QCOMPARE(handle.Open(QString()), std::size_t(0));
        QCOMPARE(handle.Open(m_file), std::size_t(1));
        const QString title = handle.Get(kStreamGeneral, 0, "Title");
        QCOMPARE(handle.Get(kStreamVideo, 1, "Format_Version"), "Version 2");
        QCOMPARE(title, "Tab\there\x01 é 😀"); // still whole after the next call
        QCOMPARE(handle.Get(kStreamGeneral, 0, "Größe", kInfoName, 1), QString());
        QCOMPARE(handle.Get(kStreamGeneral, 0, QString()), QString());
        handle.Close();
        QCOMPARE(Logged(),
                 QStringList({"Loaded", "New", "Option Internet No", "Open ", "Open " + m_file,
                              "Get 0 0 Title 1 0", "Get 1 1 Format_Version 1 0",
                              "Get 0 0 Größe 0 1", "Get 0 0  1 0", "Close"}));
    }

    // A library lacking only a name that is never called is used all the same, uncounted.
    void partlyResolvedLibraryStaysLoadedUncounted() {
        MediaLibrary_SetFileName(FakeLibraryPath("no-uncalled"));
        QCOMPARE(MediaLibrary_Load(), -1);
        QCOMPARE(MediaLibrary_LoadCount(), 0u);
        QVERIFY(MediaLibrary_IsLoaded());
        CMediaInfoHandle handle;
        QCOMPARE(handle.Open(m_file), std::size_t(1));
        QCOMPARE(handle.Get(kStreamAudio, 0, "Language"), "en");
        QCOMPARE(MediaLibrary_Load(), -1);
        QCOMPARE(Logged(),
                 QStringList({"Loaded", "New", "Open " + m_file, "Get 2 0 Language 1 0"}));
    }
};

QTEST_GUILESS_MAIN(TestMedia)
#include "tst_media.moc"
