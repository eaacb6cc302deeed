// The report's helpers that need no library: reading stream counts, judging paths before
// they reach the library, choosing the report folder, and replacing a file whole.

#include "report/ReportBuilder.h"
#include "report/ReportLocation.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using kqtest::ReadBytes;

class TestReportHelpers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void parseStreamCount_data();
    void parseStreamCount();
    void pathProblem_data();
    void pathProblem();
    void reportDirectoryFor_data();
    void reportDirectoryFor();
    void writeFileAtomically_data();
    void writeFileAtomically();

private:
    QString Under(const QString& relative) const {
        return relative.startsWith(QLatin1Char('/')) || relative.isEmpty()
                   ? relative
                   : m_root.filePath(relative);
    }

    QTemporaryDir m_root;
};

namespace {
bool IsRoot() { return ::geteuid() == 0; }

bool MakeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

void TestReportHelpers::initTestCase() {
    QVERIFY(m_root.isValid());
    QDir root(m_root.path());
    QVERIFY(MakeFile(Under("plain.kqfake"), "KQFAKEMEDIA\n"));
    QVERIFY(MakeFile(Under("empty.kqfake"), QByteArray()));
    QVERIFY(MakeFile(Under("locked.kqfake"), "KQFAKEMEDIA\n"));
    QVERIFY(QFile::setPermissions(Under("locked.kqfake"), QFileDevice::Permissions()));
    QVERIFY(root.mkpath(QStringLiteral("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(Under("pipe")).constData(), 0644), 0);
    QVERIFY(QFile::link(Under("plain.kqfake"), Under("link-to-file")));
    QVERIFY(QFile::link(Under("folder"), Under("link-to-folder")));
    QVERIFY(QFile::link(Under("absent"), Under("dangling")));

    QVERIFY(root.mkpath(QStringLiteral("build/bin")));
    QVERIFY(root.mkpath(QStringLiteral("prefix/bin")));
    QVERIFY(root.mkpath(QStringLiteral("read-only")));
    QVERIFY(QFile::setPermissions(Under("read-only"),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(QFile::link(Under("prefix/bin"), Under("prefix-link")));
}

void TestReportHelpers::parseStreamCount_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("2") << "2" << 2;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("x") << "x" << 0;
    QTest::newRow("leading blank") << " 3" << 3;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("+2") << "+2" << 2;
    QTest::newRow("every C white space") << " \t\n\v\f\r7" << 7;
    QTest::newRow("no-break space is not white space") << "\u00A05" << 0;
    QTest::newRow("stops at a letter") << "12abc" << 12;
    QTest::newRow("stops at a blank") << "3 4" << 3;
    QTest::newRow("stops at a point") << "2.9" << 2;
    QTest::newRow("trailing blank") << "4 " << 4;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("minus zero") << "-0" << 0;
    QTest::newRow("two signs") << "+-2" << 0;
    QTest::newRow("sign then blank") << "- 2" << 0;
    QTest::newRow("sign alone") << " +" << 0;
    QTest::newRow("hexadecimal is not read") << "0x10" << 0;
    QTest::newRow("largest int") << "2147483647" << INT_MAX;
    QTest::newRow("smallest negated int") << "-2147483647" << -INT_MAX;
    QTest::newRow("Arabic-Indic digit") << "\u0663" << 0;
    QTest::newRow("full-width digit") << "\uFF12" << 0;
}

void TestReportHelpers::parseStreamCount() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(ParseStreamCount(text), expected);
}

void TestReportHelpers::pathProblem_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("needsNonRoot");

    QTest::newRow("regular file") << "plain.kqfake" << "" << false;
    QTest::newRow("empty regular file") << "empty.kqfake" << "" << false;
    QTest::newRow("link to a regular file") << "link-to-file" << "" << false;
    QTest::newRow("missing") << "absent.kqfake" << "missing" << false;
    QTest::newRow("empty path") << "" << "missing" << false;
    QTest::newRow("dangling link") << "dangling" << "missing (broken link)" << false;
    QTest::newRow("directory") << "folder" << "not a regular file" << false;
    QTest::newRow("link to a directory") << "link-to-folder" << "not a regular file" << false;
    QTest::newRow("fifo") << "pipe" << "not a regular file" << false;
    QTest::newRow("character device") << "/dev/null" << "not a regular file" << false;
    QTest::newRow("unreadable") << "locked.kqfake" << "not readable" << true;
}

void TestReportHelpers::pathProblem() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QFETCH(bool, needsNonRoot);
    if (needsNonRoot && IsRoot())
        QSKIP("root reads every file, whatever its mode");
    QCOMPARE(PathProblem(Under(path)), expected);
}

void TestReportHelpers::reportDirectoryFor_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("userData");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("needsNonRoot");

    QTest::newRow("writable build folder")
        << "build/bin" << "prefix/bin" << "data/KQCheckMediaInfo" << "build/bin/" << false;
    QTest::newRow("writable build folder, with slash")
        << "build/bin/" << "prefix/bin" << "data/KQCheckMediaInfo" << "build/bin/" << false;
    QTest::newRow("installed folder")
        << "prefix/bin" << "prefix/bin" << "data/KQCheckMediaInfo" << "data/KQCheckMediaInfo/"
        << false;
    QTest::newRow("installed folder, spelled differently")
        << "prefix/bin/" << "prefix/../prefix/./bin" << "data/KQCheckMediaInfo/"
        << "data/KQCheckMediaInfo/" << false;
    QTest::newRow("installed folder, through a link")
        << "prefix-link" << "prefix/bin" << "data/KQCheckMediaInfo" << "data/KQCheckMediaInfo/"
        << false;
    QTest::newRow("missing folder")
        << "gone/bin" << "prefix/bin" << "data/KQCheckMediaInfo" << "data/KQCheckMediaInfo/"
        << false;
    QTest::newRow("read-only folder")
        << "read-only" << "prefix/bin" << "data/KQCheckMediaInfo" << "data/KQCheckMediaInfo/"
        << true;
}

void TestReportHelpers::reportDirectoryFor() {
    QFETCH(QString, program);
    QFETCH(QString, installed);
    QFETCH(QString, userData);
    QFETCH(QString, expected);
    QFETCH(bool, needsNonRoot);
    if (needsNonRoot && IsRoot())
        QSKIP("root may write into a read-only folder");
    QCOMPARE(ReportDirectoryFor(Under(program), Under(installed), Under(userData)),
             Under(expected));
}

namespace {
enum Target { NewFile, LongerFile, FolderMissing, TargetIsFolder, FileSizeLimited };
} // namespace

void TestReportHelpers::writeFileAtomically_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("expected");

