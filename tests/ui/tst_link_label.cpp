#include "FakePrompts.h"
#include "TestFiles.h"
#include "ui/controls/LinkLabel.h"

#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using kqtest::ReadBytes;

namespace {

const QString kUrl = QStringLiteral("https://www.kqmedia.example/");

void Enter(QWidget& widget) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(&widget, &event);
}

void Leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}

int CountPixels(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

bool WriteScript(const QString& path, const QByteArray& body) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        return false;
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

} // namespace

class TestLinkLabel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void colourFollowsTheState_data();
    void colourFollowsTheState();
    void fitsToItsText_data();
    void fitsToItsText();
    void noFittingWhenAutoFitIsOff();
    void targetAndTextDefaultFromEachOther();
    void fontCursorAndTooltip();
    void reasonTexts_data();
    void reasonTexts();

    void clickOpensWithXdgOpenWithoutBlocking();
    void failedOpenBeepsAndNamesTheReason_data();
    void failedOpenBeepsAndNamesTheReason();
    void fallsBackToTheDefaultBrowser();
    void failedClickClearsVisited();

private:
    // Puts a fake xdg-open first on PATH, exiting with the given status after writing its
    // arguments to args.txt; with gate set it first waits for the file "go".
    bool InstallXdgOpen(int status, bool gate = false);
    kq::platform::XdgDirectories EmptyXdg() const;

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

void TestLinkLabel::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
    m_oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("bin"))) + ':' + m_oldPath);
}

void TestLinkLabel::cleanupTestCase() {
    qputenv("PATH", m_oldPath);
}

bool TestLinkLabel::InstallXdgOpen(int status, bool gate) {
    QFile::remove(m_dir.filePath(QStringLiteral("args.txt")));
    QFile::remove(m_dir.filePath(QStringLiteral("go")));
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QByteArray body = "printf '%s' \"$*\" > '" + dir + "/args.txt'\n";
    if (gate)
        body += "while [ ! -e '" + dir + "/go' ]; do sleep 0.02; done\n";
    body += "exit " + QByteArray::number(status) + "\n";
    return WriteScript(m_dir.filePath(QStringLiteral("bin/xdg-open")), body);
}

kq::platform::XdgDirectories TestLinkLabel::EmptyXdg() const {
    kq::platform::XdgDirectories dirs;
    dirs.configHome = m_dir.filePath(QStringLiteral("no-config"));
    dirs.dataHome = m_dir.filePath(QStringLiteral("no-data"));
    return dirs;
}

void TestLinkLabel::colourFollowsTheState_data() {
    QTest::addColumn<bool>("inside");
    QTest::addColumn<bool>("visited");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("link") << false << false << CLinkLabel::kLinkColour;
    QTest::newRow("visited") << false << true << CLinkLabel::kVisitedColour;
    QTest::newRow("hover") << true << false << CLinkLabel::kHoverColour;
    QTest::newRow("hover beats visited") << true << true << CLinkLabel::kHoverColour;
}

void TestLinkLabel::colourFollowsTheState() {
    QFETCH(bool, inside);
    QFETCH(bool, visited);
    QFETCH(QRgb, colour);
    CLinkLabel label(kUrl);
    label.SetUnderlineMode(1);
    label.MarkVisited(visited);
    if (inside)
        Enter(label);
    QCOMPARE(label.IsPointerInside(), inside);
    QCOMPARE(label.CurrentColour(), QColor(colour));

    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    // The underline is drawn in the text colour, solid: plenty of exact pixels.
    QVERIFY(CountPixels(image, colour) >= label.width() / 2);
    for (QRgb other :
         {CLinkLabel::kLinkColour, CLinkLabel::kVisitedColour, CLinkLabel::kHoverColour})
        if (other != colour)
            QCOMPARE(CountPixels(image, other), 0);

    if (inside) {
        Leave(label);
        QCOMPARE(label.CurrentColour(),
                 QColor(visited ? CLinkLabel::kVisitedColour : CLinkLabel::kLinkColour));
    }
}

void TestLinkLabel::fitsToItsText_data() {
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("frame"); // line width of a box frame round the text
    QTest::newRow("left") << int(Qt::AlignLeft | Qt::AlignTop) << 0;
    QTest::newRow("centred") << int(Qt::AlignHCenter | Qt::AlignTop) << 0;
    QTest::newRow("right") << int(Qt::AlignRight | Qt::AlignTop) << 0;
    QTest::newRow("centred vertically") << int(Qt::AlignLeft | Qt::AlignVCenter) << 0;
    QTest::newRow("left, framed") << int(Qt::AlignLeft | Qt::AlignTop) << 2;
    QTest::newRow("right, framed") << int(Qt::AlignRight | Qt::AlignTop) << 2;
}

