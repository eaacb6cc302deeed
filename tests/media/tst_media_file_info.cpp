// The shared media record against the full fake library: what each question asks of the
// library, and that the answers come back unchanged.

#include "FakeMediaInfoSupport.h"
#include "RecordGetters.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kqtest;

class TestMediaFileInfo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void constructionBindsOnceAndTurnsInternetOff();
    void getterAsksItsParameter_data();
    void getterAsksItsParameter();
    void replyIsReturnedUnchanged_data();
    void replyIsReturnedUnchanged();
    void openPassesPathAndResult_data();
    void openPassesPathAndResult();
    void closeReachesLibrary();

private:
    QTemporaryDir m_dir;
    QString m_description;
    QStringList m_constructionCalls;
    QStringList m_secondGetInstanceCalls;
    bool m_sameRecord = false;
    std::unique_ptr<FakeLog> m_log;
};

namespace {
// Every parameter that any getter asks for, plus one that none asks for.
const char* const kAllParameters[] = {
    "CompleteName", "Format",    "FileSize/String", "Duration/String1",
    "StreamCount",  "TextCount", "Format_Version",  "Width",
    "Height",       "FrameRate", "BitRate",         "DisplayAspectRatio/String",
    "Standard",     "Channel(s)", "SamplingRate",   "Language",
};

// A distinct answer for every stream kind, number and parameter: a getter that asks the
// wrong one gets a visibly wrong reply.
QString Answer(int kind, std::size_t number, const QString& parameter) {
    return QStringLiteral("k%1 n%2 %3").arg(kind).arg(number).arg(parameter);
}
} // namespace

void TestMediaFileInfo::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(!MediaLibrary_IsLoaded(), "the record must be the first to bind the library");
    MediaLibrary_SetFileName(FakeLibraryPath("full"));

    QStringList lines;
    for (int kind = 0; kind <= 3; ++kind)
        for (std::size_t number = 0; number <= 3; ++number)
            for (const char* parameter : kAllParameters)
                lines << QStringLiteral("%1 %2 %3=%4")
                             .arg(kind)
                             .arg(number)
                             .arg(QLatin1String(parameter),
                                  Answer(kind, number, QLatin1String(parameter)));
    m_description = m_dir.filePath(QStringLiteral("every-answer.kqfake"));
    QVERIFY(WriteDescription(m_description, lines));

    // The record's first appearance is observed here, before any test touches it.
    FakeLog log;
    QVERIFY(log.IsValid());
    CMediaFileInfo& first = CMediaFileInfo::GetInstance();
    m_constructionCalls = log.Lines();
    log.Clear();
    CMediaFileInfo& second = CMediaFileInfo::GetInstance();
    m_secondGetInstanceCalls = log.Lines();
    m_sameRecord = &first == &second;
}

void TestMediaFileInfo::init() {
    m_log = std::make_unique<FakeLog>();
    QVERIFY(m_log->IsValid());
}

void TestMediaFileInfo::cleanup() { m_log.reset(); }

void TestMediaFileInfo::constructionBindsOnceAndTurnsInternetOff() {
    QCOMPARE(m_constructionCalls, QStringList({"New", "Option Internet No"}));
    QCOMPARE(m_secondGetInstanceCalls, QStringList());
    QVERIFY(m_sameRecord);
    QCOMPARE(MediaLibrary_LoadCount(), 1u);
}

void TestMediaFileInfo::getterAsksItsParameter_data() {
    QTest::addColumn<RecordGetter>("getter");
    QTest::addColumn<std::size_t>("n");
    QTest::addColumn<QString>("expectedCall");
    QTest::addColumn<QString>("expectedReply");

    for (const RecordGetter& getter : RecordGetters()) {
        // Stream 2 shows that n is passed on by the per-stream getters and ignored by the
        // others, which always ask stream 0.
        for (std::size_t n : {std::size_t(0), std::size_t(2)}) {
            const std::size_t number = getter.perStream ? n : 0;
            const QString parameter = QLatin1String(getter.parameter);
            QTest::addRow("%s(%d)", getter.name, int(n))
                << getter << n
                << QStringLiteral("Get %1 %2 %3 1 0").arg(getter.streamKind).arg(number).arg(parameter)
                << Answer(getter.streamKind, number, parameter);
        }
    }
}

