// The library binding with a library file that exports every entry point: load counting,
// release, and exactly what each guarded operation hands to the library.

#include "FakeMediaInfoSupport.h"
#include "media/MediaInfoHandle.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

using namespace kqtest;

class TestBindingFull : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadIsCountedAndReleasedAtZero();
    void constructionWhileLoadedKeepsCount();
    void openPassesPath_data();
    void openPassesPath();
    void getPassesArguments_data();
    void getPassesArguments();
    void getUsesTextByNameByDefault();
    void optionPassesTexts_data();
    void optionPassesTexts();
    void repliesAreCopiedBeforeTheNextCall();
    void closeReachesLibrary();

private:
    QString m_library;
    QString m_description;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeLog> m_calls;
    std::unique_ptr<FakeLog> m_loads;
};

void TestBindingFull::initTestCase() {
    m_library = FakeLibraryPath("full");
    QVERIFY2(QFile::exists(m_library), qPrintable(m_library));
    MediaLibrary_SetFileName(m_library);
    m_description = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));
}

void TestBindingFull::init() {
    // No handle outlives a test, so every test starts unloaded.
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!MediaLibrary_IsLoaded());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_calls = std::make_unique<FakeLog>();
    m_loads = std::make_unique<FakeLog>("KQ_FAKE_MEDIAINFO_LOAD_LOG");
    QVERIFY(m_calls->IsValid() && m_loads->IsValid());
}

void TestBindingFull::cleanup() {
    // Only the six entry points of the handle are ever called.
    static const QStringList called = {"New", "Delete", "Open", "Close", "Get", "Option"};
    for (const QString& line : m_calls->Lines())
        QVERIFY2(called.contains(line.section(QLatin1Char(' '), 0, 0)), qPrintable(line));
    MediaLibrary_SetFileName(m_library);
    m_calls.reset();
    m_loads.reset();
    m_dir.reset();
}

void TestBindingFull::loadIsCountedAndReleasedAtZero() {
    auto handle = std::make_unique<CMediaInfoHandle>();
    QVERIFY(handle->IsReady());
    QCOMPARE(MediaLibrary_LoadCount(), 1u);
    QVERIFY(MediaLibrary_IsLoaded());
    for (int i = 0; i < kMediaEntryPointCount; ++i)
        QVERIFY2(MediaLibrary_IsResolved(i), kMediaEntryPointNames[i]);
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded"}));
    QCOMPARE(m_calls->Lines(), QStringList({"New"}));

    // A further load only counts: with the file name pointing nowhere, touching the file
    // again would fail.
    MediaLibrary_SetFileName(m_dir->filePath(QStringLiteral("absent/libmediainfo.so.0")));
    QCOMPARE(MediaLibrary_Load(), 1);
    QCOMPARE(MediaLibrary_LoadCount(), 2u);
    MediaLibrary_SetFileName(m_library);
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded"}));

    MediaLibrary_Unload();
    QCOMPARE(MediaLibrary_LoadCount(), 1u);
    QVERIFY(MediaLibrary_IsLoaded());
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded"}));
    QVERIFY(handle->IsReady());
    QCOMPARE(handle->Open(m_description), std::size_t(1));
    handle->Close();

    // The handle's own unload brings the count to 0 and gives the file back.
    m_calls->Clear();
    handle.reset();
    QCOMPARE(m_calls->Lines(), QStringList({"Delete"}));
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!MediaLibrary_IsLoaded());
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded", "Unloaded"}));
}

void TestBindingFull::constructionWhileLoadedKeepsCount() {
    auto first = std::make_unique<CMediaInfoHandle>();
    auto second = std::make_unique<CMediaInfoHandle>();
    QVERIFY(first->IsReady());
    QVERIFY(second->IsReady());
    QCOMPARE(MediaLibrary_LoadCount(), 1u);
    QCOMPARE(m_calls->Lines(), QStringList({"New", "New"}));

    // Dropping the second handle drops the only counted load: the file is released, and the
    // first handle must not call into it any more.
    second.reset();
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!MediaLibrary_IsLoaded());
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded", "Unloaded"}));
    m_calls->Clear();
    QVERIFY(!first->IsReady());
    QCOMPARE(first->Open(m_description), std::size_t(0));
    QCOMPARE(first->Get(kStreamGeneral, 0, QStringLiteral("Format")),
             QStringLiteral("Unable to load ") + m_library);
    first->Close();
    first.reset();
    QCOMPARE(m_calls->Lines(), QStringList());
}

