// Draws the window artwork of KQ Media Information Checker: the skin bitmaps, the button
// strips, the pointing-hand cursor and the program icon, as PNG files named after their
// resource ids, once at their own size and once at twice that size for high-density screens
// ("@2x" in the name). Usage: kq_make_artwork OUTPUT_DIRECTORY (run with
// QT_QPA_PLATFORM=offscreen).
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>

namespace {

const QRgb kBorder = qRgb(0x66, 0x66, 0x66);

// Grey levels of the title strip, top to bottom; row 0 is the top border, row 22 the black
// line under the strip.
const int kTitleLevels[23] = {0x66, 0xBC, 0xC2, 0xC9, 0xCF, 0xD4, 0xD9, 0xDE,
                              0xE2, 0xE6, 0xE8, 0xE8, 0xE6, 0xE3, 0xDE, 0xDA,
                              0xD5, 0xD1, 0xCC, 0xC6, 0xC0, 0xBB, 0x00};

// The body is 613 rows: fine horizontal bands of light grey, then one dark border row.
const int kBodyRows = 613;

QRgb Grey(int level) {
    return qRgb(level, level, level);
}

QRgb TitleColour(int row) {
    return Grey(kTitleLevels[row]);
}

// Row y of the title strip drawn k times as large: the top border and the black line keep their
// levels, the gradient between them is sampled at the middle of each finer row.
QRgb TitleColour(int y, int k) {
    const int row = y / k;
    if (row == 0 || row == 22)
        return TitleColour(row);
    const qreal t = qBound(1.0, (y + 0.5) / k - 0.5, 21.0);
    const int below = int(t), above = qMin(below + 1, 21);
    return Grey(
        qRound(kTitleLevels[below] + (t - below) * (kTitleLevels[above] - kTitleLevels[below])));
}

// Two bright rows, one middle row, one darker row: a soft brushed-metal look.
QRgb BodyColour(int row) {
    if (row >= kBodyRows - 1)
        return kBorder;
    static const int bands[4] = {0xE2, 0xE0, 0xDC, 0xD5};
    return Grey(bands[row % 4]);
}

// Window geometry that fixes which skin rows lie behind the buttons, so that the opaque corners
// of each frame match the face they sit on.
const int kWindowHeight = 357;
const int kEdgeHeight = 614;
QRgb BodyColourAtWindowRow(int y) {
    return BodyColour(kEdgeHeight + 22 - kWindowHeight + y - 23);
}

bool Save(const QImage& image, const QString& dir, const QString& name) {
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(name), image.width(), image.height());
    return true;
}

QImage Opaque(int w, int h) {
    return QImage(w, h, QImage::Format_RGB32);
}

// ---- skin ------------------------------------------------------------------------------------
// Each image is drawn k times as large (k = 1 or 2): a border or band of one pixel becomes k
// pixels thick, and the title's gradient gets rows of its own.

QImage TitleImage(int width, int borderColumn, int k) {
    QImage image = Opaque(width * k, 23 * k);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, x / k == borderColumn ? kBorder : TitleColour(y, k));
    return image;
}

QImage EdgeImage(int borderColumn, int k) {
    QImage image = Opaque(3 * k, kEdgeHeight * k);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(
                x, y, x / k == borderColumn ? kBorder : BodyColour(qMin(y / k, kBodyRows - 2)));
    return image;
}

QImage BodyImage(int k) {
    QImage image = Opaque(3 * k, kBodyRows * k);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, BodyColour(y / k));
    return image;
}

// ---- caption buttons -------------------------------------------------------------------------

struct FrameLook {
    QColor text;
    QColor top, bottom, border;
    int offset; // pressed captions sink by one pixel
};

const FrameLook kLooks[4] = {
    {QColor(0x10, 0x10, 0x10), QColor(0xFB, 0xFB, 0xFB), QColor(0xD6, 0xD6, 0xD6),
     QColor(0x80, 0x80, 0x80), 0},
    {QColor(0xE8, 0x76, 0x00), QColor(0xFF, 0xFF, 0xFF), QColor(0xE2, 0xE2, 0xE2),
     QColor(0xD0, 0x80, 0x30), 0},
    {QColor(0xD0, 0x10, 0x10), QColor(0xC8, 0xC8, 0xC8), QColor(0xEC, 0xEC, 0xEC),
     QColor(0x70, 0x70, 0x70), 1},
    {QColor(0x9C, 0x9C, 0x9C), QColor(0xEE, 0xEE, 0xEE), QColor(0xE4, 0xE4, 0xE4),
     QColor(0xB4, 0xB4, 0xB4), 0},
};

const QStringList kCaptions{QStringLiteral("Add Media"), QStringLiteral("Mail Info"),
                            QStringLiteral("Save Info"), QStringLiteral("Exit")};

