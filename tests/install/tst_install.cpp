// The installation, made with `cmake --install` under a prefix and staged under DESTDIR: every
// file where a desktop looks for it, the installed programs finding their worker and keeping
// their report out of their own folder, and the tool's manual page naming its options.

#include "TestFiles.h"
#include "platform/UserDataDirectory.h"
#include "report/MediaFilters.h"
#include "report/ReportLocation.h"

#include <QMimeDatabase>

#include <QtTest>

using namespace kq;

namespace {
const QString kAppId = "example.kqmedia.KQCheckMediaInfo";

// The program's standard output, or why it failed.
QByteArray Run(const QString& program, const QStringList& arguments) {
    const kqtest::ProgramRun run = kqtest::RunProgram(program, arguments);
    return run.exitCode == 0 ? run.out : "failed: " + run.err;
}

// The option tags a text lists, as `--help` has them ("  -o, --output <file>   Write...") or
// the manual page (".TP\n.BR \-o ", " \-\-output " \fIfile\fR""), reduced to "-o--outputfile".
QStringList Tags(const QString& text, const QString& pattern) {
    QStringList tags;
    for (const QRegularExpressionMatch& match : QRegularExpression(pattern).globalMatch(text))
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
            Run(KQ_CMAKE_COMMAND, {"--install", KQ_BUILD_DIR, "--prefix", At("prefix")}) +
            Run("env", {"DESTDIR=" + At("destdir"), KQ_CMAKE_COMMAND, "--install", KQ_BUILD_DIR});
        QVERIFY2(!out.contains("failed: "), out);
        QVERIFY(QDir().mkpath(At("plain")) && QDir().mkpath(At("odd/bin")) &&
                QDir().mkpath(At("odd/share/metainfo/" + kAppId + ".metainfo.xml")));
        QVERIFY(QFile::link(At("prefix/bin"), At("kq-link")));
    }

    // Programs are executable, the rest not.
    void installedFile_data() {
        QTest::addColumn<QString>("path");
        const QString icons = "share/icons/hicolor/%1/apps/" + kAppId;
        // clang-format off
        for (const QString& path : QStringList{"bin/KQCheckMediaInfo", "bin/kqmediareport", "libexec/KQCheckMediaInfo/kqmediaworker",
                 "share/applications/" + kAppId + ".desktop", "share/metainfo/" + kAppId + ".metainfo.xml",
                 icons.arg("32x32") + ".png", icons.arg("48x48") + ".png", icons.arg("scalable") + ".svg",
                 "share/man/man1/KQCheckMediaInfo.1.gz", "share/man/man1/kqmediareport.1.gz",
                 "share/doc/kqcheckmediainfo/copyright", "share/doc/kqcheckmediainfo/changelog.gz"})
            // clang-format on
            QTest::newRow(qPrintable(path)) << path;
    }

    void installedFile() {
        QFETCH(QString, path);
        const QFileInfo file(At("prefix/" + path));
        QVERIFY(file.isFile() && file.isExecutable() == !path.startsWith("share/"));
    }

    // The desktop entry and the metainfo point at each other; a file manager offers the
    // program, with the files, for every file the Add Media dialog's video and still-image
    // filters show, and for nothing else.
    void desktopEntry() {
        const QString entry =
            kqtest::ReadBytes(At("prefix/share/applications/" + kAppId + ".desktop"));
        QVERIFY(entry.contains("\nExec=KQCheckMediaInfo %F\n") &&
                entry.contains("\nIcon=" + kAppId + "\n"));
        QVERIFY(kqtest::ReadBytes(At("prefix/share/metainfo/" + kAppId + ".metainfo.xml"))
                    .contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() + ".desktop<"));
        const QStringList listed =
            entry.section("\nMimeType=", 1).section(u'\n', 0, 0).split(u';', Qt::SkipEmptyParts);
        QMimeDatabase mime;
        QStringList covered; // the listed types that a filter's file has, or inherits
        for (const QString& extension : MediaFileExtensions()) {
            bool media = false, listedAsIs = false;
            for (const QMimeType& type : mime.mimeTypesForFileName("x." + extension)) {
                if (type.name().startsWith(u"text/") || type.name().startsWith(u"audio/"))
                    continue;
                media = true;
                listedAsIs |= listed.contains(type.name());
                for (const QString& name : listed)
                    if (type.inherits(name))
                        covered << name;
            }
            QVERIFY2(!media || listedAsIs, qPrintable(extension));
        }
        covered.removeDuplicates();
        QCOMPARE(covered.size(), listed.size());
    }

    // "plain" stands for the compiled-in bindir. An installed program, or one that cannot
    // write beside itself, keeps its report in $XDG_DATA_HOME/KQCheckMediaInfo/.
    void reportDirectoryFor_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed with --prefix") << "prefix/bin" << true;
        QTest::newRow("staged under DESTDIR") << "destdir" KQ_INSTALL_PREFIX "/bin" << true;
        QTest::newRow("the compiled-in bindir") << "plain" << true;
        QTest::newRow("a link into an installation") << "kq-link" << true;
        QTest::newRow("marker name taken by a folder") << "odd/bin" << false;
        QTest::newRow("a folder it cannot write (missing: root writes anywhere)") << "gone" << true;
    }

    void reportDirectoryFor() {
        QFETCH(QString, program);
        QFETCH(bool, installed);
        qputenv("XDG_DATA_HOME", QFile::encodeName(At("xdg")));
        QCOMPARE(ReportDirectoryFor(At(program), At("plain"),
                                    kq::platform::UserDataDirectory("KQCheckMediaInfo")),
                 installed ? At("xdg/KQCheckMediaInfo/") : At(program) + "/");
    }

    // This program runs from its build tree; the per-user folder ignores a relative
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
        QCOMPARE(Run(At("prefix/bin/kqmediareport"), sample), built);
        QCOMPARE(Run(At("destdir" KQ_INSTALL_PREFIX "/bin/kqmediareport"), sample), built);
    }

    // Only the OPTIONS section's tags name options ("\-").
    void manPageNamesTheToolsOptions() {
        const QStringList help = Tags(Run(KQ_REPORT_TOOL, {"--help"}), "(?m)^  (-\\S.*?)(?:  |$)");
        QVERIFY2(help.contains("-o--outputfile"), qPrintable(help.join('|')));
        const QString page = Run("gzip", {"-dc", At("prefix/share/man/man1/kqmediareport.1.gz")});
        QCOMPARE(Tags(page, "(?m)^\\.TP\n\\.\\w+ (\\\\-.*)$"), help);
    }

private:
    QString At(const QString& path) const { return QDir(m_root.path()).filePath(path); }

    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
