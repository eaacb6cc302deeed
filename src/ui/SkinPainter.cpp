#include "SkinPainter.h"

#include "Resources.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

void DrawSkin(QPainter& painter, const QSize& windowSize) {
    const int w = windowSize.width();
    const int h = windowSize.height();
    painter.save();
    // Stretched columns must stay exact copies of their source pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const QImage titleLeft = LoadBitmapResource(IDB_TITLE_LEFT);
    const int th = titleLeft.height();
    painter.drawImage(QRect(0, 0, 2, th), titleLeft, QRect(0, 0, 2, th));

    const QImage titleMiddle = LoadBitmapResource(IDB_TITLE_MIDDLE);
    painter.drawImage(QRect(2, 0, w - 2, titleMiddle.height()), titleMiddle,
                      QRect(0, 0, 1, titleMiddle.height()));

    const QImage titleRight = LoadBitmapResource(IDB_TITLE_RIGHT);
    painter.drawImage(QRect(w - 3, 0, 3, titleRight.height()), titleRight,
                      QRect(0, 0, 3, titleRight.height()));

    // The edges and the body are taller than any window; their bottom rows are shown, so the
    // body's dark last row lands on the window's last row. The strips start under the title
    // strip's black line and run one row past the window's bottom, which is clipped.
    const QImage edgeLeft = LoadBitmapResource(IDB_EDGE_LEFT);
    const int s = edgeLeft.height() + 22 - h;
    const int rows = h - 22;
    auto copyRows = [&](const QImage& image, int sourceX, const QRect& target) {
        // Rows beyond the bitmap's bottom (or above its top) have nothing to copy.
        const int first = qMax(s, 0);
        const int last = qMin(s + rows, image.height()); // exclusive
        if (image.isNull() || last <= first)
            return;
        const QRect source(sourceX, first, 1, last - first);
        const QRect dest(target.x(), target.y() + (first - s), target.width(), last - first);
        painter.drawImage(dest, image, source);
    };
    copyRows(edgeLeft, 0, QRect(0, 23, 1, rows));
    copyRows(LoadBitmapResource(IDB_EDGE_RIGHT), 2, QRect(w - 1, 23, 1, rows));
    copyRows(LoadBitmapResource(IDB_BODY), 2, QRect(1, 23, w - 2, rows));
    painter.restore();
}

void DrawSkin(QPainter& painter, const QWidget& window) {
    DrawSkin(painter, window.size());
}
