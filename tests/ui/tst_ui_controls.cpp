#include "FakePrompts.h"
#include "TestFiles.h"
#include "ui/Resources.h"
#include "ui/SkinPainter.h"
#include "ui/controls/KQBitmapButton.h"
#include "ui/controls/LinkLabel.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace kq::platform;

namespace {
const QString kUrl = QStringLiteral("https://www.kqmedia.example/");

struct ButtonCase {
    int id = 0; // a strip resource, or 0: a strip made here
    QSize strip{260, 19};
    QSize frame{65, 19};
    QString steps{}; // what happens to the button: enter, leave, shrink, disable, press
    int shown = 3;
};
} // namespace

class TestUiControls : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    static void Send(QWidget& widget, QEvent&& event) { QApplication::sendEvent(&widget, &event); }
    static void Write(const QString& path, const QString& text, bool executable = false) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(kqtest::WriteBytes(path, text.toUtf8()));
        QVERIFY(!executable || QFile(path).setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
    // Every column differs from every other, so a frame taken from the wrong place shows.
    static QImage MakeStrip(QSize size) {
        QImage strip(size, QImage::Format_RGB32);
        for (int x = 0; x < size.width(); ++x)
            for (int y = 0; y < size.height(); ++y)
                strip.setPixel(x, y, qRgb(x % 256, y * 9, x / 256 * 60 + x % 7 * 20));
        return strip;
    }
    static QString Colour(const QWidget& label) {
        const QRgb c = label.palette().color(QPalette::WindowText).rgb();
        // clang-format off
        return c == qRgb(255, 0, 0) ? "hover" : c == qRgb(85, 26, 139) ? "visited" : c == qRgb(0, 0, 238) ? "link" : "?";
        // clang-format on
    }
    // Base directories with the given mimeapps.list files ("path:line" under the row's folder)
    // and the browsers a and b of the system and web of the user installed.
    XdgDirectories MakeXdg(const QStringList& lists) {
        const QString root = m_dir.filePath(QTest::currentDataTag()) + "/";
        for (const QString& list : lists)
            Write(root + list.section(':', 0, 0),
                  "[Default Applications]\n" + list.section(':', 1));
        Write(root + "data/applications/web.desktop",
              "[Desktop Entry]\nExec=\"fake\\sbrowser\" --new-window \"%u\" --dropped\n");
        for (const QString id : {"a", "b"})
            Write(root + "usr/applications/" + id + ".desktop",
                  "[Desktop Entry]\nExec=" + id + " %u\n");
        return {root + "config", {root + "etc"}, root + "data", {root + "usr"}, {"kde"}};
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + qgetenv("PATH"));
        const QString cd = "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n";
        // Notes its arguments, waits (a few seconds at most) for "go", exits with $KQ_STATUS.
        Write(m_dir.filePath("xdg-open"),
              cd + "printf '%s' \"$*\" > args\nfor i in $(seq 100); do [ -e go ] && break; "
                   "sleep 0.05; done\nrm -f go\nexit $KQ_STATUS\n",
              true);
        Write(m_dir.filePath("fake browser"), cd + "printf '%s|' \"$@\" > browser\n", true);
    }

    void skinPaintsTitleFrameAndBody_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("main window") << QSize(554, 357);
        QTest::newRow("smaller") << QSize(300, 200);
    }
    void skinPaintsTitleFrameAndBody() {
        QFETCH(QSize, size);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        DrawSkin(painter, size);
        painter.end();
        // The body bitmap's bottom rows, its last one (612) on the window's last row; the title
        // strip's grey levels over them; a dark one-pixel frame round it all.
        QImage expected =
            LoadBitmapResource(IDB_BODY).copy(2, 613 - size.height(), 1, size.height());
        expected = expected.scaled(size).convertToFormat(QImage::Format_RGB32);
        painter.begin(&expected);
        const int grey[23] = {0x66, 0xBC, 0xC2, 0xC9, 0xCF, 0xD4, 0xD9, 0xDE,
                              0xE2, 0xE6, 0xE8, 0xE8, 0xE6, 0xE3, 0xDE, 0xDA,
                              0xD5, 0xD1, 0xCC, 0xC6, 0xC0, 0xBB, 0x00};
        for (int y = 0; y < 23; ++y)
            painter.fillRect(0, y, size.width(), 1, QColor(grey[y], grey[y], grey[y]));
        painter.setPen(QColor(0x666666));
        painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
        painter.end();
        QCOMPARE(image, expected);
    }

    void buttonShowsOneFrame_data() {
        QTest::addColumn<ButtonCase>("c");
        QTest::newRow("normal") << ButtonCase{.shown = 0};
        QTest::newRow("hover") << ButtonCase{.steps = "enter", .shown = 1};
        QTest::newRow("pointer left") << ButtonCase{.steps = "enter leave", .shown = 0};
        QTest::newRow("pressed beats hover") << ButtonCase{.steps = "enter press", .shown = 2};
        QTest::newRow("disabled beats pressed") << ButtonCase{.steps = "disable press"};
        QTest::newRow("disabled beats hover") << ButtonCase{.steps = "enter disable"};
        QTest::newRow("smaller button") << ButtonCase{.steps = "shrink press", .shown = 2};
        QTest::newRow("262 wide") << ButtonCase{.strip = {262, 19}, .steps = "disable"};
        QTest::newRow("130") << ButtonCase{130, {260, 19}, {65, 19}, "disable"};
        QTest::newRow("137") << ButtonCase{137, {64, 16}, {16, 16}, "disable"};
        QTest::newRow("138") << ButtonCase{138, {260, 19}, {65, 19}, "disable"};
        QTest::newRow("139") << ButtonCase{139, {72, 18}, {18, 18}, "disable"};
        QTest::newRow("140") << ButtonCase{140, {260, 19}, {65, 19}, "disable"};
        QTest::newRow("141") << ButtonCase{141, {260, 19}, {65, 19}, "disable"};
    }
    void buttonShowsOneFrame() {
        QFETCH(ButtonCase, c);
        CKQBitmapButton button;
        button.LoadStrip(MakeStrip({40, 10})); // replaced by the next one
        button.move(7, 9);
        const QImage strip = c.id ? LoadBitmapResource(c.id) : MakeStrip(c.strip);
        QCOMPARE(strip.size(), c.strip);
        QVERIFY(c.id ? button.LoadStripResource(c.id) : button.LoadStrip(strip));
        QCOMPARE(button.geometry(), QRect(QPoint(7, 9), c.frame));
        if (c.steps.contains("enter"))
            Send(button, QEnterEvent({}, {}, {}));
        if (c.steps.contains("leave"))
            Send(button, QEvent(QEvent::Leave));
        if (c.steps.contains("shrink"))
            button.resize(16, 16);                       // shows the top left of its frame
        button.setEnabled(!c.steps.contains("disable")); // first: disabling releases a button
        button.setDown(c.steps.contains("press"));
        QCOMPARE(button.grab().toImage().convertToFormat(QImage::Format_RGB32),
                 strip.copy(c.shown * c.frame.width(), 0, button.width(), button.height()));
    }

    void buttonNotifiesPressClickRelease() {
        CKQBitmapButton button;
        button.LoadStrip(MakeStrip({260, 19}));
        QStringList seen;
        connect(&button, &CKQBitmapButton::Notify, [&](CKQBitmapButton* sender, int action) {
            seen << (sender == &button ? QString::number(action) : "?");
        });
        connect(&button, &QAbstractButton::clicked, [&] { seen << "clicked"; });
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 80)); // outside: no click
        QCOMPARE(seen, QStringList({"0", "clicked", "1", "0", "1"}));
        // The pointing hand, its hot spot on the fingertip.
        QCOMPARE(button.cursor().hotSpot(), QPoint(5, 0));
    }

    void labelFitsToItsText_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<QRect>("fitted");
        // A 2-pixel box round the text in the underline font; the label starts 100 pixels wider
        // and 20 higher than that, at (20, 30).
        const QFontMetrics metrics(CLinkLabel().UnderlineFont());
        const int w = metrics.horizontalAdvance(kUrl) + 4, h = metrics.height() + 4;
        QTest::newRow("left") << int(Qt::AlignLeft) << QRect(20, 30, w, h);
        QTest::newRow("right keeps its right edge") << int(Qt::AlignRight) << QRect(120, 30, w, h);
        QTest::newRow("centred keeps its centre") << int(Qt::AlignHCenter) << QRect(70, 30, w, h);
        QTest::newRow("centred vertically") << int(Qt::AlignVCenter) << QRect(20, 40, w, h);
    }
    void labelFitsToItsText() {
        QFETCH(int, alignment);
        QFETCH(QRect, fitted);
        CLinkLabel label(kUrl);
        label.setFrameStyle(QFrame::Box | QFrame::Plain);
        label.setLineWidth(2);
        label.setAlignment(Qt::Alignment(alignment));
        label.setGeometry(20, 30, fitted.width() + 100, fitted.height() + 20);
        label.FitToText();
        QCOMPARE(label.geometry(), fitted);
    }

    void labelFontAndColourFollowThePointer_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("visited");
        QTest::addColumn<QStringList>("states"); // after setting the mode, entering, leaving
        // clang-format off
        QTest::newRow("-1") << -1 << false << QStringList{"outside link", "underline hover", "standard link"};
        QTest::newRow("0, visited") << 0 << true << QStringList{"standard visited", "outside hover", "standard visited"};
        QTest::newRow("1") << 1 << false << QStringList{"underline link", "outside hover", "outside link"};
        // clang-format on
    }
    void labelFontAndColourFollowThePointer() {
        QFETCH(int, mode);
        QFETCH(bool, visited);
        QFETCH(QStringList, states);
        CLinkLabel label(kUrl);
        label.MarkVisited(visited);
        // A font set from outside before each step shows whether the step sets one of its own.
        const QFont outside(QStringLiteral("Serif"), 30);
        QStringList seen;
        const auto step = [&](const std::function<void()>& action) {
            label.setFont(outside);
            action();
            const bool underline = label.IsUnderlineFontInUse();
            const char* font = label.font() == outside ? "outside"
                               : underline             ? "underline"
                                                       : "standard";
            seen << font + (" " + Colour(label));
        };
        step([&] { label.SetUnderlineMode(mode); });
        step([&] { Send(label, QEnterEvent({}, {}, {})); });
        step([&] { Send(label, QEvent(QEvent::Leave)); });
        QCOMPARE(seen, states);
    }

    void labelTargetTextTooltipAndReleaseOutside() {
        CLinkLabel fromText(kUrl), empty;
        QCOMPARE(fromText.Target(), kUrl);
        fromText.SetTarget("https://other.example/");
        QCOMPARE(fromText.text(), kUrl);
        QCOMPARE(fromText.toolTip(), "https://other.example/");
        empty.SetTarget(kUrl);
        QCOMPARE(empty.text(), kUrl);
        Send(empty, QEnterEvent({}, {}, {}));
        QTest::mousePress(&empty, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&empty, Qt::LeftButton, {}, QPoint(-5, 5));
        QVERIFY(empty.IsPointerInside()); // a click would have ended the hover
    }

    void labelNamesTheReason_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        // clang-format off
        QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
        QTest::newRow("2") << 2 << "The specified file was not found.";
        QTest::newRow("3") << 3 << "The specified path was not found.";
        QTest::newRow("4") << 4 << "Unknown Error (4) occurred.";
        QTest::newRow("5") << 5 << "The operating system denied\naccess to the specified file.";
        QTest::newRow("8") << 8 << "There was not enough memory to complete the operation.";
        QTest::newRow("11") << 11 << "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        QTest::newRow("26") << 26 << "A sharing violation occurred. ";
        QTest::newRow("27") << 27 << "The filename association is\nincomplete or invalid.";
        QTest::newRow("28") << 28 << "The DDE transaction could not\nbe completed because the request timed out.";
        QTest::newRow("29") << 29 << "The DDE transaction failed.";
        QTest::newRow("30") << 30 << "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
        QTest::newRow("31") << 31 << "There is no application associated\nwith the given filename extension.";
        QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
        QTest::newRow("-7") << -7 << "Unknown Error (-7) occurred.";
        // clang-format on
    }
    void labelNamesTheReason() {
        QFETCH(int, code);
        QFETCH(QString, reason);
        QCOMPARE(CLinkLabel::OpenErrorText(code), "Unable to open hyperlink:\n\n" + reason);
    }

    void labelClickOpensTheTarget_data() {
        QTest::addColumn<int>("status"); // of xdg-open
        QTest::addColumn<QStringList>("lists");
        QTest::addColumn<int>("code");
        QTest::newRow("opened") << 0 << QStringList() << kLinkOpened;
        QTest::newRow("1 bad arguments") << 1 << QStringList() << 1;
        QTest::newRow("2 not found") << 2 << QStringList() << 2;
        QTest::newRow("3 no application") << 3 << QStringList() << 31;
        QTest::newRow("4 failed") << 4 << QStringList() << 4;
        QTest::newRow("other status") << 77 << QStringList() << 2;
        // clang-format off
        QTest::newRow("3, default browser") << 3 << QStringList{"config/mimeapps.list:x-scheme-handler/https=web.desktop"} << int(CLinkLabel::kHandlerStarted);
        // clang-format on
    }
    void labelClickOpensTheTarget() {
        QFETCH(int, status);
        QFETCH(QStringList, lists);
        QFETCH(int, code);
        qputenv("KQ_STATUS", QByteArray::number(status));
        FakePrompts prompts;
        CLinkLabel label(kUrl);
        label.SetPrompts(&prompts);
        label.SetWebHandlerDirectories(MakeXdg(lists));
        label.MarkVisited(true); // an earlier visit, which a failure forgets
        QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
        // xdg-open runs and waits for "go" while the window goes on.
        QTRY_COMPARE(kqtest::ReadBytes(m_dir.filePath("args")), kUrl.toUtf8());
        QCOMPARE(handled.count(), 0);
        Write(m_dir.filePath("go"), "");
        QTRY_COMPARE(handled.count(), 1);
        const bool ok = code > 32;
        QCOMPARE(handled[0][0].toInt(), code);
        QCOMPARE(Colour(label), ok ? "visited" : "link");
        QCOMPARE(prompts.beeps, ok ? 0 : 1);
        QCOMPARE(prompts.warnings.size(), ok ? 0 : 1);
        for (const auto& warning : prompts.warnings)
            QCOMPARE(warning.text, CLinkLabel::OpenErrorText(code));
        if (!lists.isEmpty())
            QTRY_COMPARE(kqtest::ReadBytes(m_dir.filePath("browser")),
                         "--new-window|" + kUrl.toUtf8() + "|");
    }

    void handlerCommandLine_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("command"); // with the target T
        QTest::addColumn<QStringList>("arguments");
        // clang-format off
        QTest::newRow("quoted program, option, quoted placeholder") << R"("/opt/Web Browser/b" --new-window "%u")" << R"("/opt/Web Browser/b" --new-window  T)" << QStringList{"/opt/Web Browser/b", "--new-window", "T"};
        QTest::newRow("bare placeholder drops what follows") << "b %u --private" << "b  T" << QStringList{"b", "T"};
        QTest::newRow("no placeholder") << "b --new-tab" << "b --new-tab T" << QStringList{"b", "--new-tab", "T"};
        QTest::newRow("%U") << "b -x %U" << "b -x  T" << QStringList{"b", "-x", "T"};
        QTest::newRow("%f") << "b %f" << "b  T" << QStringList{"b", "T"};
        QTest::newRow("quoted %F") << R"(b "%F")" << "b  T" << QStringList{"b", "T"};
        QTest::newRow("quoted before bare") << R"(b %f "%u")" << "b %f  T" << QStringList{"b", "T"};
        QTest::newRow("other field codes dropped") << "b %i %c %k %u" << "b %i %c %k  T" << QStringList{"b", "T"};
        QTest::newRow("escaped percent sign") << "b --x=%%u %u" << "b --x=%%u  T" << QStringList{"b", "--x=%u", "T"};
        QTest::newRow("blanks separate") << "b  c\td" << "b  c\td T" << QStringList{"b", "c", "d", "T"};
        QTest::newRow("quotes group and escape") << "\"a b\" \"\\\"\\$\\`\\\\\" \"\"" << "\"a b\" \"\\\"\\$\\`\\\\\" \"\" T" << QStringList{"a b", "\"$`\\", "", "T"};
        QTest::newRow("quote left open") << "b \"a %u" << "b \"a  T" << QStringList{};
        QTest::newRow("nothing") << " " << "  T" << QStringList{};
        // clang-format on
    }
    void handlerCommandLine() {
        QFETCH(QString, exec);
        QFETCH(QString, command);
        QFETCH(QStringList, arguments);
        const QString t = QStringLiteral("https://x.example/a b"); // stays one argument
        QCOMPARE(BuildHandlerCommand(exec, t), command.replace("T", t));
        QCOMPARE(HandlerArguments(exec, t), arguments.replaceInStrings("T", t));
    }

    void handlerIsTheDefaultBrowser_data() {
        QTest::addColumn<QStringList>("lists");
        QTest::addColumn<QString>("exec");
        const QString user = "config/mimeapps.list:", system = "etc/mimeapps.list:",
                      https = "x-scheme-handler/https=";
        // clang-format off
        QTest::newRow("https first") << QStringList{user + "text/html=a.desktop\nx-scheme-handler/http=b.desktop\n" + https + "web.desktop"} << R"("fake browser" --new-window "%u" --dropped)";
        QTest::newRow("http before text/html") << QStringList{user + "text/html=a.desktop\nx-scheme-handler/http=b.desktop"} << "b %u";
        QTest::newRow("first installed of a list") << QStringList{user + https + "gone.desktop;b.desktop;a.desktop"} << "b %u";
        QTest::newRow("user before system") << QStringList{user + https + "a.desktop", system + https + "b.desktop"} << "a %u";
        QTest::newRow("user's not installed") << QStringList{user + https + "gone.desktop", system + https + "b.desktop"} << "b %u";
        QTest::newRow("desktop's list first") << QStringList{user + https + "a.desktop", "config/kde-mimeapps.list:" + https + "b.desktop"} << "b %u";
        QTest::newRow("none") << QStringList() << "";
        // clang-format on
    }
    void handlerIsTheDefaultBrowser() {
        QFETCH(QStringList, lists);
        QFETCH(QString, exec);
        QCOMPARE(DefaultWebHandlerExec(MakeXdg(lists)), exec);
    }
};

QTEST_MAIN(TestUiControls)
#include "tst_ui_controls.moc"
