#include "KQBitmapButton.h"

#include "ui/Resources.h"

#include <QMouseEvent>
#include <QPainter>

CKQBitmapButton::CKQBitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(LoadHandCursor());
    // The buttons are reached by the mouse only, as in the window they skin.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
}

bool CKQBitmapButton::LoadStripResource(int resourceId) {
    return LoadStrip(LoadBitmapResource(resourceId));
}

bool CKQBitmapButton::LoadStrip(const QImage& strip) {
    m_imgStrip = strip;
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

QSize CKQBitmapButton::sizeHint() const {
    return {m_nFrameWidth, m_nFrameHeight};
}

void CKQBitmapButton::paintEvent(QPaintEvent*) {
    if (m_imgStrip.isNull())
        return;
    QPainter painter(this);
    // Copied as it is, at the top-left corner, unscaled; a smaller button clips the frame.
    painter.drawImage(QPoint(0, 0), m_imgStrip,
                      QRect(CurrentFrame() * m_nFrameWidth, 0, m_nFrameWidth, m_nFrameHeight));
}

void CKQBitmapButton::enterEvent(QEnterEvent* event) {
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