void TestBindingFull::openPassesPath_data() {
    QTest::addColumn<QString>("fileName"); // copied into a temporary folder under this name
    QTest::addColumn<QString>("path");     // when fileName is empty: used as it is
    QTest::addColumn<std::size_t>("expected");

    QTest::newRow("description") << QString() << m_description << std::size_t(1);
    QTest::newRow("not a description")
        << QString() << FakeDataPath(QStringLiteral("not-media.txt")) << std::size_t(0);
    QTest::newRow("missing") << QString() << FakeDataPath(QStringLiteral("absent.kqfake"))
                             << std::size_t(0);
    QTest::newRow("empty path") << QString() << QString() << std::size_t(0);
    QTest::newRow("blanks and quotes")
        << QStringLiteral(" a 'b' \"c\" .kqfake") << QString() << std::size_t(1);
    QTest::newRow("non-ASCII") << QStringLiteral("vidéo ☃ 日本.kqfake") << QString()
                               << std::size_t(1);
    QTest::newRow("outside the BMP") << QStringLiteral("🎬😀.kqfake") << QString()
                                     << std::size_t(1);
}

void TestBindingFull::openPassesPath() {
    QFETCH(QString, fileName);
    QFETCH(QString, path);
    QFETCH(std::size_t, expected);
    if (!fileName.isEmpty()) {
        path = m_dir->filePath(fileName);
        QVERIFY(QFile::copy(m_description, path));
    }

    CMediaInfoHandle handle;
    m_calls->Clear();
    QCOMPARE(handle.Open(path), expected);
    // The library sees the very path, as UTF-8 here; an empty path as an empty text.
    QCOMPARE(m_calls->Lines(), QStringList({QStringLiteral("Open ") + path}));
    if (expected != 0)
        QCOMPARE(handle.Get(kStreamGeneral, 0, QStringLiteral("CompleteName")), path);
}

void TestBindingFull::getPassesArguments_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<std::size_t>("number");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<int>("infoKind");
    QTest::addColumn<int>("searchKind");
    QTest::addColumn<QString>("expectedCall");
    QTest::addColumn<QString>("expectedReply");

    const auto big = std::numeric_limits<std::size_t>::max();
    QTest::newRow("general format") << 0 << std::size_t(0) << "Format" << 1 << 0
                                    << "Get 0 0 Format 1 0" << "Matroska";
    QTest::newRow("second video stream") << 1 << std::size_t(1) << "Standard" << 1 << 0
                                         << "Get 1 1 Standard 1 0" << "NTSC";
    QTest::newRow("audio channels") << 2 << std::size_t(0) << "Channel(s)" << 1 << 0
                                    << "Get 2 0 Channel(s) 1 0" << "2";
    QTest::newRow("text stream") << 3 << std::size_t(0) << "Format" << 1 << 0
                                 << "Get 3 0 Format 1 0" << "UTF-8";
    QTest::newRow("stream beyond the count") << 1 << std::size_t(7) << "Width" << 1 << 0
                                             << "Get 1 7 Width 1 0" << "";
    QTest::newRow("largest stream number")
        << 1 << big << "Width" << 1 << 0
        << QStringLiteral("Get 1 %1 Width 1 0").arg(big) << "";
    QTest::newRow("empty parameter") << 0 << std::size_t(0) << "" << 1 << 0
                                     << "Get 0 0  1 0" << "";
    QTest::newRow("unknown parameter") << 0 << std::size_t(0) << "NoSuchThing" << 1 << 0
                                       << "Get 0 0 NoSuchThing 1 0" << "";
    QTest::newRow("info kind name") << 0 << std::size_t(0) << "Format" << 0 << 0
                                    << "Get 0 0 Format 0 0" << "";
    QTest::newRow("search kind other") << 0 << std::size_t(0) << "Format" << 1 << 1
                                       << "Get 0 0 Format 1 1" << "";
    QTest::newRow("value with control characters and non-BMP letters")
        << 0 << std::size_t(0) << "Title" << 1 << 0 << "Get 0 0 Title 1 0"
        << QStringLiteral("Tab\there\x01 é 😀");
    QTest::newRow("non-ASCII parameter") << 0 << std::size_t(0) << "Größe" << 1 << 0
                                         << "Get 0 0 Größe 1 0" << "groß";
}

