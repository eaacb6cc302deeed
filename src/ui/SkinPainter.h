#pragma once

#include <QSize>

class QPainter;
class QWidget;

namespace kq {

// Paints the window face (title strip, one-pixel dark frame, banded body) from the skin
// bitmaps 131 to 136 into painter, for a window of the given size; on a scaled screen (a pixel
// of the painter's drawing is not one device pixel), from those bitmaps drawn twice as large.
// The bitmaps are read anew on every call: nothing is kept between calls.
void DrawSkin(QPainter& painter, const QSize& windowSize);
void DrawSkin(QPainter& painter, const QWidget& window);

} // namespace kq
