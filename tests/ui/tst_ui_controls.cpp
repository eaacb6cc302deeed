#include "FakePrompts.h"
#include "TestFiles.h"
#include "ui/Resources.h"
#include "ui/SkinPainter.h"
#include "ui/controls/KQBitmapButton.h"
#include "ui/controls/LinkLabel.h"

#include <QPainter>
#include <QtTest>

using namespace kq;

using namespace kq::platform;

class TestUiControls : public QObject {
    Q_OBJECT
    const QString kUrl = "https://www.kqmedia.example/";
    QTemporaryDir m_dir;

    struct LabelCase {
        int alignment;
        QRect fitted;
        int mode;
        bool visited;
        QStringList states;
    };
    struct ButtonCase {
        int id = IDB_SAVE_INFO;
        QSize frame{65, 19};
        QString steps{}; // enter, leave, shrink, disable, press
        int shown = 3;
    };

    static void Send(QWidget& widget, QEvent&& event) { QApplication::sendEvent(&widget, &event); }
    // What a widget gets from a double-click: press, release, the double-click, release.
    static void DoubleClick(QWidget& widget) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
            Send(widget,
                 QMouseEvent(type, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                             type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                             {}));
    }
    // Writes an executable file (the stand-ins are scripts), making its folder.
    static void Write(const QString& path, const QString& text) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && kqtest::WriteBytes(path, text.toUtf8()));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    }
