#pragma once

#include <QAbstractButton>
#include <QImage>

namespace kq {

// A push button whose whole face is one frame of a four-frame image strip: normal, hover
// (pointer on the button), pressed and disabled, side by side. It draws no caption, focus mark
// or border, shows the hand cursor, and tells about each press and release with Notify. On a
// scaled screen it draws the frame from the strip drawn twice as large, when there is one.
class CKQBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Frame { FrameNormal = 0, FrameHover = 1, FramePressed = 2, FrameDisabled = 3 };
    enum NotifyAction { NotifyPress = 0, NotifyRelease = 1 };

    explicit CKQBitmapButton(QWidget* parent = nullptr);

    // Loads the strip of that bitmap resource (and its twice as large twin) and sizes the button
    // to one frame, keeping its position and raising it above its siblings. False when the
    // bitmap cannot be loaded.
    bool LoadStripResource(int resourceId);
    // The same for a strip in memory, which has no twin.
    bool LoadStrip(const QImage& strip);

    // Names the button's command for screen readers and its tooltip, and gives it a keyboard
    // shortcut that presses it as a click does, once per key press.
    void SetCommand(const QString& name, const QKeySequence& key);

    // The frame the button shows now: disabled wins over pressed, pressed over hover.
    int CurrentFrame() const;

    QSize sizeHint() const override;

signals:
    // Sent after the button's own press handling (NotifyPress) and after its release handling
    // (NotifyRelease), which emits clicked() first when the release is inside the button.
    void Notify(CKQBitmapButton* button, int action);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_imgStrip;
    QImage m_imgStrip2x;
    qreal m_fCursorScale = 0; // the screen scale the cursor was made for
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    bool m_bHover = false;
};

} // namespace kq
