#include "Resources.h"

#include <QFile>
#include <QPixmap>

// The resources live in the kq_ui static library; without this call a program linking it could
// drop them.
static void EnsureResources() {
    static const bool once = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)once;
}

QImage LoadBitmapResource(int id) {
    EnsureResources();
    QImage image(QStringLiteral(":/kq/%1.png").arg(id));
    if (image.isNull())
        return image;
    return image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                   : image.convertToFormat(QImage::Format_RGB32);
}

QIcon LoadProgramIcon() {
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/kq/128_48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/kq/128_32.png"), QSize(32, 32));
    return icon;
}

QCursor LoadHandCursor() {
    const QImage image = LoadBitmapResource(IDC_HAND);
    if (image.isNull())
        return QCursor(Qt::ArrowCursor);
    return QCursor(QPixmap::fromImage(image), 5, 0);
}
