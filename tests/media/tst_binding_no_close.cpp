// The library binding with a library file that lacks MediaInfo_Close, an entry point the
// program calls: the handle is not ready and never calls through the empty slot.

#include "FakeMediaInfoSupport.h"
#include "RecordGetters.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"

#include <QtTest>

#include <memory>

using namespace kqtest;

class TestBindingNoClose : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void handleIsNotReady();
    void recordAnswersFailureText();

private:
    QString m_library;
    QString m_description;
};

void TestBindingNoClose::initTestCase() {
    m_library = FakeLibraryPath("no-close");
    QVERIFY(QFile::exists(m_library));
    MediaLibrary_SetFileName(m_library);
    m_description = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));
}

void TestBindingNoClose::handleIsNotReady() {
    FakeLog calls;
    auto handle = std::make_unique<CMediaInfoHandle>();
    QVERIFY(MediaLibrary_IsLoaded());
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!handle->IsReady());

    const QString failure = QStringLiteral("Unable to load ") + m_library;
    QCOMPARE(handle->Open(m_description), std::size_t(0));
    QCOMPARE(handle->Get(kStreamGeneral, 0, QStringLiteral("Format")), failure);
    QCOMPARE(handle->Option(QStringLiteral("Internet"), QStringLiteral("No")), failure);
    handle->Close(); // would jump through the empty slot if it reached the library
    handle.reset();

    const QStringList lines = calls.Lines();
    for (const QString& line : lines) {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        QVERIFY2(verb == QLatin1String("New") || verb == QLatin1String("Delete"),
                 qPrintable(line));
    }
    // Whatever the library handed out, it got back.
    QCOMPARE(lines.count(QStringLiteral("Delete")), lines.count(QStringLiteral("New")));
}

void TestBindingNoClose::recordAnswersFailureText() {
    FakeLog calls;
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(m_description), std::size_t(0));
    const QString failure = QStringLiteral("Unable to load ") + m_library;
    for (const RecordGetter& getter : RecordGetters())
        QCOMPARE(getter.call(info, 1), failure);
    info.Close();
    for (const QString& line : calls.Lines())
        QVERIFY2(line == QLatin1String("New"), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestBindingNoClose)
#include "tst_binding_no_close.moc"