void TestLinkLabel::fitsToItsText() {
    QFETCH(int, alignment);
    QFETCH(int, frame);
    QWidget parent;
    CLinkLabel label(kUrl, &parent);
    label.SetAutoFit(false);
    if (frame) {
        label.setFrameStyle(QFrame::Box | QFrame::Plain);
        label.setLineWidth(frame);
    }
    label.setAlignment(Qt::Alignment(alignment));
    const QRect before(26, 321, 300, 61);
    label.setGeometry(before);
    label.SetAutoFit(true);
    label.FitToText();

    const QFontMetrics metrics(label.UnderlineFont());
    const int neededWidth = metrics.horizontalAdvance(kUrl) + 2 * frame;
    const int neededHeight = metrics.height() + 2 * frame;
    const QRect after = label.geometry();
    QVERIFY(neededWidth < before.width());
    if (alignment & Qt::AlignHCenter) {
        QVERIFY(qAbs(after.width() - neededWidth) <= 1);
        QVERIFY(qAbs((after.left() + after.right()) - (before.left() + before.right())) <= 1);
    } else if (alignment & Qt::AlignRight) {
        QCOMPARE(after.width(), neededWidth);
        QCOMPARE(after.right(), before.right());
    } else {
        QCOMPARE(after.width(), neededWidth);
        QCOMPARE(after.left(), before.left());
    }
    if (alignment & Qt::AlignVCenter) {
        QVERIFY(qAbs(after.height() - neededHeight) <= 1);
        QVERIFY(qAbs((after.top() + after.bottom()) - (before.top() + before.bottom())) <= 1);
    } else {
        QCOMPARE(after.height(), neededHeight);
        QCOMPARE(after.top(), before.top());
    }
}

void TestLinkLabel::noFittingWhenAutoFitIsOff() {
    QWidget parent;
    CLinkLabel label(kUrl, &parent);
    label.SetAutoFit(false);
    label.setGeometry(26, 321, 173, 14);
    label.SetTarget(QStringLiteral("https://elsewhere.example/"));
    QCOMPARE(label.geometry(), QRect(26, 321, 173, 14));
}

void TestLinkLabel::targetAndTextDefaultFromEachOther() {
    CLinkLabel fromText(QStringLiteral("https://text.example/"));
    QCOMPARE(fromText.Target(), QStringLiteral("https://text.example/"));
    fromText.SetTarget(kUrl);
    QCOMPARE(fromText.text(), QStringLiteral("https://text.example/")); // the text stays
    QCOMPARE(fromText.Target(), kUrl);

    CLinkLabel empty;
    empty.SetTarget(kUrl);
    QCOMPARE(empty.text(), kUrl);
}

void TestLinkLabel::fontCursorAndTooltip() {
    CLinkLabel label(QStringLiteral("x"));
    label.SetTarget(kUrl);
    QCOMPARE(label.toolTip(), kUrl);
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    label.SetUnderlineMode(1);
    QCOMPARE(label.UnderlineMode(), 1);
    QVERIFY(label.font().underline());
    QVERIFY(label.font().bold());
    Enter(label);
    Leave(label);
    QCOMPARE(label.font(), label.UnderlineFont());
}

void TestLinkLabel::reasonTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
    QTest::newRow("2") << 2 << "The specified file was not found.";
    QTest::newRow("3") << 3 << "The specified path was not found.";
    QTest::newRow("4 unknown") << 4 << "Unknown Error (4) occurred.";
    QTest::newRow("5") << 5 << "The operating system denied\naccess to the specified file.";
    QTest::newRow("8") << 8 << "There was not enough memory to complete the operation.";
    QTest::newRow("11") << 11
                        << "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    QTest::newRow("26 ends in a blank") << 26 << "A sharing violation occurred. ";
    QTest::newRow("27") << 27 << "The filename association is\nincomplete or invalid.";
    QTest::newRow("28") << 28
                        << "The DDE transaction could not\nbe completed because the request "
                           "timed out.";
    QTest::newRow("29") << 29 << "The DDE transaction failed.";
    QTest::newRow("30") << 30
                        << "The DDE transaction could not\nbe completed because other DDE "
                           "transactions\nwere being processed.";
    QTest::newRow("31") << 31
                        << "There is no application associated\nwith the given filename "
                           "extension.";
    QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
    QTest::newRow("1 unknown") << 1 << "Unknown Error (1) occurred.";
    QTest::newRow("negative") << -7 << "Unknown Error (-7) occurred.";
}

void TestLinkLabel::reasonTexts() {
    QFETCH(int, code);
    QFETCH(QString, reason);
    QCOMPARE(CLinkLabel::ReasonText(code), reason);
    QCOMPARE(CLinkLabel::OpenErrorText(code), "Unable to open hyperlink:\n\n" + reason);
}

