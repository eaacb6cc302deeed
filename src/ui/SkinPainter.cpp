#include "SkinPainter.h"

#include "Resources.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

namespace kq {

// Paints the face of a window w x h pixels from the skin bitmaps drawn k times as large: every
// length of the face at scale 1 is k times as long here.
static void PaintFace(QPainter& painter, int w, int h, int k) {
    painter.save();
    // Stretched columns must stay exact copies of their source pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const QImage titleLeft = LoadBitmapResource(IDB_TITLE_LEFT, k);
    const int th = titleLeft.height();
    painter.drawImage(QRect(0, 0, 2 * k, th), titleLeft, QRect(0, 0, 2 * k, th));

    const QImage titleMiddle = LoadBitmapResource(IDB_TITLE_MIDDLE, k);
    painter.drawImage(QRect(2 * k, 0, w - 2 * k, titleMiddle.height()), titleMiddle,
                      QRect(0, 0, 1, titleMiddle.height()));

    const QImage titleRight = LoadBitmapResource(IDB_TITLE_RIGHT, k);
    painter.drawImage(QRect(w - 3 * k, 0, 3 * k, titleRight.height()), titleRight,
                      QRect(0, 0, 3 * k, titleRight.height()));

    // The edges and the body are taller than any window; their bottom rows are shown, so the
    // body's dark last row lands on the window's last row. The strips start under the title
    // strip's black line and run one row past the window's bottom, which is clipped.
    const QImage edgeLeft = LoadBitmapResource(IDB_EDGE_LEFT, k);
    const int s = edgeLeft.height() + 22 * k - h;
    const int rows = h - 22 * k;
    auto copyRows = [&](const QImage& image, int sourceX, int sourceWidth, const QRect& target) {
        // Rows beyond the bitmap's bottom (or above its top) have nothing to copy.
        const int first = qMax(s, 0);
        const int last = qMin(s + rows, image.height()); // exclusive
        if (image.isNull() || last <= first)
            return;
        const QRect source(sourceX, first, sourceWidth, last - first);
        const QRect dest(target.x(), target.y() + (first - s), target.width(), last - first);
        painter.drawImage(dest, image, source);
    };
    copyRows(edgeLeft, 0, k, QRect(0, 23 * k, k, rows));
    copyRows(LoadBitmapResource(IDB_EDGE_RIGHT, k), 2 * k, k, QRect(w - k, 23 * k, k, rows));
    copyRows(LoadBitmapResource(IDB_BODY, k), 2 * k, 1, QRect(k, 23 * k, w - 2 * k, rows));
    painter.restore();
}

void DrawSkin(QPainter& painter, const QSize& windowSize) {
    const qreal scale = PainterScale(painter);
    if (scale == 1) {
        PaintFace(painter, windowSize.width(), windowSize.height(), 1);
        return;
    }
    // On any other screen the face is put together from the bitmaps drawn twice as large, then
    // brought to the screen's pixels in one smooth step: at 2 exactly as drawn, in between with
    // even bands and no border line lost between two device pixels.
    QImage face(windowSize * 2, QImage::Format_RGB32);
    QPainter facePainter(&face);
    PaintFace(facePainter, face.width(), face.height(), 2);
    facePainter.end();
    const QSize pixels(qRound(windowSize.width() * scale), qRound(windowSize.height() * scale));
    if (face.size() != pixels)
        face = face.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    face.setDevicePixelRatio(scale);
    painter.drawImage(QPointF(0, 0), face);
}

void DrawSkin(QPainter& painter, const QWidget& window) {
    DrawSkin(painter, window.size());
}

} // namespace kq
