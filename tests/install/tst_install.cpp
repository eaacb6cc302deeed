// The installation, made with `cmake --install` under a prefix and staged under DESTDIR: every
// file where a desktop looks for it, the installed programs finding their worker and keeping
// their report out of their own folder, and the tool's manual page naming its options.

#include "TestFiles.h"
#include "platform/UserDataDirectory.h"
#include "report/ReportLocation.h"

#include <QtTest>

#include <unistd.h>

namespace {
const QString kAppId = QStringLiteral("example.kqmedia.KQCheckMediaInfo");

// The program's standard output, or why it failed.
QByteArray Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (process.waitForFinished(30000) && process.exitCode() == 0)
        return process.readAllStandardOutput();
    return "failed: " + process.readAllStandardError();
}

// The option tags a text lists, as `--help` has them ("  -o, --output <file>   Write...") or
// the manual page (".TP\n.BR \-o ", " \-\-output " \fIfile\fR""), reduced to "-o--outputfile".
QStringList Tags(const QString& text, const QString& pattern) {
    QStringList tags;
    for (const QRegularExpressionMatch& match :
         QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text))
        tags << match.captured(1).remove(QRegularExpression("[<>\", ]|\\\\f.")).replace("\\-", "-");
    return tags;
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qunsetenv("KQ_MEDIA_WORKER"); // every program must find its worker by itself
        const QByteArray out =
            Run(KQ_CMAKE_COMMAND, {"--install", KQ_BUILD_DIR, "--prefix", Under("prefix")}) +
            Run("env",
                {"DESTDIR=" + Under("destdir"), KQ_CMAKE_COMMAND, "--install", KQ_BUILD_DIR});
        QVERIFY2(!out.contains("failed: "), out);
        for (const QString& dir : QStringList{"portable", "read-only", "odd/bin",
                                              "odd/share/metainfo/" + kAppId + ".metainfo.xml"})
            QVERIFY(QDir().mkpath(Under(dir)));
        QVERIFY(QFile::setPermissions(Under("read-only"), QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(QFile::link(Under("prefix/bin"), Under("kq-link")) &&
                QFile::link(Under("odd/bin"), Under("prefix/plain-link")));
    }

    void installedFile_data() {
        QTest::addColumn<QString>("path");
        const QString icons = "share/icons/hicolor/%1/apps/" + kAppId;
        for (const QString& path : QStringList{
                 "bin/KQCheckMediaInfo", "bin/kqmediareport",
                 "libexec/KQCheckMediaInfo/kqmediaworker",
                 "share/applications/" + kAppId + ".desktop",
                 "share/metainfo/" + kAppId + ".metainfo.xml", icons.arg("32x32") + ".png",
                 icons.arg("48x48") + ".png", icons.arg("scalable") + ".svg",
                 "share/man/man1/KQCheckMediaInfo.1.gz", "share/man/man1/kqmediareport.1.gz"})
            QTest::newRow(qPrintable(path)) << path;
    }

    void installedFile() {
        QFETCH(QString, path);
        const QFileInfo file(Under("prefix/" + path));
        QVERIFY(file.isFile());
        QCOMPARE(file.isExecutable(), !path.startsWith("share/"));
        const int size = path.section('/', 3, 3).section('x', 0, 0).toInt(); // hicolor/NxN/
        if (path.endsWith(".png"))
            QCOMPARE(QImage(file.filePath()).size(), QSize(size, size));
    }

    void desktopEntryAndMetainfoPointAtEachOther() {
        const QByteArray entry =
            kqtest::ReadBytes(Under("prefix/share/applications/" + kAppId + ".desktop"));
        QVERIFY(entry.contains("\nExec=KQCheckMediaInfo\n") &&
                entry.contains("\nIcon=" + kAppId.toUtf8() + "\n"));
        QVERIFY(kqtest::ReadBytes(Under("prefix/share/metainfo/" + kAppId + ".metainfo.xml"))
                    .contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() + ".desktop<"));
    }

    // "portable" stands for the compiled-in bindir. An installed program, or one that cannot
    // write beside itself, keeps its report in $XDG_DATA_HOME/KQCheckMediaInfo/.
    void reportDirectoryFor_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed with --prefix") << "prefix/bin" << true;
        QTest::newRow("staged under DESTDIR") << "destdir" KQ_INSTALL_PREFIX "/bin" << true;
        QTest::newRow("the compiled-in bindir") << "portable" << true;
        QTest::newRow("a link into an installation") << "kq-link" << true;
        QTest::newRow("build tree") << QCoreApplication::applicationDirPath() << false;
        QTest::newRow("marker name taken by a folder") << "odd/bin" << false;
        QTest::newRow("a link beside an installation to a plain folder")
            << "prefix/plain-link" << false;
        QTest::newRow("read-only folder") << "read-only" << true;
        QTest::newRow("missing folder") << "gone" << true;
    }

    void reportDirectoryFor() {
        QFETCH(QString, program);
        QFETCH(bool, installed);
        if (program == "read-only" && ::geteuid() == 0)
            QSKIP("root writes into a read-only folder");
        qputenv("XDG_DATA_HOME", QFile::encodeName(Under("xdg")));
        QCOMPARE(ReportDirectoryFor(Under(program), Under("portable"),
                                    kq::platform::UserDataDirectory("KQCheckMediaInfo")),
                 installed ? Under("xdg/KQCheckMediaInfo/") : Under(program) + "/");
    }

    // This program runs from its build folder; the per-user folder ignores a relative
    // XDG_DATA_HOME, as the XDG rules want.
    void reportFilePath() {
        QCOMPARE(ReportFilePath(), QCoreApplication::applicationDirPath() + "/MediaFileInfo.xml");
        qputenv("XDG_DATA_HOME", "xdg");
        QCOMPARE(kq::platform::UserDataDirectory("KQCheckMediaInfo"),
                 QDir::homePath() + "/.local/share/KQCheckMediaInfo/");
    }

    // The build tree's tool finds its worker beside it, the installed ones in libexec.
    void installedToolWritesTheSameReport() {
        const QStringList sample = {KQ_SOURCE_DIR "/tests/data/media/sample.mp4"};
        const QByteArray built = Run(KQ_REPORT_TOOL, sample);
        QVERIFY2(built.contains("<FileInfo>"), built);
        QCOMPARE(Run(Under("prefix/bin/kqmediareport"), sample), built);
        QCOMPARE(Run(Under("destdir" KQ_INSTALL_PREFIX "/bin/kqmediareport"), sample), built);
    }

    void manPageNamesTheToolsOptions() {
        const QStringList help = Tags(Run(KQ_REPORT_TOOL, {"--help"}), "^  (-\\S.*?)(?:  |$)");
        const QString page =
            Run("gzip", {"-dc", Under("prefix/share/man/man1/kqmediareport.1.gz")});
        QVERIFY2(help.contains("-o--outputfile"), qPrintable(help.join('|')));
        QCOMPARE(
            Tags(page.section(".SH OPTIONS", 1).section("\n.SH", 0, 0), "^\\.TP\n\\.\\w+ (.*)$"),
            help);
    }

private:
    QString Under(const QString& path) const { return QDir(m_root.path()).filePath(path); }

    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
