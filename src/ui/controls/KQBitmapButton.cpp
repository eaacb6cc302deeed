#include "KQBitmapButton.h"

#include "ui/Resources.h"

#include <QMouseEvent>
#include <QPainter>

namespace kq {

CKQBitmapButton::CKQBitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(LoadHandCursor(m_fCursorScale = devicePixelRatioF()));
    // The buttons are reached by the mouse only, as in the window they skin.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
}

bool CKQBitmapButton::LoadStripResource(int resourceId) {
    const bool loaded = LoadStrip(LoadBitmapResource(resourceId));
    m_imgStrip2x = LoadBitmapResource(resourceId, 2);
    return loaded;
}

bool CKQBitmapButton::LoadStrip(const QImage& strip) {
    m_imgStrip = strip;
    m_imgStrip2x = QImage();
    m_nFrameWidth = strip.width() / 4;
    m_nFrameHeight = strip.height();
    resize(m_nFrameWidth, m_nFrameHeight);
    raise();
    update();
    return !strip.isNull();
}

int CKQBitmapButton::CurrentFrame() const {
    if (!isEnabled())
        return FrameDisabled;
    if (isDown())
        return FramePressed;
    if (m_bHover)
        return FrameHover;
    return FrameNormal;
}

void CKQBitmapButton::SetCommand(const QString& name, const QKeySequence& key) {
    setAccessibleName(name);
    setShortcut(key);
    setShortcutAutoRepeat(false);
    setToolTip(QStringLiteral("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText)));
}

QSize CKQBitmapButton::sizeHint() const {
    return {m_nFrameWidth, m_nFrameHeight};
}

void CKQBitmapButton::paintEvent(QPaintEvent*) {
    if (m_imgStrip.isNull())
        return;
    QPainter painter(this);
    const qreal scale = PainterScale(painter);
    if (scale != 1 && !m_imgStrip2x.isNull()) {
        // The frame cut out first, so that smoothing never reaches into its neighbour.
        const QImage frame = m_imgStrip2x.copy(CurrentFrame() * 2 * m_nFrameWidth, 0,
                                               2 * m_nFrameWidth, 2 * m_nFrameHeight);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, scale != 2);
        painter.drawImage(QRectF(0, 0, m_nFrameWidth, m_nFrameHeight), frame);
        return;
    }
    // Copied as it is, at the top-left corner, unscaled; a smaller button clips the frame.
    painter.drawImage(QPoint(0, 0), m_imgStrip,
                      QRect(CurrentFrame() * m_nFrameWidth, 0, m_nFrameWidth, m_nFrameHeight));
}

void CKQBitmapButton::enterEvent(QEnterEvent* event) {
    // The window may have moved to a screen of another scale since the cursor was made.
    if (devicePixelRatioF() != m_fCursorScale)
        setCursor(LoadHandCursor(m_fCursorScale = devicePixelRatioF()));
    m_bHover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CKQBitmapButton::leaveEvent(QEvent* event) {
    m_bHover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CKQBitmapButton::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Notify(this, NotifyPress);
}

void CKQBitmapButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double-click is no press of the button (Qt would take it for
    // one): it neither presses it nor, at its release, clicks it again.
    event->accept();
}

void CKQBitmapButton::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractButton::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Notify(this, NotifyRelease);
}

} // namespace kq
