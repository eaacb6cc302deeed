#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

class QPainter;

namespace kq {

// Resource ids of the program's artwork; the PNG files in res/ carry them in their names.
enum ResourceId {
    IDR_MAINFRAME = 128,
    IDC_HAND = 129,
    IDB_SAVE_INFO = 130,
    IDB_TITLE_LEFT = 131,
    IDB_TITLE_MIDDLE = 132,
    IDB_TITLE_RIGHT = 133,
    IDB_EDGE_LEFT = 134,
    IDB_EDGE_RIGHT = 135,
    IDB_BODY = 136,
    IDB_CLOSE = 137,
    IDB_MAIL_INFO = 138,
    IDB_MINIMIZE = 139,
    IDB_ADD_MEDIA = 140,
    IDB_EXIT = 141,
};


// The bitmap with that id, in a format that paints exactly; a null image when there is none.
// With scale 2, the same bitmap drawn twice as large for high-density screens (its device pixel
// ratio is 2).
QImage LoadBitmapResource(int id, int scale = 1);

// The program icon (48 x 48 and 32 x 32, each also drawn twice as large).
QIcon LoadProgramIcon();

// The pointing-hand cursor 129 with its hot spot on the fingertip (5, 0 in a 32-pixel cell),
// as large as the desktop's pointer on a screen of that scale; the default arrow when the
// artwork is missing.
QCursor LoadHandCursor(qreal screenScale = 1);

// How many device pixels one pixel of the painter's drawing takes: the screen's scale, or that
// of the image it paints into.
qreal PainterScale(const QPainter& painter);

} // namespace kq
