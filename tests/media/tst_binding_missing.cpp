// The library binding and the record when the library file cannot be loaded: every answer
// is the failure text, nothing opens, and a handle object never retries the load.

#include "FakeMediaInfoSupport.h"
#include "RecordGetters.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

using namespace kqtest;

class TestBindingMissing : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failureTextNamesTheLibraryFile();
    void getGivesFailureText_data();
    void getGivesFailureText();
    void optionGivesFailureText();
    void openGivesZero_data();
    void openGivesZero();
    void closeIsHarmless();
    void handleDoesNotRetryTheLoad();
    void recordAnswersFailureText_data();
    void recordAnswersFailureText();

private:
    QString FailureText() const { return QStringLiteral("Unable to load ") + m_library; }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_library; // where the library would be; nothing is there
    std::unique_ptr<FakeLog> m_loads;
};

void TestBindingMissing::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_library = m_dir->filePath(QStringLiteral("libmediainfo.so.0"));
    MediaLibrary_SetFileName(m_library);
    m_loads = std::make_unique<FakeLog>("KQ_FAKE_MEDIAINFO_LOAD_LOG");
}

void TestBindingMissing::cleanup() {
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!MediaLibrary_IsLoaded());
    m_loads.reset();
    m_dir.reset();
}

void TestBindingMissing::failureTextNamesTheLibraryFile() {
    // Only the texts are asked here: a load by the default name would find the system's
    // library.
    MediaLibrary_SetFileName(QStringLiteral("libmediainfo.so.0"));
    QCOMPARE(MediaLibrary_FailureText(), QStringLiteral("Unable to load libmediainfo.so.0"));
    MediaLibrary_SetFileName(m_library);
    QCOMPARE(MediaLibrary_FailureText(), FailureText());
}

void TestBindingMissing::getGivesFailureText_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<std::size_t>("number");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<int>("infoKind");

    QTest::newRow("general") << 0 << std::size_t(0) << "CompleteName" << 1;
    QTest::newRow("video") << 1 << std::size_t(0) << "Format" << 1;
    QTest::newRow("audio, stream 5") << 2 << std::size_t(5) << "Language" << 1;
    QTest::newRow("text") << 3 << std::size_t(0) << "StreamCount" << 1;
    QTest::newRow("unknown kind, largest number")
        << 7 << std::numeric_limits<std::size_t>::max() << "Width" << 1;
    QTest::newRow("negative kind") << -1 << std::size_t(0) << "Format" << 1;
    QTest::newRow("empty parameter") << 0 << std::size_t(0) << "" << 1;
    QTest::newRow("info kind name") << 0 << std::size_t(0) << "Format" << 0;
}

void TestBindingMissing::getGivesFailureText() {
    QFETCH(int, kind);
    QFETCH(std::size_t, number);
    QFETCH(QString, parameter);
    QFETCH(int, infoKind);

    CMediaInfoHandle handle;
    QVERIFY(!handle.IsReady());
    QCOMPARE(handle.Get(kind, number, parameter, infoKind, 0), FailureText());
}

void TestBindingMissing::optionGivesFailureText() {
    CMediaInfoHandle handle;
    QCOMPARE(handle.Option(QStringLiteral("Internet"), QStringLiteral("No")), FailureText());
    QCOMPARE(handle.Option(QString(), QString()), FailureText());
}

void TestBindingMissing::openGivesZero_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("description") << FakeDataPath(QStringLiteral("two-audio.kqfake"));
    QTest::newRow("missing") << FakeDataPath(QStringLiteral("absent.kqfake"));
    QTest::newRow("empty") << QString();
}

void TestBindingMissing::openGivesZero() {
    QFETCH(QString, path);
    CMediaInfoHandle handle;
    QCOMPARE(handle.Open(path), std::size_t(0));
}

void TestBindingMissing::closeIsHarmless() {
    CMediaInfoHandle handle;
    handle.Close();
    handle.Close();
    QVERIFY(!handle.IsReady());
    QCOMPARE(handle.Get(kStreamGeneral, 0, QStringLiteral("Format")), FailureText());
}

void TestBindingMissing::handleDoesNotRetryTheLoad() {
    CMediaInfoHandle handle;
    QVERIFY(!handle.IsReady());

    // The library appears after the handle was made: that handle stays without it.
    QVERIFY(QFile::copy(FakeLibraryPath("full"), m_library));
    const QString description = FakeDataPath(QStringLiteral("two-audio.kqfake"));
    QCOMPARE(handle.Open(description), std::size_t(0));
    QCOMPARE(handle.Get(kStreamGeneral, 0, QStringLiteral("Format")), FailureText());
    QCOMPARE(handle.Option(QStringLiteral("Internet"), QStringLiteral("No")), FailureText());
    handle.Close();
    QVERIFY(!handle.IsReady());
    QVERIFY(!MediaLibrary_IsLoaded());
    QCOMPARE(m_loads->Lines(), QStringList());

    // The copy itself is loadable: a new handle object does load it.
    {
        CMediaInfoHandle fresh;
        QVERIFY(fresh.IsReady());
        QCOMPARE(fresh.Open(description), std::size_t(1));
        fresh.Close();
    }
    QCOMPARE(m_loads->Lines(), QStringList({"Loaded", "Unloaded"}));
}

void TestBindingMissing::recordAnswersFailureText_data() {
    QTest::addColumn<RecordGetter>("getter");
    QTest::addColumn<std::size_t>("n");
    for (const RecordGetter& getter : RecordGetters()) {
        QTest::addRow("%s(0)", getter.name) << getter << std::size_t(0);
        if (getter.perStream)
            QTest::addRow("%s(3)", getter.name) << getter << std::size_t(3);
    }
}

void TestBindingMissing::recordAnswersFailureText() {
    QFETCH(RecordGetter, getter);
    QFETCH(std::size_t, n);

    // The record keeps the handle it got at its creation, in the first row.
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(FakeDataPath(QStringLiteral("two-audio.kqfake"))), std::size_t(0));
    QCOMPARE(info.Open(QString()), std::size_t(0));
    QCOMPARE(getter.call(info, n), FailureText());
    info.Close();
}

QTEST_GUILESS_MAIN(TestBindingMissing)
#include "tst_binding_missing.moc"