// One size for all four captions, the largest at which the longest one fits its face.
QFont CaptionFont(int maxWidth) {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setBold(true);
    for (int size = 12; size > 8; --size) {
        font.setPixelSize(size);
        bool fits = true;
        for (const QString& caption : kCaptions)
            fits = fits && QFontMetrics(font).horizontalAdvance(caption) <= maxWidth;
        if (fits)
            break;
    }
    return font;
}

// Four 65 x 19 frames, drawn k times as large; the face sits on the window body at y = 327 (the
// bottom button row).
QImage CaptionStrip(const QString& caption, int k) {
    const int fw = 65, fh = 19, top = kWindowHeight - 30;
    QImage image = Opaque(4 * fw * k, fh * k);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, BodyColourAtWindowRow(top + y / k));
    const QFont font = CaptionFont(fw - 8);
    QPainter p(&image);
    p.scale(k, k);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < 4; ++i) {
        const FrameLook& look = kLooks[i];
        const QRectF face(i * fw + 0.5, 0.5, fw - 1, fh - 1);
        QLinearGradient gradient(face.topLeft(), face.bottomLeft());
        gradient.setColorAt(0, look.top);
        gradient.setColorAt(1, look.bottom);
        p.setPen(QPen(look.border, 1));
        p.setBrush(gradient);
        p.drawRoundedRect(face, 3, 3);
        // A thin highlight under the top edge gives the face some depth.
        if (i != 2) {
            p.setPen(QPen(QColor(255, 255, 255, 160), 1));
            p.drawLine(QPointF(i * fw + 3, 1.5), QPointF((i + 1) * fw - 3, 1.5));
        }
        p.setFont(font);
        p.setPen(look.text);
        p.drawText(QRectF(i * fw + look.offset, look.offset, fw, fh), Qt::AlignCenter, caption);
    }
    return image;
}

// ---- title-strip buttons ---------------------------------------------------------------------

enum class Glyph { Cross, Bar };

// Four frames of frameSize pixels, drawn k times as large; the rounded square fills the top-left
// 16 x 16 pixels, which is what the window shows (the button sits at y = 3 on the title strip).
QImage TitleButtonStrip(int frameSize, Glyph glyph, int k) {
    QImage image = Opaque(4 * frameSize * k, frameSize * k);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, TitleColour(qMin(3 * k + y, 22 * k - 1), k));
    const QColor tops[4] = {QColor(0xF2, 0xF2, 0xF2), QColor(0xFF, 0xFF, 0xFF),
                            QColor(0xA8, 0xA8, 0xA8), QColor(0xE6, 0xE6, 0xE6)};
    const QColor bottoms[4] = {QColor(0xB6, 0xB6, 0xB6), QColor(0xCC, 0xCC, 0xCC),
                               QColor(0xD4, 0xD4, 0xD4), QColor(0xD2, 0xD2, 0xD2)};
    const QColor borders[4] = {QColor(0x6A, 0x6A, 0x6A), QColor(0x50, 0x50, 0x50),
                               QColor(0x48, 0x48, 0x48), QColor(0xA0, 0xA0, 0xA0)};
    const QColor inks[4] = {QColor(0x30, 0x30, 0x30), QColor(0x10, 0x10, 0x10),
                            QColor(0x10, 0x10, 0x10), QColor(0x98, 0x98, 0x98)};
    QPainter p(&image);
    p.scale(k, k);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        const qreal x0 = i * frameSize;
        const QRectF face(x0 + 0.5, 0.5, 15, 15);
        QLinearGradient gradient(face.topLeft(), face.bottomLeft());
        gradient.setColorAt(0, tops[i]);
        gradient.setColorAt(1, bottoms[i]);
        p.setPen(QPen(borders[i], 1));
        p.setBrush(gradient);
        p.drawRoundedRect(face, 3, 3);
        const qreal d = i == 2 ? 0.5 : 0; // pressed glyphs sink a little
        if (glyph == Glyph::Cross) {
            p.setPen(QPen(inks[i], 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(x0 + 5 + d, 5 + d), QPointF(x0 + 11 + d, 11 + d));
            p.drawLine(QPointF(x0 + 11 + d, 5 + d), QPointF(x0 + 5 + d, 11 + d));
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(inks[i]);
            p.drawRect(QRectF(x0 + 4 + d, 10 + d, 8, 2));
        }
    }
    return image;
}

// ---- cursor ----------------------------------------------------------------------------------

