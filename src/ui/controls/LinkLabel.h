#pragma once

#include "platform/DefaultWebHandler.h"
#include "platform/LinkOpener.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QShortcut>

namespace kq {

class IPrompts;

// A label showing a web link: link colours, an underlined bold font, the hand cursor and a
// tooltip holding the target. It fits itself to its text, and a click opens the target with
// xdg-open, falling back to the desktop's default browser; a failure beeps and names the
// reason in a warning box. Screen readers see a link named by its text, whose press action
// opens it as a click does.
class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr QRgb kLinkColour = qRgb(0, 0, 238);
    static constexpr QRgb kVisitedColour = qRgb(85, 26, 139);
    static constexpr QRgb kHoverColour = qRgb(255, 0, 0);
    // The result code of a start of the default browser, which cannot tell more than that.
    static constexpr int kHandlerStarted = 33;

    // The target defaults to the text until SetTarget sets one.
    explicit CLinkLabel(const QString& text = QString(), QWidget* parent = nullptr);
    ~CLinkLabel() override;

    // Sets the link target, fits the label to its text and shows the target as the tooltip.
    // The text is left as it is.
    void SetTarget(const QString& target);
    QString Target() const { return m_strTarget; }

    // A key that opens the link from anywhere in its window, once per key press; the tooltip
    // shows it after the target.
    void SetShortcut(const QKeySequence& key);
    QKeySequence Shortcut() const { return m_shortcut.key(); }

    // What a click does: opens the target, then shows the outcome.
    void OnClicked();

    // -1: underlined only while the pointer is over the label; 0: never; 1: always. Both fonts
    // are underlined, so the link looks alike in every mode; the mode picks the font in use.
    void SetUnderlineMode(int mode);

    void MarkVisited(bool visited);
    bool IsVisited() const { return m_bVisited; }
    bool IsPointerInside() const { return m_bPointerInside; }

    // The text colour now: hover beats visited, visited beats the link colour.
    QColor CurrentColour() const;

    // Resizes the label to its text measured in the underline font. Horizontally it keeps its
    // left edge, its centre (Qt::AlignHCenter) or its right edge (Qt::AlignRight); vertically
    // its top edge, or its centre with Qt::AlignVCenter.
    void FitToText();

    const QFont& UnderlineFont() const { return m_fontUnderline; }
    // The two fonts look alike, so whether the font set last through this class is the
    // underline font is kept here; any other font (the one the label was created with, or one
    // set from outside) counts as not underlined.
    bool IsUnderlineFontInUse() const { return m_bUnderlineFontInUse; }
    // QWidget::setFont, noting whether it is the underline font that is set.
    void setFont(const QFont& font);

    // Seams: where messages go, where the default browser is looked up.
    void SetPrompts(IPrompts* prompts) { m_pPrompts = prompts; }
    void SetWebHandlerDirectories(const kq::platform::XdgDirectories& dirs) { m_webDirs = dirs; }

    // Opens target without blocking; the outcome of a click is shown when it is known.
    void OpenLink(const QString& target);

    // "Unable to open hyperlink:\n\n" and the reason for the result code.
    static QString OpenErrorText(int resultCode);
    static QString ReasonText(int resultCode);
    void ShowOpenError(int resultCode);

signals:
    // After a click's result has been shown (visited colour, or beep and message).
    void ClickHandled(int resultCode);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateToolTip();
    void OnOpenerFinished(const QString& target, int resultCode, bool started);
    void PointerInside();
    void OnClickResult(const QString& target, int resultCode);
    void UpdateColour();
    IPrompts& Prompts() const;

    bool m_bPointerInside = false;
    bool m_bVisited = false;
    bool m_bPressed = false;
    int m_nUnderlineMode = -1;
    bool m_bUnderlineFontInUse = false;
    int m_nPendingClicks = 0;
    QString m_strTarget;
    QFont m_fontUnderline;
    QFont m_fontStandard;
    IPrompts* m_pPrompts = nullptr;
    kq::platform::LinkOpener m_opener;
    kq::platform::XdgDirectories m_webDirs;
    QShortcut m_shortcut{this};
};

} // namespace kq
