#include "ui/Resources.h"
#include "ui/controls/KQBitmapButton.h"

#include <QEnterEvent>
#include <QImage>
#include <QtTest>

namespace {

// A strip whose every column differs from every other, so a frame copied from the wrong place
// or at the wrong offset cannot pass for the right one.
QImage MakeStrip(int width, int height) {
    QImage strip(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            strip.setPixel(x, y, qRgb(x & 0xFF, (y * 9) & 0xFF, 40 + (x >> 8) * 60 + (x % 7) * 20));
    return strip;
}

QImage Render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(qRgb(0xFF, 0x00, 0xFF));
    widget.render(&image);
    return image;
}

void Enter(QWidget& widget) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(&widget, &event);
}

void Leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}

} // namespace

class TestBitmapButton : public QObject {
    Q_OBJECT
private slots:
    void showsTheFrameOfItsState_data();
    void showsTheFrameOfItsState();
    void leavingBringsBackTheNormalFrame();
    void frameWidthIsAQuarterOfTheStrip_data();
    void frameWidthIsAQuarterOfTheStrip();
    void loadingKeepsThePositionAndResizes();
    void smallerButtonShowsTheTopLeftOfItsFrame();
    void programStripsHaveTheirSizes_data();
    void programStripsHaveTheirSizes();
    void framesOfAProgramStripDiffer();
    void cursorIsTheHandWithItsHotSpot();
    void clickNotifiesPressClickRelease();
    void releaseOutsideGivesNoClick();
};

void TestBitmapButton::showsTheFrameOfItsState_data() {
    QTest::addColumn<bool>("hover");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<int>("frame");
    QTest::newRow("normal") << false << false << false << 0;
    QTest::newRow("hover") << true << false << false << 1;
    QTest::newRow("pressed") << false << true << false << 2;
    QTest::newRow("pressed under a resting pointer") << true << true << false << 2;
    QTest::newRow("disabled") << false << false << true << 3;
    QTest::newRow("disabled and pressed") << false << true << true << 3;
    QTest::newRow("disabled under the pointer") << true << false << true << 3;
}

void TestBitmapButton::showsTheFrameOfItsState() {
    QFETCH(bool, hover);
    QFETCH(bool, pressed);
    QFETCH(bool, disabled);
    QFETCH(int, frame);
    QWidget parent;
    CKQBitmapButton button(&parent);
    const QImage strip = MakeStrip(260, 19);
    QVERIFY(button.LoadStrip(strip));
    if (hover)
        Enter(button);
    // Disabling releases a pressed button, so the button is disabled first and pressed after.
    button.setEnabled(!disabled);
    button.setDown(pressed);
    QCOMPARE(button.isDown(), pressed);
    QCOMPARE(button.CurrentFrame(), frame);
    QCOMPARE(Render(button), strip.copy(frame * 65, 0, 65, 19));
}

void TestBitmapButton::leavingBringsBackTheNormalFrame() {
    CKQBitmapButton button;
    const QImage strip = MakeStrip(260, 19);
    button.LoadStrip(strip);
    Enter(button);
    QVERIFY(button.IsHover());
    QCOMPARE(Render(button), strip.copy(65, 0, 65, 19));
    Leave(button);
    QVERIFY(!button.IsHover());
    QCOMPARE(Render(button), strip.copy(0, 0, 65, 19));
}

void TestBitmapButton::frameWidthIsAQuarterOfTheStrip_data() {
    QTest::addColumn<QSize>("strip");
    QTest::addColumn<QSize>("frame");
    QTest::newRow("260 x 19") << QSize(260, 19) << QSize(65, 19);
    QTest::newRow("262 x 19, two columns never shown") << QSize(262, 19) << QSize(65, 19);
    QTest::newRow("64 x 16") << QSize(64, 16) << QSize(16, 16);
    QTest::newRow("72 x 18") << QSize(72, 18) << QSize(18, 18);
}

void TestBitmapButton::frameWidthIsAQuarterOfTheStrip() {
    QFETCH(QSize, strip);
    QFETCH(QSize, frame);
    CKQBitmapButton button;
    const QImage image = MakeStrip(strip.width(), strip.height());
    QVERIFY(button.LoadStrip(image));
    QCOMPARE(button.FrameWidth(), frame.width());
    QCOMPARE(button.FrameHeight(), frame.height());
    QCOMPARE(button.size(), frame);
    button.setEnabled(false);
    QCOMPARE(Render(button), image.copy(3 * frame.width(), 0, frame.width(), frame.height()));
}

