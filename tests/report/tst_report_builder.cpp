// Report builds against the full fake library: the exact bytes of the report file, what is
// asked of the library for each file, and what happens when the file cannot be written.

#include "FakeMediaInfoSupport.h"
#include "media/MediaFileInfo.h"
#include "media/MediaInfoHandle.h"
#include "report/AnalysisPool.h"
#include "report/ReportBuilder.h"
#include "report/ReportLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kqtest;

// What a worker asks of the library before its first file.
const QStringList kWorkerSetup = {QStringLiteral("New"), QStringLiteral("Option Internet No")};

class TestReportBuilder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void internetOptionSentOnceOverTwoBuilds();
    void reportGoesBesideTheProgram();
    void writesExactBytes_data();
    void writesExactBytes();
    void samePathTwiceGivesIdenticalElements();
    void valueIsEscaped_data();
    void valueIsEscaped();
    void streamCountsDriveElementsAndCalls_data();
    void streamCountsDriveElementsAndCalls();
    void leftOutPathsNeverReachTheLibrary();
    void failedWriteKeepsPreviousReport();

private:
    QString Resolve(QString path) const;
    QByteArray Expected(const QString& name) const;

    QTemporaryDir m_dir;
    QString m_reportPath;
    QString m_userDataDir;
    QStringList m_firstBuildsCalls;
    bool m_firstBuildsWrote = false;
    std::unique_ptr<FakeLog> m_log;
};