    QTest::newRow("new file") << int(NewFile) << QByteArray("<AllFileInfo />\r\n") << true;
    QTest::newRow("empty content") << int(NewFile) << QByteArray() << true;
    QTest::newRow("replaces a longer file") << int(LongerFile) << QByteArray("short\r\n")
                                            << true;
    QTest::newRow("folder missing") << int(FolderMissing) << QByteArray("x") << false;
    QTest::newRow("target is a folder") << int(TargetIsFolder) << QByteArray("x") << false;
    QTest::newRow("file size limit") << int(FileSizeLimited) << QByteArray(4096, 'r')
                                     << false;
}

void TestReportHelpers::writeFileAtomically() {
    QFETCH(int, target);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("MediaFileInfo.xml"));
    const QByteArray previous = "previous report, longer than the new one\r\n";
    switch (target) {
    case NewFile:
        break;
    case LongerFile:
    case FileSizeLimited:
        QVERIFY(MakeFile(path, previous));
        break;
    case FolderMissing:
        path = dir.filePath(QStringLiteral("gone/MediaFileInfo.xml"));
        break;
    case TargetIsFolder:
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("MediaFileInfo.xml/inside")));
        break;
    }

    QString error;
    bool wrote = false;
    if (target == FileSizeLimited) {
        // Writes beyond the limit fail with EFBIG, for root as well.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit limited = old;
        limited.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        wrote = WriteFileAtomically(path, bytes, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    } else {
        wrote = WriteFileAtomically(path, bytes, &error);
    }

    QCOMPARE(wrote, expected);
    if (expected) {
        QCOMPARE(ReadBytes(path), bytes);
        return;
    }
    QVERIFY(!error.isEmpty());
    if (target == LongerFile || target == FileSizeLimited)
        QCOMPARE(ReadBytes(path), previous);
    if (target == TargetIsFolder)
        QVERIFY(QFileInfo(path).isDir());
    if (target == FolderMissing)
        QVERIFY(!QFileInfo::exists(QFileInfo(path).absolutePath()));
    // Nothing half-written is left behind.
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, target == FileSizeLimited ? QStringList({"MediaFileInfo.xml"}) : QStringList());
}

QTEST_GUILESS_MAIN(TestReportHelpers)
#include "tst_report_helpers.moc"