private slots:
    void skinPaintsTitleFrameAndBody() {
        // Below the title strip, the body bitmap's rows 279 to 612, the last one on the window's
        // last row; the title strip's grey levels; a dark one-pixel frame round it all. At a
        // device pixel ratio of 2, the same from the bitmaps drawn twice as large.
        for (const int k : {1, 2}) {
            QImage image(QSize(554, 357) * k, QImage::Format_RGB32);
            image.setDevicePixelRatio(k);
            image.fill(Qt::magenta);
            QPainter painter(&image);
            DrawSkin(painter, QSize(554, 357));
            painter.end();
            QImage expected = LoadBitmapResource(IDB_BODY, k).copy(2 * k, 256 * k, 1, 357 * k);
            expected = expected.scaled(image.size());
            painter.begin(&expected);
            const auto grey = QByteArray::fromHex("66BCC2C9CFD4D9DEE2E6E8E8E6E3DEDAD5D1CCC6C0BB00");
            for (int y = 0; y < 23; ++y)
                painter.fillRect(0, y, 554, 1, QColor(QRgb(0x010101 * quint8(grey[y]))));
            if (k == 2) // finer steps of its own between the title's levels
                painter.drawImage(QRect(0, 1, 554, 21), LoadBitmapResource(IDB_TITLE_MIDDLE, 2),
                                  QRect(0, 2, 1, 42));
            painter.setPen(QColor(0x666666));
            painter.drawRect(QRectF(0.5, 0.5, 553, 356));
            painter.end();
            QCOMPARE(image, expected.convertToFormat(QImage::Format_RGB32));
            QCOMPARE(LoadProgramIcon().pixmap(QSize(48, 48), k).size(), QSize(48, 48) * k);
        }
    }

    void buttonSizesNotifiesAndShowsOneFrame_data() {
        QTest::addColumn<ButtonCase>("c");
        // clang-format off
        QTest::newRow("normal") << ButtonCase{.shown = 0};
        QTest::newRow("hover") << ButtonCase{.steps = "enter", .shown = 1};
        QTest::newRow("pointer left") << ButtonCase{.steps = "enter leave", .shown = 0};
        QTest::newRow("pressed beats hover") << ButtonCase{.steps = "enter press", .shown = 2};
        QTest::newRow("disabled beats pressed") << ButtonCase{.steps = "disable press"};
        QTest::newRow("minimise in 16 x 16") << ButtonCase{IDB_MINIMIZE, {18, 18}, "shrink press", 2};
        QTest::newRow("130 Save Info") << ButtonCase{.steps = "disable"};
        QTest::newRow("137 close") << ButtonCase{IDB_CLOSE, {16, 16}, "disable"};
        QTest::newRow("138 Mail Info") << ButtonCase{IDB_MAIL_INFO, {65, 19}, "disable"};
        QTest::newRow("139 minimise") << ButtonCase{IDB_MINIMIZE, {18, 18}, "disable"};
        QTest::newRow("140 Add Media") << ButtonCase{IDB_ADD_MEDIA, {65, 19}, "disable"};
        QTest::newRow("141 Exit") << ButtonCase{IDB_EXIT, {65, 19}, "disable"};
        // clang-format on
    }
    void buttonSizesNotifiesAndShowsOneFrame() {
        QFETCH(ButtonCase, c);
        CKQBitmapButton button;
        button.move(7, 9);
        QVERIFY(button.LoadStrip(QImage(262, 19, QImage::Format_RGB32)));
        QCOMPARE(button.size(), QSize(65, 19));  // a quarter: the last two columns never show
        QVERIFY(button.LoadStripResource(c.id)); // in place of the first
        QCOMPARE(button.geometry(), QRect(QPoint(7, 9), c.frame));
        // Press, click, release; then a press inside and a release outside, which is no click.
        QStringList log;
        connect(&button, &CKQBitmapButton::Notify, [&](auto, int a) { log << QString::number(a); });
        connect(&button, &QAbstractButton::clicked, [&] { log << "clicked"; });
        // A double-click is one click: its second press is no press of the button.
        DoubleClick(button);
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 80));
        QCOMPARE(log, QStringList({"0", "clicked", "1", "1", "0", "1"}));
        // The pointing hand, its hot spot on the fingertip; on a screen twice as dense, drawn
        // twice as large.
        QCOMPARE(button.cursor().hotSpot(), QPoint(5, 0));
        const QCursor hand = LoadHandCursor(2);
        QVERIFY(hand.hotSpot() == QPoint(10, 0) &&
                hand.pixmap().toImage() == LoadBitmapResource(IDC_HAND, 2));
        if (c.steps.contains("enter"))
            Send(button, QEnterEvent({}, {}, {}));
        if (c.steps.contains("leave"))
            Send(button, QEvent(QEvent::Leave));
        if (c.steps.contains("shrink"))
            button.resize(16, 16);                       // shows the top left of its frame
        button.setEnabled(!c.steps.contains("disable")); // first: disabling releases a button
        button.setDown(c.steps.contains("press"));
        QCOMPARE(button.grab().toImage().convertToFormat(QImage::Format_RGB32),
                 LoadBitmapResource(c.id).copy({{c.shown * c.frame.width(), 0}, button.size()}));
        QImage twice(button.size() * 2, QImage::Format_RGB32); // from the strip twice as large
        twice.setDevicePixelRatio(2);
        button.render(&twice);
        QCOMPARE(twice, LoadBitmapResource(c.id, 2).copy(
                            {{c.shown * c.frame.width() * 2, 0}, twice.size()}));
    }

    void labelFitsAndFollowsThePointer_data() {
        // A label with an alignment, the geometry it fits to, an underline mode, visited or not,
        // and which font (set from outside, or one of its own) and colour (link #0000ee, visited
        // #551a8b, hover #ff0000) it has after setting the mode, after entering, after leaving.
        QTest::addColumn<LabelCase>("c");
        // The text's extent in the underline font; the label starts 100 pixels wider and 20
        // higher than that, at (20, 30).
        const QFontMetrics metrics(CLinkLabel().UnderlineFont());
        const int w = metrics.horizontalAdvance(kUrl), h = metrics.height();
        // clang-format off
        QTest::newRow("left, mode -1") << LabelCase{int(Qt::AlignLeft), QRect(20, 30, w, h), -1, false, {"outside #0000ee", "underline #ff0000", "standard #0000ee"}};
        QTest::newRow("right, mode 0, visited") << LabelCase{int(Qt::AlignRight), QRect(120, 30, w, h), 0, true, {"standard #551a8b", "outside #ff0000", "standard #551a8b"}};
        QTest::newRow("centred, mode 1") << LabelCase{int(Qt::AlignHCenter), QRect(70, 30, w, h), 1, false, {"underline #0000ee", "outside #ff0000", "outside #0000ee"}};
        QTest::newRow("centred vertically, mode -1, visited") << LabelCase{int(Qt::AlignVCenter), QRect(20, 40, w, h), -1, true, {"outside #551a8b", "underline #ff0000", "standard #551a8b"}};
        // clang-format on
    }
    void labelFitsAndFollowsThePointer() {
        QFETCH(LabelCase, c);
        CLinkLabel label;
        label.setAlignment(Qt::Alignment(c.alignment));
        label.setGeometry(20, 30, c.fitted.width() + 100, c.fitted.height() + 20);
        label.SetTarget(kUrl); // the empty text takes the target; the label fits to it
        QCOMPARE(label.geometry(), c.fitted);
        QCOMPARE(label.toolTip(), kUrl);
        label.MarkVisited(c.visited);
        // A font set from outside before each step shows whether the step sets one of its own.
        const QFont outside("Serif", 30);
        QStringList seen;
        const auto step = [&](const std::function<void()>& action) {
            label.setFont(outside);
            action();
            seen << QString(label.font() == outside        ? "outside "
                            : label.IsUnderlineFontInUse() ? "underline "
                                                           : "standard ") +
                        label.palette().color(QPalette::WindowText).name();
        };
        step([&] { label.SetUnderlineMode(c.mode); });
        step([&] {
            Send(label, QEnterEvent({}, {}, {}));
            // Pressed inside, released outside: no click, which would end the hover.
            QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
            QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(-5, 5));
        });
        step([&] { Send(label, QEvent(QEvent::Leave)); });
        QCOMPARE(seen, c.states);
        // The face filled with the button colour, on a magenta parent; the text in the colour
        // of its state.
        QWidget parent;
        QPalette magenta;
        magenta.setColor(QPalette::Window, Qt::magenta);
        parent.setPalette(magenta);
        parent.setAutoFillBackground(true);
        label.setParent(&parent);
        label.show();
        const QImage face =
            parent.grab(label.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        label.setParent(nullptr); // the label outlives its parent
        const auto* pixels = reinterpret_cast<const QRgb*>(face.constBits());
        QCOMPARE(QColor(pixels[face.width() - 1]), label.palette().color(QPalette::Button));
        QVERIFY(std::count(pixels, pixels + face.width() * face.height(),
                           label.palette().color(QPalette::WindowText).rgb()) > 20);
    }

    void labelClickOpensTheTarget_data() {
        QTest::addColumn<QString>("status");    // of xdg-open
        QTest::addColumn<QStringList>("lists"); // default applications ("file:line")
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("args"); // of the browser started after xdg-open
        // clang-format off
        QTest::newRow("opened") << "0" << QStringList() << kLinkOpened << "";
        QTest::newRow("2 not found") << "2" << QStringList() << 2 << "";
        QTest::newRow("3 no application") << "3" << QStringList() << 31 << "";
        QTest::newRow("other status") << "77" << QStringList() << 2 << "";
        QTest::newRow("4 from a browser that ran, not started again") << "4" << QStringList{"mimeapps.list:x-scheme-handler/https=web.desktop"} << 4 << "";
        QTest::newRow("still running, the browser is up") << "$(sleep 4; echo 1)" << QStringList() << kLinkOpened << "";
        QTest::newRow("browser for https first") << "3" << QStringList{"mimeapps.list:x-scheme-handler/http=b.desktop\ntext/html=b.desktop\nx-scheme-handler/https=web.desktop"} << int(CLinkLabel::kHandlerStarted) << "-a b URL";
        QTest::newRow("first installed of a list") << "3" << QStringList{"mimeapps.list:x-scheme-handler/https=gone.desktop;b.desktop;web.desktop"} << int(CLinkLabel::kHandlerStarted) << "b URL";
        QTest::newRow("user's list before the system's") << "3" << QStringList{"mimeapps.list:x-scheme-handler/https=b.desktop", "etc/mimeapps.list:x-scheme-handler/https=web.desktop"} << int(CLinkLabel::kHandlerStarted) << "b URL";
        QTest::newRow("desktop's list first") << "3" << QStringList{"mimeapps.list:x-scheme-handler/https=web.desktop", "kde-mimeapps.list:x-scheme-handler/https=b.desktop"} << int(CLinkLabel::kHandlerStarted) << "b URL";
        // clang-format on
    }
    void labelClickOpensTheTarget() {
        QFETCH(QString, status);
        QFETCH(QStringList, lists);
        QFETCH(int, code);
        QFETCH(QString, args);
        // This row's folder, first on PATH: stand-ins for xdg-open (exiting with the status) and
        // the browser that note their arguments; mimeapps lists; desktop files of two browsers.
        const QString dir = m_dir.filePath(QTest::currentDataTag()) + "/";
        for (const QString name : {"xdg-open", "browser"})
            Write(dir + name,
                  "#!/bin/sh\nexec >/dev/null 2>&1\nprintf '%s' \"$*\" >> \"$0.args\"\nexit " +
                      status);
        qputenv("PATH", QFile::encodeName(dir) + ':' + qgetenv("PATH"));
        for (const QString& list : lists)
            Write(dir + list.section(':', 0, 0), "[Default Applications]\n" + list.section(':', 1));
        Write(dir + "usr/applications/b.desktop", "[Desktop Entry]\nExec=browser b %u\n");
        Write(dir + "applications/web.desktop", "[Desktop Entry]\nExec=browser -a\\sb %u -c\n");
        FakePrompts prompts;
        CLinkLabel label(kUrl);
        label.SetPrompts(&prompts);
        label.SetWebHandlerDirectories({dir, {dir + "etc"}, dir, {dir + "usr"}, {"kde"}});
        label.MarkVisited(true); // an earlier visit, which a failure forgets
        QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
        DoubleClick(label);                // opens once
        QCOMPARE(handled.count(), 0);      // the result comes later: nothing waits for xdg-open
        QVERIFY(!label.IsPointerInside()); // until the pointer moves over it again
        Send(label,
             QMouseEvent(QEvent::MouseMove, QPointF(6, 5), QPointF(6, 5), Qt::NoButton, {}, {}));
        QVERIFY(label.IsPointerInside());
        QTRY_COMPARE(handled.value(0).value(0), QVariant(code));
        QCOMPARE(label.IsVisited(), code > 32);
        QCOMPARE(prompts.beeps, code > 32 ? 0 : 1);
        QCOMPARE(prompts.said,
                 code > 32 ? QStringList()
                           : QStringList{"ui_controls warns: " + CLinkLabel::OpenErrorText(code)});
        QCOMPARE(kqtest::ReadBytes(dir + "xdg-open.args"), kUrl.toUtf8()); // once
        QTRY_COMPARE(kqtest::ReadBytes(dir + "browser.args"), args.replace("URL", kUrl).toUtf8());
    }

    void handlerCommandLine_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("expected"); // the command line, then its arguments
        // clang-format off
        QTest::newRow("quoted program, option, quoted placeholder") << R"("/opt/Web Browser/b" --new-window "%u")" << QStringList{R"("/opt/Web Browser/b" --new-window  T)", "/opt/Web Browser/b", "--new-window", "T"};
        QTest::newRow("bare placeholder drops what follows") << "b %U --private" << QStringList{"b  T", "b", "T"};
        QTest::newRow("quoted before bare") << R"(b %f "%F")" << QStringList{"b %f  T", "b", "T"};
        QTest::newRow("field codes dropped, %% escaped") << "b %i %c %k --x=%%u %u" << QStringList{"b %i %c %k --x=%%u  T", "b", "--x=%u", "T"};
        QTest::newRow("no placeholder; blanks, quotes, escapes") << "b  \"a b\"\t\"\\\"\\$\\`\\\\\" \"\"" << QStringList{"b  \"a b\"\t\"\\\"\\$\\`\\\\\" \"\" T", "b", "a b", "\"$`\\", "", "T"};
        QTest::newRow("quote left open") << "b \"a %u" << QStringList{"b \"a  T"};
        // clang-format on
    }
    void handlerCommandLine() {
        QFETCH(QString, exec);
        QFETCH(QStringList, expected);
        const QString t = "https://x.example/a b"; // stays one argument
        QCOMPARE(QStringList{BuildHandlerCommand(exec, t)} + HandlerArguments(exec, t),
                 expected.replaceInStrings("T", t));
    }
};

QTEST_MAIN(TestUiControls)
#include "tst_ui_controls.moc"