void TestBitmapButton::loadingKeepsThePositionAndResizes() {
    QWidget parent;
    CKQBitmapButton button(&parent);
    button.setGeometry(30, 40, 0, 0);
    QVERIFY(button.LoadStrip(MakeStrip(260, 19)));
    QCOMPARE(button.geometry(), QRect(30, 40, 65, 19));
    QVERIFY(button.LoadStrip(MakeStrip(72, 18)));
    QCOMPARE(button.geometry(), QRect(30, 40, 18, 18));
    QVERIFY(!button.LoadStrip(QImage()));
}

void TestBitmapButton::smallerButtonShowsTheTopLeftOfItsFrame() {
    CKQBitmapButton button;
    const QImage strip = MakeStrip(72, 18);
    button.LoadStrip(strip);
    button.resize(16, 16);
    QCOMPARE(Render(button), strip.copy(0, 0, 16, 16));
    button.setDown(true);
    QCOMPARE(Render(button), strip.copy(36, 0, 16, 16));
}

void TestBitmapButton::programStripsHaveTheirSizes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("frame");
    QTest::newRow("130 Save Info") << 130 << QSize(65, 19);
    QTest::newRow("137 close") << 137 << QSize(16, 16);
    QTest::newRow("138 Mail Info") << 138 << QSize(65, 19);
    QTest::newRow("139 minimise") << 139 << QSize(18, 18);
    QTest::newRow("140 Add Media") << 140 << QSize(65, 19);
    QTest::newRow("141 Exit") << 141 << QSize(65, 19);
}

void TestBitmapButton::programStripsHaveTheirSizes() {
    QFETCH(int, id);
    QFETCH(QSize, frame);
    QWidget parent;
    CKQBitmapButton button(&parent);
    button.move(7, 9);
    QVERIFY(button.LoadStripResource(id));
    QCOMPARE(button.Strip().size(), QSize(4 * frame.width(), frame.height()));
    QCOMPARE(button.geometry(), QRect(QPoint(7, 9), frame));
}

void TestBitmapButton::framesOfAProgramStripDiffer() {
    CKQBitmapButton button;
    QVERIFY(button.LoadStripResource(IDB_ADD_MEDIA));
    QList<QImage> frames;
    for (int f = 0; f < 4; ++f)
        frames.append(button.Strip().copy(f * 65, 0, 65, 19));
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            QVERIFY2(frames[a] != frames[b], qPrintable(QStringLiteral("%1 == %2").arg(a).arg(b)));
}

void TestBitmapButton::cursorIsTheHandWithItsHotSpot() {
    CKQBitmapButton button;
    QCOMPARE(button.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(button.cursor().hotSpot(), QPoint(5, 0));
    QCOMPARE(button.cursor().pixmap().size(), QSize(32, 32));
}

namespace {
struct Recorder {
    QStringList events;
    void Attach(CKQBitmapButton& button) {
        QObject::connect(&button, &CKQBitmapButton::Notify, [this, &button](auto* sender, int a) {
            events.append(QStringLiteral("notify %1%2").arg(a).arg(sender == &button ? "" : "?"));
        });
        QObject::connect(&button, &CKQBitmapButton::clicked,
                         [this] { events.append(QStringLiteral("clicked")); });
    }
};
} // namespace

void TestBitmapButton::clickNotifiesPressClickRelease() {
    QWidget parent;
    parent.resize(200, 100);
    CKQBitmapButton button(&parent);
    button.LoadStrip(MakeStrip(260, 19));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    Recorder recorder;
    recorder.Attach(button);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(recorder.events, QStringList({QStringLiteral("notify 0"), QStringLiteral("clicked"),
                                           QStringLiteral("notify 1")}));
}

void TestBitmapButton::releaseOutsideGivesNoClick() {
    QWidget parent;
    parent.resize(200, 100);
    CKQBitmapButton button(&parent);
    button.LoadStrip(MakeStrip(260, 19));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    Recorder recorder;
    recorder.Attach(button);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(button.isDown());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 80));
    QCOMPARE(recorder.events,
             QStringList({QStringLiteral("notify 0"), QStringLiteral("notify 1")}));
    QVERIFY(!button.isDown());
}

QTEST_MAIN(TestBitmapButton)
#include "tst_bitmap_button.moc"
