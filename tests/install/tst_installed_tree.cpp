// Installs the build with `cmake --install` (under a prefix, and staged under DESTDIR) and
// checks what a desktop needs: the files in their places, the desktop entry pointing at
// them, the installed programs working from there and keeping their report out of their
// own folder, and the report tool's manual page naming the options the tool has.

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using kqtest::ReadBytes;

namespace {

const QString kAppId = QStringLiteral("example.kqmedia.KQCheckMediaInfo");

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run RunProgram(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish: " + process.errorString().toUtf8();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// "-o, --output <file>" for every option of a QCommandLineParser help text, in order.
QStringList HelpOptionTags(const QString& help) {
    QStringList tags;
    bool inOptions = false;
    static const QRegularExpression option(QStringLiteral("^  (-\\S.*?)(?:\\s{2,}|$)"));
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Options:"))) {
            inOptions = true;
            continue;
        }
        if (inOptions && !line.isEmpty() && !line.startsWith(QLatin1Char(' ')))
            break;
        const QRegularExpressionMatch match = option.match(line);
        if (inOptions && match.hasMatch())
            tags.append(match.captured(1));
    }
    return tags;
}

// The text of a roff font macro line (.B, .BR, .BI, .I): its arguments joined, with the
// escapes of this page undone, so ".BR \-o \", \" \-\-output \" \fIfile\fR\"" reads
// "-o, --output file".
QString RoffText(const QString& line) {
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString rest = space < 0 ? QString() : line.mid(space + 1);
    QString text;
    bool quoted = false;
    for (const QChar c : rest) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c != QLatin1Char(' ') || quoted)
            text += c;
    }
    text.remove(QStringLiteral("\\fI")).remove(QStringLiteral("\\fR")).remove(QStringLiteral("\\fB"));
    return text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

// The tags of the .TP paragraphs in the OPTIONS section, in order.
QStringList ManPageOptionTags(const QString& page) {
    QStringList tags;
    const QStringList lines = page.split(QLatin1Char('\n'));
    bool inOptions = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1String(".SH"))) {
            inOptions = lines[i] == QLatin1String(".SH OPTIONS");
            continue;
        }
        if (inOptions && lines[i] == QLatin1String(".TP") && i + 1 < lines.size())
            tags.append(RoffText(lines[i + 1]));
    }
    return tags;
}

} // namespace

class TestInstalledTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void installedFile_data();
    void installedFile();
    void desktopEntryPointsAtInstalledFiles();
    void reportDirectory_data();
    void reportDirectory();
    void installedToolWritesTheSameReport();
    void manPageNamesTheToolsOptions();

private:
    QString Stage(const QString& relative) const {
        return m_root.filePath(QStringLiteral("stage/") + relative);
    }

    QTemporaryDir m_root;
};

void TestInstalledTree::initTestCase() {
    QVERIFY(m_root.isValid());
    const Run prefixed = RunProgram(QStringLiteral(KQ_CMAKE_COMMAND),
                                    {QStringLiteral("--install"), QStringLiteral(KQ_BUILD_DIR),
                                     QStringLiteral("--prefix"), m_root.filePath("stage")});
    QVERIFY2(prefixed.exitCode == 0, prefixed.err.constData());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_root.filePath("destdir"));
    const Run staged = RunProgram(QStringLiteral(KQ_CMAKE_COMMAND),
                                  {QStringLiteral("--install"), QStringLiteral(KQ_BUILD_DIR)},
                                  environment);
    QVERIFY2(staged.exitCode == 0, staged.err.constData());
}

namespace {
enum Kind { Program, Data, Icon32, Icon48, Svg, ManPage };
} // namespace

void TestInstalledTree::installedFile_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");

    const QString bin = QStringLiteral(KQ_BINDIR "/");
    const QString share = QStringLiteral(KQ_DATADIR "/");
    const QString icons = share + QStringLiteral("icons/hicolor/");
    QTest::newRow("window program") << bin + "KQCheckMediaInfo" << int(Program);
    QTest::newRow("report tool") << bin + "kqmediareport" << int(Program);
    if (KQ_WITH_WORKER)
        QTest::newRow("analysis worker")
            << QStringLiteral(KQ_LIBEXECDIR "/KQCheckMediaInfo/kqmediaworker") << int(Program);
    QTest::newRow("desktop entry") << share + "applications/" + kAppId + ".desktop" << int(Data);
    QTest::newRow("metainfo") << share + "metainfo/" + kAppId + ".metainfo.xml" << int(Data);
    QTest::newRow("icon 32") << icons + "32x32/apps/" + kAppId + ".png" << int(Icon32);
    QTest::newRow("icon 48") << icons + "48x48/apps/" + kAppId + ".png" << int(Icon48);
    QTest::newRow("scalable icon") << icons + "scalable/apps/" + kAppId + ".svg" << int(Svg);
    QTest::newRow("window manual")
        << QStringLiteral(KQ_MANDIR "/man1/KQCheckMediaInfo.1.gz") << int(ManPage);
    QTest::newRow("tool manual")
        << QStringLiteral(KQ_MANDIR "/man1/kqmediareport.1.gz") << int(ManPage);
}

