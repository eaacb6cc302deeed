#include "Resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

// The resources live in the kq_ui static library; without this call a program linking it could
// drop them. Resources are named outside any namespace.
static void EnsureResources() {
    static const bool once = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)once;
}

namespace kq {

QImage LoadBitmapResource(int id, int scale) {
    EnsureResources();
    // Qt reads the device pixel ratio from the "@2x" in the name.
    QImage image(
        QStringLiteral(":/kq/%1%2.png").arg(id).arg(QLatin1String(scale == 2 ? "@2x" : "")));
    if (image.isNull())
        return image;
    return image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                   : image.convertToFormat(QImage::Format_RGB32);
}

QIcon LoadProgramIcon() {
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/kq/128_48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/kq/128_48@2x.png"), QSize(96, 96));
    icon.addFile(QStringLiteral(":/kq/128_32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/kq/128_32@2x.png"), QSize(64, 64));
    return icon;
}

QCursor LoadHandCursor(qreal screenScale) {
    // The hand is drawn for the usual 24-pixel pointer. XCURSOR_SIZE, which the X and Wayland
    // cursor libraries read, counts device pixels on X11 and scaled ones on Wayland.
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    const int desktopSize = qEnvironmentVariableIntValue("XCURSOR_SIZE");
    const qreal pointer = desktopSize > 0 ? desktopSize / 24.0 : 1;
    const qreal scale = wayland ? screenScale * pointer : qMax(screenScale, pointer);
    QImage image = LoadBitmapResource(IDC_HAND, scale > 1 ? 2 : 1);
    if (image.isNull())
        return QCursor(Qt::ArrowCursor);
    const int size = qRound(32 * scale);
    if (image.width() != size)
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // X11 shows the image as it is; Wayland at the window's scale, the hot spot in its units.
    const qreal imageScale = wayland ? screenScale : 1;
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(imageScale);
    return QCursor(pixmap, qRound(5 * scale / imageScale), 0);
}

qreal PainterScale(const QPainter& painter) {
    return painter.deviceTransform().m11();
}

} // namespace kq