void TestLinkLabel::clickOpensWithXdgOpenWithoutBlocking() {
    QVERIFY(InstallXdgOpen(0, true));
    FakePrompts prompts;
    CLinkLabel label(kUrl);
    label.SetPrompts(&prompts);
    label.SetWebHandlerDirectories(EmptyXdg());
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    // The child waits for "go"; the window keeps running meanwhile.
    QTRY_COMPARE(ReadBytes(m_dir.filePath(QStringLiteral("args.txt"))), kUrl.toUtf8());
    QCOMPARE(handled.count(), 0);
    QVERIFY(!label.IsVisited());
    QVERIFY(QFile(m_dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly));
    QTRY_COMPARE(handled.count(), 1);
    QVERIFY(handled.at(0).at(0).toInt() > 32);
    QVERIFY(label.IsVisited());
    QCOMPARE(label.CurrentColour(), QColor(CLinkLabel::kVisitedColour));
    QCOMPARE(prompts.warnings.size(), 0);
}

void TestLinkLabel::failedOpenBeepsAndNamesTheReason_data() {
    QTest::addColumn<int>("status"); // -1: no xdg-open at all
    QTest::addColumn<int>("code");
    QTest::newRow("3: no application") << 3 << 31;
    QTest::newRow("2: not found") << 2 << 2;
    QTest::newRow("4: failed") << 4 << 4;
    QTest::newRow("1: bad arguments") << 1 << 1;
    QTest::newRow("missing opener") << -1 << 2;
}

void TestLinkLabel::failedOpenBeepsAndNamesTheReason() {
    QFETCH(int, status);
    QFETCH(int, code);
    QVERIFY(InstallXdgOpen(status < 0 ? 0 : status));
    FakePrompts prompts;
    CLinkLabel label(kUrl);
    label.SetPrompts(&prompts);
    label.SetWebHandlerDirectories(EmptyXdg());
    if (status < 0)
        label.Opener().SetProgram(m_dir.filePath(QStringLiteral("missing/xdg-open")));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(0).toInt(), code);
    QCOMPARE(prompts.warnings.size(), 1);
    QCOMPARE(prompts.warnings[0].caption, QCoreApplication::applicationName());
    QCOMPARE(prompts.warnings[0].text, CLinkLabel::OpenErrorText(code));
    QVERIFY(!label.IsVisited());
}

void TestLinkLabel::fallsBackToTheDefaultBrowser() {
    QVERIFY(InstallXdgOpen(3));
    kq::platform::XdgDirectories dirs = EmptyXdg();
    dirs.configHome = m_dir.filePath(QStringLiteral("config"));
    dirs.dataHome = m_dir.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(dirs.configHome));
    QVERIFY(QDir().mkpath(dirs.dataHome + "/applications"));
    const QString browser = m_dir.filePath(QStringLiteral("bin/fake browser"));
    const QString out = m_dir.filePath(QStringLiteral("browser.txt"));
    QVERIFY(WriteScript(browser, "printf '%s|' \"$@\" > '" + QFile::encodeName(out) + "'\n"));
    QFile list(dirs.configHome + "/mimeapps.list");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("[Default Applications]\nx-scheme-handler/https=fake.desktop\n");
    list.close();
    QFile desktop(dirs.dataHome + "/applications/fake.desktop");
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[Desktop Entry]\nType=Application\nExec=\"" + QFile::encodeName(browser) +
                  "\" --new-window \"%u\" --dropped\n");
    desktop.close();

    FakePrompts prompts;
    CLinkLabel label(kUrl);
    label.SetPrompts(&prompts);
    label.SetWebHandlerDirectories(dirs);
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(0).toInt(), CLinkLabel::kHandlerStarted);
    QVERIFY(label.IsVisited());
    QCOMPARE(prompts.warnings.size(), 0);
    QTRY_COMPARE(ReadBytes(out), "--new-window|" + kUrl.toUtf8() + "|");
}

void TestLinkLabel::failedClickClearsVisited() {
    QVERIFY(InstallXdgOpen(0));
    FakePrompts prompts;
    CLinkLabel label(kUrl);
    label.SetPrompts(&prompts);
    label.SetWebHandlerDirectories(EmptyXdg());
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy handled(&label, &CLinkLabel::ClickHandled);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(handled.count(), 1);
    QVERIFY(label.IsVisited());
    QVERIFY(InstallXdgOpen(3));
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(handled.count(), 2);
    QVERIFY(!label.IsVisited());
    QCOMPARE(label.CurrentColour(), QColor(CLinkLabel::kLinkColour));
    QCOMPARE(prompts.warnings.size(), 1);
}

QTEST_MAIN(TestLinkLabel)
#include "tst_link_label.moc"
