#include "Fonts.h"

#include <QFontMetricsF>

#include <cmath>

QFont FontForCellHeight(const QString& family, int cellHeight, int averageWidth,
                        QFont::Weight weight) {
    // Arial's ascent and descent together are 2288 units of its 2048-unit em.
    const int emPixels = qMax(1, int(std::lround(cellHeight * 2048.0 / 2288.0)));
    QFont font(family);
    font.setWeight(weight);
    font.setPixelSize(emPixels);
    const qreal natural = QFontMetricsF(font).averageCharWidth();
    if (averageWidth > 0 && natural > 0)
        font.setStretch(qBound(50, int(std::lround(100.0 * averageWidth / natural)), 200));
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