void TestInstalledTree::installedFile() {
    QFETCH(QString, path);
    QFETCH(int, kind);
    const QFileInfo file(Stage(path));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    const QByteArray bytes = ReadBytes(file.filePath());
    switch (kind) {
    case Program:
        QVERIFY(file.isExecutable());
        QVERIFY(bytes.startsWith("\x7f" "ELF"));
        break;
    case Data:
        QVERIFY(!file.isExecutable());
        QVERIFY(!bytes.isEmpty());
        break;
    case Icon32:
    case Icon48: {
        const int size = kind == Icon32 ? 32 : 48;
        QCOMPARE(QImage(file.filePath()).size(), QSize(size, size));
        break;
    }
    case Svg:
        QVERIFY(bytes.contains("<svg") && bytes.contains("viewBox=\"0 0 48 48\""));
        break;
    case ManPage:
        QVERIFY(bytes.startsWith("\x1f\x8b"));
        break;
    }
}

void TestInstalledTree::desktopEntryPointsAtInstalledFiles() {
    const QString share = Stage(QStringLiteral(KQ_DATADIR "/"));
    QSettings entry(share + "applications/" + kAppId + ".desktop", QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    const QString exec = entry.value(QStringLiteral("Exec")).toString();
    QVERIFY2(QFileInfo(Stage(QStringLiteral(KQ_BINDIR "/") + exec)).isExecutable(),
             qPrintable(exec));
    QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), kAppId);

    const QByteArray metainfo = ReadBytes(share + "metainfo/" + kAppId + ".metainfo.xml");
    QVERIFY(metainfo.contains("<id>" + kAppId.toUtf8() + "</id>"));
    QVERIFY(metainfo.contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() +
                              ".desktop</launchable>"));
    QVERIFY(metainfo.contains("<release version=\"" KQ_EXPECTED_VERSION "\""));
}

void TestInstalledTree::reportDirectory_data() {
    QTest::addColumn<QString>("programDirectory");
    QTest::addColumn<bool>("installed");

    QTest::newRow("installed with --prefix") << Stage(QStringLiteral(KQ_BINDIR)) << true;
    QTest::newRow("staged under DESTDIR")
        << m_root.filePath(QStringLiteral("destdir" KQ_INSTALL_PREFIX "/" KQ_BINDIR)) << true;
    QTest::newRow("a folder of its own") << m_root.filePath(QStringLiteral("portable")) << false;
}

void TestInstalledTree::reportDirectory() {
    QFETCH(QString, programDirectory);
    QFETCH(bool, installed);

    QVERIFY(QDir().mkpath(programDirectory));
    const QString program = programDirectory + QStringLiteral("/kq_print_report_directory");
    QFile::remove(program);
    QVERIFY(QFile::copy(QStringLiteral(KQ_PRINT_REPORT_DIRECTORY), program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));

    const QString dataHome = m_root.filePath(QStringLiteral("xdg"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    const Run run = RunProgram(program, {}, environment);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QString expected = installed ? dataHome + QStringLiteral("/KQCheckMediaInfo/")
                                       : programDirectory + QLatin1Char('/');
    QCOMPARE(QString::fromUtf8(run.out), expected);
    QVERIFY(QFileInfo(expected).isDir());
}

void TestInstalledTree::installedToolWritesTheSameReport() {
    const QString sample = QStringLiteral(KQ_SOURCE_DIR "/tests/data/media/sample.mp4");
    // The installed tool must find its own worker, not one named from outside.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("KQ_MEDIA_WORKER"));

    const Run built = RunProgram(QStringLiteral(KQ_REPORT_TOOL), {sample}, environment);
    const Run installed =
        RunProgram(Stage(QStringLiteral(KQ_BINDIR "/kqmediareport")), {sample}, environment);
    QVERIFY2(built.exitCode == 0, built.err.constData());
    QVERIFY2(installed.exitCode == 0, installed.err.constData());
    QVERIFY(built.out.contains("<FileInfo>"));
    QCOMPARE(installed.out, built.out);
}

void TestInstalledTree::manPageNamesTheToolsOptions() {
    const Run help = RunProgram(QStringLiteral(KQ_REPORT_TOOL), {QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    QStringList expected = HelpOptionTags(QString::fromUtf8(help.out));
    QVERIFY2(expected.contains(QStringLiteral("-o, --output <file>")),
             qPrintable(expected.join(QLatin1Char('|'))));
    expected.replaceInStrings(QRegularExpression(QStringLiteral("<([^>]*)>")),
                              QStringLiteral("\\1"));

    const QString page =
        QString::fromUtf8(ReadBytes(QStringLiteral(KQ_SOURCE_DIR "/man/kqmediareport.1.in")));
    QCOMPARE(ManPageOptionTags(page), expected);
}

QTEST_GUILESS_MAIN(TestInstalledTree)
#include "tst_installed_tree.moc"