void TestBindingFull::getPassesArguments() {
    QFETCH(int, kind);
    QFETCH(std::size_t, number);
    QFETCH(QString, parameter);
    QFETCH(int, infoKind);
    QFETCH(int, searchKind);
    QFETCH(QString, expectedCall);
    QFETCH(QString, expectedReply);

    CMediaInfoHandle handle;
    QCOMPARE(handle.Open(m_description), std::size_t(1));
    m_calls->Clear();
    QCOMPARE(handle.Get(kind, number, parameter, infoKind, searchKind), expectedReply);
    QCOMPARE(m_calls->Lines(), QStringList({expectedCall}));
}

void TestBindingFull::getUsesTextByNameByDefault() {
    CMediaInfoHandle handle;
    QCOMPARE(handle.Open(m_description), std::size_t(1));
    m_calls->Clear();
    QCOMPARE(handle.Get(kStreamVideo, 1, QStringLiteral("Width")), QStringLiteral("160"));
    QCOMPARE(m_calls->Lines(), QStringList({"Get 1 1 Width 1 0"}));
}

void TestBindingFull::optionPassesTexts_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expectedCall");

    QTest::newRow("internet off") << "Internet" << "No" << "Option Internet No";
    QTest::newRow("empty texts") << "" << "" << "Option  ";
    QTest::newRow("non-ASCII") << "Sprache" << "Français ☃" << "Option Sprache Français ☃";
}

void TestBindingFull::optionPassesTexts() {
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, expectedCall);

    CMediaInfoHandle handle;
    m_calls->Clear();
    // The fake answers "<option>=<value>": the reply is the library's, unchanged.
    QCOMPARE(handle.Option(option, value), option + QLatin1Char('=') + value);
    QCOMPARE(m_calls->Lines(), QStringList({expectedCall}));
}

void TestBindingFull::repliesAreCopiedBeforeTheNextCall() {
    // The library frees (and here first overwrites) a reply on the next call on the handle.
    CMediaInfoHandle handle;
    QCOMPARE(handle.Open(m_description), std::size_t(1));
    const QString format = handle.Get(kStreamVideo, 0, QStringLiteral("Format"));
    const QString option = handle.Option(QStringLiteral("Internet"), QStringLiteral("No"));
    const QString width = handle.Get(kStreamVideo, 0, QStringLiteral("Width"));
    const QString standard = handle.Get(kStreamVideo, 1, QStringLiteral("Standard"));
    handle.Close();
    QCOMPARE(format, QStringLiteral("AVC"));
    QCOMPARE(option, QStringLiteral("Internet=No"));
    QCOMPARE(width, QStringLiteral("320"));
    QCOMPARE(standard, QStringLiteral("NTSC"));
}

void TestBindingFull::closeReachesLibrary() {
    CMediaInfoHandle handle;
    QCOMPARE(handle.Open(m_description), std::size_t(1));
    m_calls->Clear();
    handle.Close();
    QCOMPARE(m_calls->Lines(), QStringList({"Close"}));
    QCOMPARE(handle.Get(kStreamGeneral, 0, QStringLiteral("Format")), QString());
}

QTEST_GUILESS_MAIN(TestBindingFull)
#include "tst_binding_full.moc"