namespace {

const QString kNonAsciiName = QStringLiteral("vidéo ☃ 😀 & 'co'.kqfake");

// The report's escaping of a text, for the paths put into expected files.
QByteArray XmlText(const QString& text) {
    QByteArray out;
    for (char c : text.toUtf8()) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

QByteArray Crlf(QByteArray text) {
    text.replace("\r", "");
    text.replace("\n", "\r\n");
    return text;
}

// The calls that the report makes for one opened file with these stream counts.
QStringList CallsForFile(const QString& path, int videoCount, int audioCount) {
    QStringList calls = {QStringLiteral("Open ") + path,
                         "Get 0 0 CompleteName 1 0",
                         "Get 0 0 Format 1 0",
                         "Get 0 0 FileSize/String 1 0",
                         "Get 0 0 Duration/String1 1 0",
                         "Get 0 0 TextCount 1 0",
                         "Get 1 0 StreamCount 1 0"};
    for (int n = 0; n < videoCount; ++n)
        for (const char* parameter :
             {"Format", "Format_Version", "Width", "Height", "FrameRate", "BitRate",
              "DisplayAspectRatio/String", "Standard"})
            calls << QStringLiteral("Get 1 %1 %2 1 0").arg(n).arg(QLatin1String(parameter));
    calls << "Get 2 0 StreamCount 1 0";
    for (int n = 0; n < audioCount; ++n)
        for (const char* parameter :
             {"Format", "BitRate", "Channel(s)", "SamplingRate", "Format_Version", "Language"})
            calls << QStringLiteral("Get 2 %1 %2 1 0").arg(n).arg(QLatin1String(parameter));
    calls << "Close";
    return calls;
}

// Lowers the largest file this process may write; writes beyond it fail with EFBIG, for
// root as well, which a read-only folder would not do.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool IsActive() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

void TestReportBuilder::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(!MediaLibrary_IsLoaded(), "the first builds of the process are observed here");
    MediaLibrary_SetFileName(FakeLibraryPath("full"));
    // Keep the per-user folder out of the home directory: a report must never go there.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("xdg"))));
    m_userDataDir = m_dir.filePath(QStringLiteral("xdg/KQCheckMediaInfo"));
    m_reportPath = QCoreApplication::applicationDirPath() + QStringLiteral("/MediaFileInfo.xml");
    QFile::remove(m_reportPath);
    QVERIFY(QFile::copy(FakeDataPath(QStringLiteral("non-ascii.kqfake")),
                        m_dir.filePath(kNonAsciiName)));

    FakeLog log;
    const QStringList paths = {FakeDataPath(QStringLiteral("two-audio.kqfake"))};
    m_firstBuildsWrote =
        BuildReport(paths) == BuildStatus::Written && BuildReport(paths) == BuildStatus::Written;
    m_firstBuildsCalls = log.Lines();
}

void TestReportBuilder::init() {
    m_log = std::make_unique<FakeLog>();
    QVERIFY(m_log->IsValid());
}

void TestReportBuilder::cleanup() { m_log.reset(); }

QString TestReportBuilder::Resolve(QString path) const {
    path.replace(QLatin1String("@DATA@"), QStringLiteral(KQ_FAKE_DATA_DIR));
    path.replace(QLatin1String("@TMP@"), m_dir.path());
    return path;
}

QByteArray TestReportBuilder::Expected(const QString& name) const {
    QByteArray text = ReadBytes(FakeDataPath(QStringLiteral("expected/") + name));
    text.replace("@DATA@", XmlText(QStringLiteral(KQ_FAKE_DATA_DIR)));
    text.replace("@TMP@", XmlText(m_dir.path()));
    return Crlf(text);
}

void TestReportBuilder::internetOptionSentOnceOverTwoBuilds() {
    QVERIFY(m_firstBuildsWrote);
    const QString open = QStringLiteral("Open ") + FakeDataPath(QStringLiteral("two-audio.kqfake"));
    // Each build's worker creates its record once and sets the option before its first file.
    QCOMPARE(m_firstBuildsCalls.count(QStringLiteral("New")), 2);
    QCOMPARE(m_firstBuildsCalls.count(QStringLiteral("Option Internet No")), 2);
    QCOMPARE(m_firstBuildsCalls.count(open), 2);
    const QStringList firstBuild = m_firstBuildsCalls.mid(0, m_firstBuildsCalls.size() / 2);
    QCOMPARE(firstBuild.mid(0, 3), QStringList({"New", "Option Internet No", open}));
    QCOMPARE(m_firstBuildsCalls.mid(firstBuild.size()), firstBuild);
    // The library is loaded in the workers only, never here.
    QCOMPARE(MediaLibrary_LoadCount(), 0u);
    QVERIFY(!MediaLibrary_IsLoaded());
}

void TestReportBuilder::reportGoesBesideTheProgram() {
    QCOMPARE(GetProgramDirectory(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(ReportFilePath(), m_reportPath);
    QFile::remove(m_reportPath);
    QCOMPARE(BuildReport({FakeDataPath(QStringLiteral("two-audio.kqfake"))}), BuildStatus::Written);
    QVERIFY(QFile::exists(m_reportPath));
    QVERIFY(!QFile::exists(m_userDataDir + QStringLiteral("/MediaFileInfo.xml")));
}

void TestReportBuilder::writesExactBytes_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("expected");

    QTest::newRow("two files, two left out")
        << QStringList({"@DATA@/two-video-one-audio.kqfake", "@DATA@/absent.kqfake",
                        "@DATA@/not-media.txt", "@DATA@/two-audio.kqfake"})
        << "two-files.xml";
    QTest::newRow("nothing opens")
        << QStringList({"@DATA@/absent.kqfake", "@DATA@/not-media.txt", "@DATA@", ""})
        << "nothing-opens.xml";
    QTest::newRow("no paths") << QStringList() << "nothing-opens.xml";
    QTest::newRow("same path twice")
        << QStringList({"@DATA@/two-audio.kqfake", "@DATA@/two-audio.kqfake"})
        << "same-path-twice.xml";
    QTest::newRow("no video, two audio") << QStringList({"@DATA@/two-audio.kqfake"})
                                         << "two-audio.xml";
    QTest::newRow("non-ASCII values and path")
        << QStringList({QStringLiteral("@TMP@/") + kNonAsciiName}) << "non-ascii.xml";
}

void TestReportBuilder::writesExactBytes() {
    QFETCH(QStringList, paths);
    QFETCH(QString, expected);
    for (QString& path : paths)
        path = Resolve(path);

    // A longer earlier report must not leave anything behind.
    QVERIFY(WriteBytes(m_reportPath, QByteArray(20000, 'x')));
    QCOMPARE(BuildReport(paths), BuildStatus::Written);
    const QByteArray expectedBytes = Expected(expected);
    QVERIFY(!expectedBytes.isEmpty());
    QCOMPARE(ReadBytes(m_reportPath), expectedBytes);
}

void TestReportBuilder::samePathTwiceGivesIdenticalElements() {
    const QString path = FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"));
    AnalysisOptions oneWorker;
    oneWorker.workers = 1;
    const ReportResult result = CollectReport({path, path}, oneWorker);
    QCOMPARE(result.status, ReportStatus::Complete);
    const QByteArray report = result.xml;
    const QByteArray start = "\r\n    <FileInfo>\r\n";
    const qsizetype first = report.indexOf(start);
    const qsizetype second = report.indexOf(start, first + 1);
    QVERIFY(first >= 0 && second > first);
    QCOMPARE(report.indexOf(start, second + 1), qsizetype(-1));
    const QByteArray end = "\r\n</AllFileInfo>\r\n";
    QVERIFY(report.endsWith(end));
    QCOMPARE(report.mid(first, second - first),
             report.mid(second, report.size() - end.size() - second));
    // Both opened and asked in full, one after the other, by the one worker.
    QCOMPARE(m_log->Lines(),
             kWorkerSetup + CallsForFile(path, 2, 1) + CallsForFile(path, 2, 1));
}

void TestReportBuilder::valueIsEscaped_data() {
    QTest::addColumn<QString>("described"); // the value as written in the description
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ampersand") << "a & b" << QByteArray("a &amp; b");
    QTest::newRow("character reference") << "&#x41;" << QByteArray("&amp;#x41;");
    QTest::newRow("decimal reference") << "&#65;" << QByteArray("&amp;#65;");
    QTest::newRow("entity") << "&amp;" << QByteArray("&amp;amp;");
    QTest::newRow("angle brackets") << "<b>]]>" << QByteArray("&lt;b&gt;]]&gt;");
    QTest::newRow("quotes") << "\"x\" 'y'" << QByteArray("&quot;x&quot; &apos;y&apos;");
    QTest::newRow("line feed") << "a\\nb" << QByteArray("a&#x0A;b");
    QTest::newRow("CR LF") << "\\r\\n" << QByteArray("&#x0D;&#x0A;");
    QTest::newRow("tab") << "\\t" << QByteArray("&#x09;");
    QTest::newRow("start of heading") << "\\x01" << QByteArray("&#x01;");
    QTest::newRow("unit separator") << "x\\x1Fy" << QByteArray("x&#x1F;y");
    QTest::newRow("delete") << "\\x7F" << QByteArray("\x7F");
    QTest::newRow("C1 control, as UTF-8") << "\\x85" << QByteArray("\xC2\x85");
    QTest::newRow("blanks kept") << "  2 s  " << QByteArray("  2 s  ");
    QTest::newRow("non-ASCII") << "é ☃ 日本 😀" << QByteArray("é ☃ 日本 😀");
}

void TestReportBuilder::valueIsEscaped() {
    QFETCH(QString, described);
    QFETCH(QByteArray, expected);

    const QString path = m_dir.filePath(QStringLiteral("escape.kqfake"));
    QVERIFY(WriteDescription(path, {QStringLiteral("0 0 Format=") + described}));
    QCOMPARE(BuildReport({path}), BuildStatus::Written);
    QByteArray file = Crlf("<AllFileInfo>\n"
                           "    <FileInfo>\n"
                           "        <GeneralInfo>\n"
                           "            <CompleteName>@PATH@</CompleteName>\n"
                           "            <Format>@VALUE@</Format>\n"
                           "            <FileSize></FileSize>\n"
                           "            <Duration></Duration>\n"
                           "            <Subtitlecount></Subtitlecount>\n"
                           "        </GeneralInfo>\n"
                           "    </FileInfo>\n"
                           "</AllFileInfo>\n");
    file.replace("@PATH@", XmlText(path));
    file.replace("@VALUE@", expected);
    QCOMPARE(ReadBytes(m_reportPath), file);
}

void TestReportBuilder::streamCountsDriveElementsAndCalls_data() {
    QTest::addColumn<QString>("videoText");
    QTest::addColumn<QString>("audioText");
    QTest::addColumn<int>("videoCount");
    QTest::addColumn<int>("audioCount");

    QTest::newRow("2 video, 0 audio") << "2" << "0" << 2 << 0;
    QTest::newRow("0 video, 2 audio") << "0" << "2" << 0 << 2;
    QTest::newRow("empty and x") << "" << "x" << 0 << 0;
    QTest::newRow("x and empty") << "x" << "" << 0 << 0;
    QTest::newRow("leading blank, negative") << " 3" << "-1" << 3 << 0;
    QTest::newRow("negative, leading blank") << "-1" << " 3" << 0 << 3;
    QTest::newRow("plus signs") << "+2" << "+2" << 2 << 2;
    QTest::newRow("one each") << "1" << "1" << 1 << 1;
}

void TestReportBuilder::streamCountsDriveElementsAndCalls() {
    QFETCH(QString, videoText);
    QFETCH(QString, audioText);
    QFETCH(int, videoCount);
    QFETCH(int, audioCount);

    const QString path = m_dir.filePath(QStringLiteral("counts.kqfake"));
    QStringList lines = {QStringLiteral("1 0 StreamCount=") + videoText,
                         QStringLiteral("2 0 StreamCount=") + audioText};
    for (int n = 0; n < 4; ++n)
        lines << QStringLiteral("1 %1 Format=video %1").arg(n)
              << QStringLiteral("2 %1 Format=audio %1").arg(n);
    QVERIFY(WriteDescription(path, lines));

    QCOMPARE(BuildReport({path}), BuildStatus::Written);
    QCOMPARE(m_log->Lines(), kWorkerSetup + CallsForFile(path, videoCount, audioCount));

    const QByteArray report = ReadBytes(m_reportPath);
    QCOMPARE(report.count("        <Video>\r\n"), videoCount);
    QCOMPARE(report.count("        <Audio>\r\n"), audioCount);
    // Streams in order, from number 0.
    qsizetype at = 0;
    for (int n = 0; n < videoCount; ++n) {
        at = report.indexOf(QStringLiteral("<Format>video %1</Format>").arg(n).toUtf8(), at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("video %1").arg(n)));
    }
    for (int n = 0; n < audioCount; ++n) {
        at = report.indexOf(QStringLiteral("<Format>audio %1</Format>").arg(n).toUtf8(), at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("audio %1").arg(n)));
    }
    QVERIFY(!report.contains(QStringLiteral("video %1<").arg(videoCount).toUtf8()));
    QVERIFY(!report.contains(QStringLiteral("audio %1<").arg(audioCount).toUtf8()));
}

