#include "ui/Resources.h"
#include "ui/SkinPainter.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

const QRgb kBorder = qRgb(0x66, 0x66, 0x66);
const QRgb kUnpainted = qRgb(0xFF, 0x00, 0xFF);

QImage Paint(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kUnpainted);
    QPainter painter(&image);
    DrawSkin(painter, size);
    return image;
}

QString Hex(QRgb rgb) {
    return QString::number(rgb & 0xFFFFFF, 16).rightJustified(6, u'0');
}

} // namespace

class TestSkin : public QObject {
    Q_OBJECT
private slots:
    void bitmapsHaveTheirSizes_data();
    void bitmapsHaveTheirSizes();
    void outermostRowsAndColumnsAreBorder_data();
    void outermostRowsAndColumnsAreBorder();
    void titleStripRows_data();
    void titleStripRows();
    void edgesAndBodyShowTheBottomRowsOfTheirBitmaps_data();
    void edgesAndBodyShowTheBottomRowsOfTheirBitmaps();
    void paintingTwiceGivesTheSamePixels();
};

void TestSkin::bitmapsHaveTheirSizes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    QTest::newRow("131 title left") << 131 << QSize(4, 23);
    QTest::newRow("132 title middle") << 132 << QSize(4, 23);
    QTest::newRow("133 title right") << 133 << QSize(3, 23);
    QTest::newRow("134 edge left") << 134 << QSize(3, 614);
    QTest::newRow("135 edge right") << 135 << QSize(3, 614);
    QTest::newRow("136 body") << 136 << QSize(3, 613);
}

void TestSkin::bitmapsHaveTheirSizes() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    QCOMPARE(LoadBitmapResource(id).size(), size);
}

void TestSkin::outermostRowsAndColumnsAreBorder_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("row"); // a row (else a column)
    QTest::addColumn<int>("index");
    const QSize window(554, 357);
    QTest::newRow("top row") << window << true << 0;
    QTest::newRow("bottom row") << window << true << 356;
    QTest::newRow("left column") << window << false << 0;
    QTest::newRow("right column") << window << false << 553;
    const QSize other(300, 200);
    QTest::newRow("other size, bottom row") << other << true << 199;
    QTest::newRow("other size, right column") << other << false << 299;
}

void TestSkin::outermostRowsAndColumnsAreBorder() {
    QFETCH(QSize, size);
    QFETCH(bool, row);
    QFETCH(int, index);
    const QImage image = Paint(size);
    const int count = row ? size.width() : size.height();
    for (int i = 0; i < count; ++i) {
        const QPoint p = row ? QPoint(i, index) : QPoint(index, i);
        QVERIFY2(
            image.pixel(p) == kBorder,
            qPrintable(
                QStringLiteral("(%1, %2) is %3").arg(p.x()).arg(p.y()).arg(Hex(image.pixel(p)))));
    }
}

void TestSkin::titleStripRows_data() {
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("level");
    const int levels[23] = {0x66, 0xBC, 0xC2, 0xC9, 0xCF, 0xD4, 0xD9, 0xDE, 0xE2, 0xE6, 0xE8, 0xE8,
                            0xE6, 0xE3, 0xDE, 0xDA, 0xD5, 0xD1, 0xCC, 0xC6, 0xC0, 0xBB, 0x00};
    for (int y = 0; y < 23; ++y)
        QTest::addRow("row %d", y) << y << levels[y];
}

void TestSkin::titleStripRows() {
    QFETCH(int, y);
    QFETCH(int, level);
    const QImage image = Paint(QSize(554, 357));
    for (int x = 1; x < 553; ++x)
        QVERIFY2(image.pixel(x, y) == qRgb(level, level, level),
                 qPrintable(QStringLiteral("x %1: %2").arg(x).arg(Hex(image.pixel(x, y)))));
}

void TestSkin::edgesAndBodyShowTheBottomRowsOfTheirBitmaps_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("sourceColumn");
    QTest::addColumn<int>("firstX");
    QTest::addColumn<int>("lastX");
    QTest::newRow("left edge") << 134 << 0 << 0 << 0;
    QTest::newRow("right edge") << 135 << 2 << 553 << 553;
    QTest::newRow("body") << 136 << 2 << 1 << 552;
}

void TestSkin::edgesAndBodyShowTheBottomRowsOfTheirBitmaps() {
    QFETCH(int, id);
    QFETCH(int, sourceColumn);
    QFETCH(int, firstX);
    QFETCH(int, lastX);
    const QImage image = Paint(QSize(554, 357));
    const QImage source = LoadBitmapResource(id);
    // Window rows 23 to 356 show source rows 279 to 612.
    for (int y = 23; y < 357; ++y) {
        const QRgb expected = source.pixel(sourceColumn, 279 + y - 23);
        for (int x = firstX; x <= lastX; ++x)
            QVERIFY2(image.pixel(x, y) == expected,
                     qPrintable(QStringLiteral("(%1, %2) is %3, expected %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(Hex(image.pixel(x, y)), Hex(expected))));
    }
    // The bands must be visible in the body, or the comparison above proves little.
    QVERIFY(image.pixel(100, 100) != image.pixel(100, 101) ||
            image.pixel(100, 101) != image.pixel(100, 102));
}

void TestSkin::paintingTwiceGivesTheSamePixels() {
    QImage image(554, 357, QImage::Format_RGB32);
    image.fill(kUnpainted);
    QPainter painter(&image);
    DrawSkin(painter, image.size());
    const QImage first = image.copy();
    DrawSkin(painter, image.size());
    painter.end();
    QCOMPARE(image, first);
    QVERIFY(first.pixel(0, 0) != kUnpainted);
}

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
