#include "LinkLabel.h"

#include "ui/Fonts.h"
#include "ui/Prompts.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QMouseEvent>

namespace kq {

namespace {

// The label as screen readers see it: a link named by its text, whose press action opens it.
class CLinkLabelAccessible : public QAccessibleWidget {
public:
    explicit CLinkLabelAccessible(CLinkLabel* label)
        : QAccessibleWidget(label, QAccessible::Link) {}
    CLinkLabel* Label() const { return static_cast<CLinkLabel*>(widget()); }
    QString text(QAccessible::Text t) const override {
        const QString text = QAccessibleWidget::text(t);
        return t == QAccessible::Name && text.isEmpty() ? Label()->text() : text;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& actionName) override {
        if (actionName == pressAction())
            Label()->OnClicked();
    }
    QStringList keyBindingsForAction(const QString& actionName) const override {
        if (actionName != pressAction() || Label()->Shortcut().isEmpty())
            return {};
        return {Label()->Shortcut().toString(QKeySequence::NativeText)};
    }
};

QAccessibleInterface* LinkLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(CLinkLabel::staticMetaObject.className()))
        return new CLinkLabelAccessible(static_cast<CLinkLabel*>(object));
    return nullptr;
}

} // namespace

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent)
    : QLabel(parent), m_webDirs(kq::platform::XdgDirectories::FromEnvironment()) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    // The label's face is filled with the button colour, the text drawn over it.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setForegroundRole(QPalette::WindowText);
    m_strTarget = text;
    // The text is set only now: setting it tells screen readers, which would otherwise take
    // the label for the plain QLabel it is while that part of it is made, and keep that.
    static const bool accessible = (QAccessible::installFactory(LinkLabelAccessible), true);
    (void)accessible;
    setText(text);
    m_shortcut.setAutoRepeat(false);
    connect(&m_shortcut, &QShortcut::activated, this, &CLinkLabel::OnClicked);
    // Arial, cell height 16, average width 6, heavier than bold, underlined; the two fonts
    // differ only in the role the underline mode gives them.
    m_fontUnderline = FontForCellHeight(QStringLiteral("Arial"), 16, 6, QFont::Black);
    m_fontUnderline.setUnderline(true);
    m_fontStandard = m_fontUnderline;
    UpdateToolTip();
    UpdateColour();
    FitToText();
    connect(&m_opener, &kq::platform::LinkOpener::Finished, this, &CLinkLabel::OnOpenerFinished);
}

CLinkLabel::~CLinkLabel() {
    // An opener still running reports to nobody once the label is going.
    m_opener.disconnect(this);
}

void CLinkLabel::SetTarget(const QString& target) {
    m_strTarget = target;
    if (text().isEmpty())
        setText(target);
    FitToText();
    UpdateToolTip();
}

void CLinkLabel::SetShortcut(const QKeySequence& key) {
    m_shortcut.setKey(key);
    UpdateToolTip();
}

void CLinkLabel::UpdateToolTip() {
    setToolTip(Shortcut().isEmpty()
                   ? m_strTarget
                   : QStringLiteral("%1 (%2)").arg(m_strTarget,
                                                   Shortcut().toString(QKeySequence::NativeText)));
}

void CLinkLabel::setFont(const QFont& font) {
    m_bUnderlineFontInUse = &font == &m_fontUnderline;
    QLabel::setFont(font);
}

void CLinkLabel::SetUnderlineMode(int mode) {
    if (mode == m_nUnderlineMode)
        return;
    setFont(mode == 1 ? m_fontUnderline : m_fontStandard);
    m_nUnderlineMode = mode;
    update();
}

void CLinkLabel::MarkVisited(bool visited) {
    m_bVisited = visited;
    UpdateColour();
}

QColor CLinkLabel::CurrentColour() const {
    if (m_bPointerInside)
        return QColor(kHoverColour);
    if (m_bVisited)
        return QColor(kVisitedColour);
    return QColor(kLinkColour);
}

void CLinkLabel::UpdateColour() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, CurrentColour());
    pal.setColor(QPalette::Text, CurrentColour());
    setPalette(pal);
    update();
}