// A pointing hand, index finger up with its tip at (5, 0): black outline, white inside, the
// rest transparent. Drawn k times as large, the tip is at (5k, 0) and the outline is smooth.
QImage HandCursor(int k) {
    QImage image(32 * k, 32 * k, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    auto add = [&hand](qreal x, qreal y, qreal w, qreal h, qreal r) {
        QPainterPath part;
        part.addRoundedRect(QRectF(x, y, w, h), r, r);
        hand = hand.united(part);
    };
    add(3, 0, 6, 16, 3);    // index finger
    add(8, 8, 5, 11, 2.5);  // middle finger
    add(12, 9, 5, 10, 2.5); // ring finger
    add(16, 10, 5, 10, 2.5);
    add(3, 13, 18, 11, 3); // palm
    add(6, 20, 13, 8, 2);  // wrist
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-3, -2.5, 9, 5), 2.5, 2.5);
    QTransform t;
    t.translate(3.5, 17);
    t.rotate(40);
    hand = hand.united(t.map(thumb));
    hand = hand.simplified();

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, k > 1);
    p.scale(k, k);
    // Aliased lines fill the pixel right of and below their coordinates; smooth ones are centred
    // on them, so those go half a pixel further to land on the same pixels.
    if (k > 1)
        p.translate(0.5, 0.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    // The gaps between the fingers.
    p.drawLine(QPoint(8, 9), QPoint(8, 14));
    p.drawLine(QPoint(12, 10), QPoint(12, 14));
    p.drawLine(QPoint(16, 11), QPoint(16, 14));
    p.end();
    // The hot spot must sit on the outline of the fingertip.
    image.setPixel(5 * k, 0, qRgba(0, 0, 0, 255));
    return image;
}

// ---- program icon ----------------------------------------------------------------------------

// A strip of film with an information mark in its frame.
QImage ProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const qreal s = size / 48.0;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(s, s);

    // Film base.
    QLinearGradient film(0, 4, 0, 44);
    film.setColorAt(0, QColor(0x3C, 0x3C, 0x44));
    film.setColorAt(1, QColor(0x18, 0x18, 0x1E));
    p.setPen(QPen(QColor(0x0C, 0x0C, 0x10), 1));
    p.setBrush(film);
    p.drawRoundedRect(QRectF(2.5, 5.5, 43, 37), 4, 4);

    // Sprocket holes along both edges.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF2, 0xF2, 0xF2));
    for (int i = 0; i < 6; ++i) {
        p.drawRoundedRect(QRectF(5.5 + i * 6.6, 8, 3.6, 3.4), 0.8, 0.8);
        p.drawRoundedRect(QRectF(5.5 + i * 6.6, 36.6, 3.6, 3.4), 0.8, 0.8);
    }

    // The picture frame.
    QLinearGradient sky(0, 14, 0, 34);
    sky.setColorAt(0, QColor(0x4A, 0xA3, 0xF0));
    sky.setColorAt(1, QColor(0x16, 0x5C, 0xB8));
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(6, 14, 36, 20), 2, 2);

    // The information mark: a white disc with an orange "i".
    p.setBrush(QColor(0xFF, 0xFF, 0xFF));
    p.drawEllipse(QPointF(24, 24), 8.5, 8.5);
    p.setBrush(QColor(0xF0, 0x7A, 0x10));
    p.drawEllipse(QPointF(24, 19.3), 1.9, 1.9);
    p.drawRoundedRect(QRectF(22.3, 22.2, 3.4, 8.2), 1, 1);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    for (const int k : {1, 2}) {
        // NAME.png, and NAME@2x.png for the set twice as large.
        const auto save = [&](const QImage& image, const char* name) {
            const QString suffix = k == 1 ? QString() : QStringLiteral("@%1x").arg(k);
            ok &= Save(image, dir, QLatin1String(name) + suffix + QStringLiteral(".png"));
        };
        save(ProgramIcon(48 * k), "128_icon_48");
        save(ProgramIcon(32 * k), "128_icon_32");
        save(HandCursor(k), "129_hand_cursor");
        save(CaptionStrip(QStringLiteral("Save Info"), k), "130_save_info");
        save(TitleImage(4, 0, k), "131_title_left");
        save(TitleImage(4, -1, k), "132_title_middle");
        save(TitleImage(3, 2, k), "133_title_right");
        save(EdgeImage(0, k), "134_edge_left");
        save(EdgeImage(2, k), "135_edge_right");
        save(BodyImage(k), "136_body");
        save(TitleButtonStrip(16, Glyph::Cross, k), "137_close");
        save(CaptionStrip(QStringLiteral("Mail Info"), k), "138_mail_info");
        save(TitleButtonStrip(18, Glyph::Bar, k), "139_minimize");
        save(CaptionStrip(QStringLiteral("Add Media"), k), "140_add_media");
        save(CaptionStrip(QStringLiteral("Exit"), k), "141_exit");
    }
    return ok ? 0 : 1;
}
