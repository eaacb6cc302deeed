#include "Fonts.h"

#include <QFontMetricsF>

#include <cmath>

namespace kq {

QFont FontForCellHeight(const QString& family, int cellHeight, int averageWidth,
                        QFont::Weight weight) {
    // Arial's ascent and descent together are 2288 units of its 2048-unit em.
    const int emPixels = qMax(1, int(std::lround(cellHeight * 2048.0 / 2288.0)));
    QFont font(family);
    font.setWeight(weight);
    font.setPixelSize(emPixels);
    if (averageWidth <= 0)
        return font;
    // The stretch is found by measuring: where a condensed face is installed, the font
    // matcher picks it instead of scaling the regular one, and its width is its own.
    int stretch = 100;
    for (int attempt = 0; attempt < 6; ++attempt) {
        const qreal measured = QFontMetricsF(font).averageCharWidth();
        // Never wider than asked: the texts are laid out for that width.
        if (measured <= 0 || (measured <= averageWidth + 0.05 && measured > averageWidth - 0.5))
            break;
        int next = qBound(50, int(std::lround(stretch * averageWidth / measured)), 200);
        if (next == stretch)
            next = qBound(50, stretch + (measured > averageWidth ? -1 : 1), 200);
        if (next == stretch)
            break;
        stretch = next;
        font.setStretch(stretch);
    }
    return font;
}

int CellAscent(int cellHeight) {
    // Arial's ascent is 1854 of those 2288 units.
    return int(std::lround(cellHeight * 1854.0 / 2288.0));
}

void CreateTitleFont(QFont* font) {
    if (!font)
        return;
    *font = FontForCellHeight(QStringLiteral("Arial"), 18, 8, QFont::Bold);
}

} // namespace kq
