#include "platform/DefaultWebHandler.h"
#include "platform/LinkOpener.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kq::platform;

namespace {

const QString kTarget = QStringLiteral("https://www.kqmedia.example/");

bool WriteFile(const QString& path, const QByteArray& content) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A home of its own: config and data directories under one temporary directory.
struct FakeXdg {
    QTemporaryDir root;
    XdgDirectories dirs;
    FakeXdg() {
        dirs.configHome = root.filePath(QStringLiteral("config"));
        dirs.configDirs = {root.filePath(QStringLiteral("etc-xdg"))};
        dirs.dataHome = root.filePath(QStringLiteral("data"));
        dirs.dataDirs = {root.filePath(QStringLiteral("usr-share"))};
    }
    QString App(const QString& id) const { return dirs.dataDirs[0] + "/applications/" + id; }
};

} // namespace

class TestWebHandler : public QObject {
    Q_OBJECT
private slots:
    void buildsTheCommandLine_data();
    void buildsTheCommandLine();
    void splitsByTheQuotingRules_data();
    void splitsByTheQuotingRules();
    void findsTheDefaultBrowser_data();
    void findsTheDefaultBrowser();
    void readsTheExecLineWithItsEscapes();
    void userListComesBeforeSystemList();
    void desktopSpecificListComesFirst();
    void noHandlerWithoutAnyList();
    void xdgOpenStatusesMapToResultCodes_data();
    void xdgOpenStatusesMapToResultCodes();
};

void TestWebHandler::buildsTheCommandLine_data() {
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("arguments");
    const QString t = kTarget;
    QTest::newRow("quoted program, option, quoted placeholder")
        << R"("/opt/Web Browser/browser" --new-window "%u")"
        << R"("/opt/Web Browser/browser" --new-window  )" + t
        << QStringList{"/opt/Web Browser/browser", "--new-window", t};
    QTest::newRow("bare placeholder loses the option after it")
        << "browser %u --private"
        << "browser  " + t << QStringList{"browser", t};
    QTest::newRow("no placeholder: the target is appended")
        << "browser --new-tab"
        << "browser --new-tab " + t << QStringList{"browser", "--new-tab", t};
    QTest::newRow("%U") << "browser %U"
                        << "browser  " + t << QStringList{"browser", t};
    QTest::newRow("%f") << "browser %f"
                        << "browser  " + t << QStringList{"browser", t};
    QTest::newRow("%F") << "browser -x %F"
                        << "browser -x  " + t << QStringList{"browser", "-x", t};
    QTest::newRow("quoted %F") << R"(browser "%F")"
                               << "browser  " + t << QStringList{"browser", t};
    QTest::newRow("quoted placeholder found before an earlier bare one")
        << R"(browser %f "%u")"
        << "browser %f  " + t << QStringList{"browser", t};
    QTest::newRow("other field codes are dropped")
        << "browser %i %c %u"
        << "browser %i %c  " + t << QStringList{"browser", t};
    QTest::newRow("an escaped percent sign is no placeholder")
        << "browser --x=%%u %u"
        << "browser --x=%%u  " + t << QStringList{"browser", "--x=%u", t};
}

void TestWebHandler::buildsTheCommandLine() {
    QFETCH(QString, exec);
    QFETCH(QString, command);
    QFETCH(QStringList, arguments);
    QCOMPARE(BuildHandlerCommand(exec, kTarget), command);
    QCOMPARE(HandlerArguments(exec, kTarget), arguments);
    // Splitting the built line gives the same arguments for an ordinary address.
    QCOMPARE(SplitExecArguments(command), arguments);
}

void TestWebHandler::splitsByTheQuotingRules_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("blanks separate") << "a  b\tc" << QStringList{"a", "b", "c"};
    QTest::newRow("quotes group") << R"("a b" c)" << QStringList{"a b", "c"};
    QTest::newRow("escapes inside quotes")
        << R"("say \"hi\" \$HOME \`x\` \\" end)" << QStringList{R"(say "hi" $HOME `x` \)", "end"};
    QTest::newRow("empty quoted argument") << R"(a "" b)" << QStringList{"a", "", "b"};
    QTest::newRow("percent signs") << R"(a%%b "c %% d")" << QStringList{"a%b", "c % d"};
    QTest::newRow("quote left open") << R"(a "b)" << QStringList{};
    QTest::newRow("nothing") << "  " << QStringList{};
}

void TestWebHandler::splitsByTheQuotingRules() {
    QFETCH(QString, command);
    QFETCH(QStringList, arguments);
    QCOMPARE(SplitExecArguments(command), arguments);
}

void TestWebHandler::findsTheDefaultBrowser_data() {
    QTest::addColumn<QString>("mimeapps");
    QTest::addColumn<QString>("expectedExec");
    QTest::newRow("https") << "[Default Applications]\nx-scheme-handler/https=web.desktop\n"
                           << "web-browser %u";
    QTest::newRow("http when https has none")
        << "[Default Applications]\nx-scheme-handler/http=web.desktop;\n"
        << "web-browser %u";
    QTest::newRow("text/html last")
        << "[Default Applications]\ntext/html=html.desktop\nx-scheme-handler/http=gone.desktop\n"
        << "html-viewer %f";
    QTest::newRow("https before text/html")
        << "[Default Applications]\ntext/html=html.desktop\nx-scheme-handler/https=web.desktop\n"
        << "web-browser %u";
    QTest::newRow("first installed of a list")
        << "[Default Applications]\nx-scheme-handler/https=gone.desktop;html.desktop;web.desktop\n"
        << "html-viewer %f";
    QTest::newRow("other groups do not count")
        << "[Added Associations]\nx-scheme-handler/https=web.desktop\n"
        << "";
}