void TestReportBuilder::leftOutPathsNeverReachTheLibrary() {
    const QString good = FakeDataPath(QStringLiteral("two-audio.kqfake"));
    const QString notMedia = FakeDataPath(QStringLiteral("not-media.txt"));
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.kqfake"));
    QFile::remove(fifo);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QStringList problems = {FakeDataPath(QStringLiteral("absent.kqfake")),
                            QStringLiteral(KQ_FAKE_DATA_DIR), fifo, QStringLiteral("/dev/null")};
    if (::geteuid() != 0) { // root reads whatever the mode says
        const QString locked = m_dir.filePath(QStringLiteral("locked.kqfake"));
        QVERIFY(QFile::copy(good, locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        problems << locked;
    }

    const ReportResult result =
        CollectReport(problems + QStringList({notMedia, good}), AnalysisOptions());
    // Only the two regular, readable files are handed to the library.
    QStringList opened;
    for (const QString& line : m_log->Lines())
        if (line.startsWith(QLatin1String("Open ")))
            opened << line;
    QCOMPARE(opened, QStringList({QStringLiteral("Open ") + notMedia,
                                  QStringLiteral("Open ") + good}));

    QStringList leftOut;
    for (const LeftOutFile& file : result.leftOut) {
        leftOut << file.path;
        QVERIFY2(!file.reason.isEmpty(), qPrintable(file.path));
    }
    QCOMPARE(leftOut, problems + QStringList({notMedia}));
    QCOMPARE(result.xml.count("    <FileInfo>\r\n"), 1);
}

void TestReportBuilder::failedWriteKeepsPreviousReport() {
    const QByteArray previous = "<AllFileInfo />\r\n<!-- an earlier report -->\r\n";
    QVERIFY(WriteBytes(m_reportPath, previous));
    const QStringList paths = {FakeDataPath(QStringLiteral("two-video-one-audio.kqfake"))};
    bool wrote = true; // until the limited build says otherwise
    {
        FileSizeLimit limit(16);
        QVERIFY(limit.IsActive());
        wrote = BuildReport(paths) == BuildStatus::Written;
    }
    QVERIFY(!wrote);
    QCOMPARE(ReadBytes(m_reportPath), previous);
    // No half-written temporary file is left beside it.
    const QStringList beside =
        QDir(QCoreApplication::applicationDirPath())
            .entryList({QStringLiteral("MediaFileInfo.xml*"), QStringLiteral(".MediaFileInfo*")},
                       QDir::Files | QDir::Hidden);
    QCOMPARE(beside, QStringList({"MediaFileInfo.xml"}));

    // The failure was the write alone: the next build succeeds.
    QCOMPARE(BuildReport(paths), BuildStatus::Written);
    QVERIFY(ReadBytes(m_reportPath).startsWith("<AllFileInfo>\r\n    <FileInfo>\r\n"));
}

QTEST_GUILESS_MAIN(TestReportBuilder)
#include "tst_report_builder.moc"