void CLinkLabel::FitToText() {
    QRect wr = geometry();
    const QRect cr = contentsRect();
    const QFontMetrics metrics(m_fontUnderline);
    const int neededWidth = metrics.horizontalAdvance(text()) + (wr.width() - cr.width());
    const int neededHeight = metrics.height() + (wr.height() - cr.height());
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter) {
        const int d = (wr.height() - neededHeight) / 2;
        wr.adjust(0, d, 0, -d);
    } else {
        wr.setHeight(neededHeight);
    }
    if (align & Qt::AlignHCenter) {
        const int d = (wr.width() - neededWidth) / 2;
        wr.adjust(d, 0, -d, 0);
    } else if (align & Qt::AlignRight) {
        wr.setLeft(wr.x() + wr.width() - neededWidth);
    } else {
        wr.setWidth(neededWidth);
    }
    setGeometry(wr);
}

void CLinkLabel::enterEvent(QEnterEvent* event) {
    PointerInside();
    QLabel::enterEvent(event);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    // A move over the label counts as coming in: after a click the pointer has not left.
    if (rect().contains(event->position().toPoint()))
        PointerInside();
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::PointerInside() {
    if (m_bPointerInside)
        return;
    m_bPointerInside = true;
    if (m_nUnderlineMode == -1)
        setFont(m_fontUnderline);
    UpdateColour();
}

void CLinkLabel::leaveEvent(QEvent* event) {
    if (m_bPointerInside) {
        m_bPointerInside = false;
        if (m_nUnderlineMode != 1)
            setFont(m_fontStandard);
        UpdateColour();
    }
    QLabel::leaveEvent(event);
}

void CLinkLabel::mousePressEvent(QMouseEvent* event) {
    m_bPressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double-click opens nothing more: one link, one open.
    event->accept();
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_bPressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_bPressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        OnClicked();
}

void CLinkLabel::OnClicked() {
    m_bPointerInside = false;
    UpdateColour();
    ++m_nPendingClicks;
    OpenLink(m_strTarget);
}

void CLinkLabel::OpenLink(const QString& target) {
    m_opener.Open(target);
}

void CLinkLabel::OnOpenerFinished(const QString& target, int resultCode, bool started) {
    // Only when xdg-open started nothing (it is not there, or found no tool): a failure
    // after it started a browser must not start the browser a second time.
    if (!started || resultCode == 31) {
        // Try the browser the desktop names as its default.
        switch (kq::platform::StartDefaultWebHandler(target, m_webDirs)) {
        case kq::platform::HandlerStart::Started:
            resultCode = kHandlerStarted;
            break;
        case kq::platform::HandlerStart::FailedToStart:
            resultCode = 2;
            break;
        case kq::platform::HandlerStart::NoHandler:
            break;
        }
    }
    if (m_nPendingClicks > 0) {
        --m_nPendingClicks;
        OnClickResult(target, resultCode);
    }
}

void CLinkLabel::OnClickResult(const QString&, int resultCode) {
    m_bVisited = resultCode > 32;
    if (m_bVisited) {
        MarkVisited(true);
    } else {
        UpdateColour();
        Prompts().Beep();
        ShowOpenError(resultCode);
    }
    emit ClickHandled(resultCode);
}

QString CLinkLabel::ReasonText(int resultCode) {
    switch (resultCode) {
    case 0:
        return QStringLiteral("The operating system is out\nof memory or resources.");
    case 2:
        return QStringLiteral("The specified file was not found.");
    case 3:
        return QStringLiteral("The specified path was not found.");
    case 5:
        return QStringLiteral("The operating system denied\naccess to the specified file.");
    case 8:
        return QStringLiteral("There was not enough memory to complete the operation.");
    case 11:
        return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
        return QStringLiteral("A sharing violation occurred. ");
    case 27:
        return QStringLiteral("The filename association is\nincomplete or invalid.");
    case 28:
        return QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
    case 29:
        return QStringLiteral("The DDE transaction failed.");
    case 30:
        return QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                              "transactions\nwere being processed.");
    case 31:
        return QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
    case 32:
        return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(resultCode);
    }
}

QString CLinkLabel::OpenErrorText(int resultCode) {
    return QStringLiteral("Unable to open hyperlink:\n\n") + ReasonText(resultCode);
}

IPrompts& CLinkLabel::Prompts() const {
    return m_pPrompts ? *m_pPrompts : DefaultPrompts();
}

void CLinkLabel::ShowOpenError(int resultCode) {
    Prompts().ShowWarning(window(), QCoreApplication::applicationName(), OpenErrorText(resultCode));
}

} // namespace kq