void TestWebHandler::findsTheDefaultBrowser() {
    QFETCH(QString, mimeapps);
    QFETCH(QString, expectedExec);
    FakeXdg xdg;
    QVERIFY(xdg.root.isValid());
    QVERIFY(WriteFile(xdg.dirs.configHome + "/mimeapps.list", mimeapps.toUtf8()));
    QVERIFY(WriteFile(xdg.App("web.desktop"),
                      "[Desktop Entry]\nName=Web\nExec=web-browser %u\nType=Application\n"));
    QVERIFY(WriteFile(xdg.App("html.desktop"),
                      "[Desktop Action New]\nExec=wrong\n[Desktop Entry]\nExec=html-viewer %f\n"));
    QCOMPARE(DefaultWebHandlerExec(xdg.dirs), expectedExec);
}

void TestWebHandler::readsTheExecLineWithItsEscapes() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.desktop"));
    QVERIFY(WriteFile(path, "[Desktop Entry]\nExec=/opt/my\\sbrowser \"a\\\\\\\\b\" %u\n"));
    QCOMPARE(DesktopFileExec(path), QStringLiteral(R"(/opt/my browser "a\\b" %u)"));
    QCOMPARE(HandlerArguments(DesktopFileExec(path), kTarget),
             QStringList({"/opt/my", "browser", R"(a\b)", kTarget}));
    QCOMPARE(DesktopFileExec(dir.filePath(QStringLiteral("missing.desktop"))), QString());
}

void TestWebHandler::userListComesBeforeSystemList() {
    FakeXdg xdg;
    QVERIFY(WriteFile(xdg.dirs.configHome + "/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/https=user.desktop\n"));
    QVERIFY(WriteFile(xdg.dirs.dataDirs[0] + "/applications/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/https=system.desktop\n"));
    QVERIFY(WriteFile(xdg.App("system.desktop"), "[Desktop Entry]\nExec=system %u\n"));
    // Not installed yet: the system's choice holds.
    QCOMPARE(DefaultDesktopFile(QStringLiteral("x-scheme-handler/https"), xdg.dirs),
             xdg.App("system.desktop"));
    QVERIFY(WriteFile(xdg.dirs.dataHome + "/applications/user.desktop",
                      "[Desktop Entry]\nExec=user %u\n"));
    QCOMPARE(DefaultWebHandlerExec(xdg.dirs), QStringLiteral("user %u"));
}

void TestWebHandler::desktopSpecificListComesFirst() {
    FakeXdg xdg;
    xdg.dirs.desktops = {QStringLiteral("kde")};
    QVERIFY(WriteFile(xdg.dirs.configHome + "/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/https=web.desktop\n"));
    QVERIFY(WriteFile(xdg.dirs.configHome + "/kde-mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/https=kde.desktop\n"));
    QVERIFY(WriteFile(xdg.App("web.desktop"), "[Desktop Entry]\nExec=web %u\n"));
    QVERIFY(WriteFile(xdg.App("kde.desktop"), "[Desktop Entry]\nExec=kde-browser %u\n"));
    QCOMPARE(DefaultWebHandlerExec(xdg.dirs), QStringLiteral("kde-browser %u"));
}

void TestWebHandler::noHandlerWithoutAnyList() {
    FakeXdg xdg;
    QCOMPARE(DefaultWebHandlerExec(xdg.dirs), QString());
    QCOMPARE(StartDefaultWebHandler(kTarget, xdg.dirs), HandlerStart::NoHandler);
}

void TestWebHandler::xdgOpenStatusesMapToResultCodes_data() {
    QTest::addColumn<bool>("started");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("resultCode");
    QTest::newRow("success") << true << false << 0 << kLinkOpened;
    QTest::newRow("1 bad arguments") << true << false << 1 << 1;
    QTest::newRow("2 file not found") << true << false << 2 << 2;
    QTest::newRow("3 no application") << true << false << 3 << 31;
    QTest::newRow("4 action failed") << true << false << 4 << 4;
    QTest::newRow("other status") << true << false << 77 << 2;
    QTest::newRow("killed") << true << true << 0 << 2;
    QTest::newRow("could not start") << false << false << 0 << 2;
}

void TestWebHandler::xdgOpenStatusesMapToResultCodes() {
    QFETCH(bool, started);
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(int, resultCode);
    QCOMPARE(
        XdgOpenResultCode(started, crashed ? QProcess::CrashExit : QProcess::NormalExit, exitCode),
        resultCode);
    QVERIFY(kLinkOpened > 32);
}

QTEST_MAIN(TestWebHandler)
#include "tst_web_handler.moc"
