#pragma once

#include <QFont>

namespace kq {

// A font asked for the way the window's fonts were designed: by the height of its character
// cell and its average character width. The em size is Arial's within a cell of that height,
// then the font is narrowed or widened to the average width (0: as designed), so that a
// substitute for Arial takes the room Arial would.
QFont FontForCellHeight(const QString& family, int cellHeight, int averageWidth,
                        QFont::Weight weight);

// The distance from the top of such a cell to its baseline, as in Arial. Substitutes often
// have a taller ascent; text placed by its cell's top-left corner is placed with this.
int CellAscent(int cellHeight);

// The title font of the window: Arial (or its metric twin), bold, cell height 18, average
// width 8. Does nothing when given no font.
void CreateTitleFont(QFont* font);

} // namespace kq