void TestMediaFileInfo::getterAsksItsParameter() {
    QFETCH(RecordGetter, getter);
    QFETCH(std::size_t, n);
    QFETCH(QString, expectedCall);
    QFETCH(QString, expectedReply);

    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(m_description), std::size_t(1));
    m_log->Clear();
    const QString reply = getter.call(info, n);
    QCOMPARE(m_log->Lines(), QStringList({expectedCall}));
    QCOMPARE(reply, expectedReply);
    info.Close();
}

void TestMediaFileInfo::replyIsReturnedUnchanged_data() {
    QTest::addColumn<QString>("describedValue"); // as written in the description
    QTest::addColumn<QString>("expected");

    QTest::newRow("blanks kept") << QStringLiteral("  25.000 ") << QStringLiteral("  25.000 ");
    QTest::newRow("control characters") << QStringLiteral("\\t1\\r\\n\\x01\\x1F")
                                        << QStringLiteral("\t1\r\n\x01\x1F");
    QTest::newRow("non-ASCII") << QStringLiteral("Lautstärke ☃ 日本")
                               << QStringLiteral("Lautstärke ☃ 日本");
    QTest::newRow("outside the BMP") << QStringLiteral("🎬😀") << QStringLiteral("🎬😀");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("looks like a number") << QStringLiteral(" +3x") << QStringLiteral(" +3x");
    QTest::newRow("looks like the failure text") << QStringLiteral("Unable to load x")
                                                 << QStringLiteral("Unable to load x");
}

void TestMediaFileInfo::replyIsReturnedUnchanged() {
    QFETCH(QString, describedValue);
    QFETCH(QString, expected);

    const QString path = m_dir.filePath(QStringLiteral("value.kqfake"));
    QVERIFY(WriteDescription(path, {QStringLiteral("0 0 Format=") + describedValue,
                                    QStringLiteral("1 0 StreamCount=") + describedValue,
                                    QStringLiteral("2 1 Language=") + describedValue}));
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(path), std::size_t(1));
    QCOMPARE(info.GetFormat(), expected);
    QCOMPARE(info.GetVideoStreamCount(), expected);
    QCOMPARE(info.GetAudioLanguage(1), expected);
    info.Close();
}

void TestMediaFileInfo::openPassesPathAndResult_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::size_t>("expected");

    QTest::newRow("description") << FakeDataPath(QStringLiteral("two-audio.kqfake"))
                                 << std::size_t(1);
    QTest::newRow("not a description") << FakeDataPath(QStringLiteral("not-media.txt"))
                                       << std::size_t(0);
    QTest::newRow("missing") << FakeDataPath(QStringLiteral("no-such-file.kqfake"))
                             << std::size_t(0);
    QTest::newRow("empty path") << QString() << std::size_t(0);
}

void TestMediaFileInfo::openPassesPathAndResult() {
    QFETCH(QString, path);
    QFETCH(std::size_t, expected);

    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(path), expected);
    // An empty path still reaches the library, as an empty text.
    QCOMPARE(m_log->Lines(), QStringList({QStringLiteral("Open ") + path}));
    if (expected != 0) {
        QCOMPARE(info.GetCompleteName(), path);
        info.Close();
    }
}

void TestMediaFileInfo::closeReachesLibrary() {
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    QCOMPARE(info.Open(m_description), std::size_t(1));
    QCOMPARE(info.GetFormat(), Answer(0, 0, QStringLiteral("Format")));
    m_log->Clear();
    info.Close();
    QCOMPARE(m_log->Lines(), QStringList({"Close"}));
    // With the file closed the library answers nothing, and the record adds nothing of its own.
    QCOMPARE(info.GetFormat(), QString());
}

QTEST_GUILESS_MAIN(TestMediaFileInfo)
#include "tst_media_file_info.moc"
