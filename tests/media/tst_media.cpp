// The library binding in this process: a missing library, a full one, and one that lacks a
// name the program never calls. The binding's state belongs to the process, so the cases run
// in this order; the calls reach the fake library, which logs them.

#include "FakeMediaInfoSupport.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"

#include <QtTest>

#include <memory>

using namespace kqtest;

class TestMedia : public QObject {
    Q_OBJECT
    QTemporaryDir m_logs; // the calls and the loads, as the fake logs them
    const QString m_file = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));

    QStringList Logged(const char* log) const {
        return QString::fromUtf8(ReadBytes(m_logs.filePath(log))).split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void init() {
        for (const char* log : {"KQ_FAKE_MEDIAINFO_LOG", "KQ_FAKE_MEDIAINFO_LOAD_LOG"})
            QFile::remove(m_logs.filePath(log)),
                qputenv(log, QFile::encodeName(m_logs.filePath(log)));
    }

    void missingLibraryAnswersTheFailureText() {
        QCOMPARE(MediaLibrary_FileName(), QStringLiteral("libmediainfo.so.0"));
        const QString absent = QDir::tempPath() + QStringLiteral("/absent/libmediainfo.so.0");
        MediaLibrary_SetFileName(absent);
        const QString failure = QStringLiteral("Unable to load ") + absent;
        CMediaFileInfo record;
        QCOMPARE(record.Open(m_file), std::size_t(0));
        record.Close();
        QCOMPARE(record.GetFormat(), failure);
        QCOMPARE(record.GetAudioLanguage(7), failure);
        CMediaInfoHandle handle;
        QCOMPARE(handle.Option(QStringLiteral("Internet"), QStringLiteral("No")), failure);
        // The failed load is not retried by the same handle, even once a library is there.
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        QCOMPARE(handle.Open(m_file), std::size_t(0));
        QCOMPARE(handle.Get(kStreamVideo, 1, QStringLiteral("Width")),
                 QStringLiteral("Unable to load ") + FakeLibraryPath("full"));
        QCOMPARE(MediaLibrary_LoadCount(), 0u);
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOG") + Logged("KQ_FAKE_MEDIAINFO_LOAD_LOG"),
                 QStringList());
    }

    void loadsAreCountedAndTheFileReleasedAtZero() {
        MediaLibrary_Unload(); // at count 0: nothing to drop
        auto first = std::make_unique<CMediaInfoHandle>();
        QVERIFY(first->IsReady());
        QCOMPARE(MediaLibrary_LoadCount(), 1u);
        auto second = std::make_unique<CMediaInfoHandle>(); // the library is loaded already
        QCOMPARE(MediaLibrary_Load(), 1);
        QCOMPARE(MediaLibrary_LoadCount(), 2u);
        MediaLibrary_Unload();
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOAD_LOG"), QStringList{"Loaded"});
        first.reset();
        QCOMPARE(MediaLibrary_LoadCount(), 0u);
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOAD_LOG"), QStringList({"Loaded", "Unloaded"}));
        // The other handle must not reach into the released file.
        QVERIFY(!second->IsReady());
        QCOMPARE(second->Open(m_file), std::size_t(0));
        second.reset();
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOG"), QStringList({"New", "New", "Delete"}));
    }

    void callsPassTheirArgumentsAndCopyTheReplies() {
        CMediaInfoHandle handle;
        QCOMPARE(handle.Option(QStringLiteral("Internet"), QStringLiteral("No")),
                 QStringLiteral("Internet=No"));
        QCOMPARE(handle.Open(QString()), std::size_t(0));
        QCOMPARE(handle.Open(m_file), std::size_t(1));
        const QString title = handle.Get(kStreamGeneral, 0, QStringLiteral("Title"));
        QCOMPARE(handle.Get(kStreamVideo, 1, QStringLiteral("Format_Version")),
                 QStringLiteral("Version 2"));
        QCOMPARE(title, QStringLiteral("Tab\there\x01 é 😀")); // still whole after the next call
        QCOMPARE(handle.Get(kStreamGeneral, 0, QStringLiteral("Größe"), kInfoName, 1), QString());
        QCOMPARE(handle.Get(kStreamGeneral, 0, QString()), QString());
        handle.Close();
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOG"),
                 QStringList({"New", "Option Internet No", "Open ", "Open " + m_file,
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
        QCOMPARE(handle.Get(kStreamAudio, 0, QStringLiteral("Language")), QStringLiteral("en"));
        QCOMPARE(MediaLibrary_Load(), -1);
        QCOMPARE(Logged("KQ_FAKE_MEDIAINFO_LOAD_LOG"), QStringList{"Loaded"});
    }
};

QTEST_GUILESS_MAIN(TestMedia)
#include "tst_media.moc"
