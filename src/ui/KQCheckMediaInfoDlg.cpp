#include "KQCheckMediaInfoDlg.h"

#include "Fonts.h"
#include "Prompts.h"
#include "Resources.h"
#include "SkinPainter.h"
#include "controls/KQBitmapButton.h"
#include "controls/LinkLabel.h"
#include "platform/FileNames.h"
#include "report/AnalysisPool.h"
#include "report/MailReport.h"
#include "report/MediaFilters.h"
#include "report/ReportBuildThread.h"
#include "report/SaveReport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QWindow>
#include <QtMath>

namespace kq {

namespace {

// The row number may be edited in place, but the edit is never kept, and the path is not
// editable at all.
class CDiscardingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != 0)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
};

// The list's frame is one pixel wide. On a scaled screen the style draws it one device pixel
// wide, across two device pixels at a scale such as 1.5, where its lines were lost under the
// list's contents. Here it is as many whole device pixels wide as fit in one of its own, inside
// the list, and the rest of its room takes the list's colour.
class CWholePixelFrameStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const QTransform device = painter->deviceTransform();
        if (element != PE_Frame || device.m11() == 1) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QRectF area = device.mapRect(QRectF(option->rect));
        QStyleOption frame(*option);
        frame.rect = QRect(QPoint(qCeil(area.left()), qCeil(area.top())),
                           QPoint(qFloor(area.right()) - 1, qFloor(area.bottom()) - 1));
        painter->save();
        painter->setWorldTransform(device.inverted() * painter->worldTransform()); // device pixels
        painter->fillRect(frame.rect, option->palette.base());
        for (int i = qMax(1, qFloor(device.m11())); i > 0; --i) {
            QProxyStyle::drawPrimitive(element, &frame, painter, widget);
            frame.rect.adjust(1, 1, -1, -1);
        }
        painter->restore();
    }
};

} // namespace

CKQCheckMediaInfoDlg::CKQCheckMediaInfoDlg(IPrompts* prompts, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_pPrompts(prompts ? prompts : &DefaultPrompts()), m_hIcon(LoadProgramIcon()),
      m_pRemembered(std::make_unique<RememberedAnswers>()),
      m_pAnalysisOptions(std::make_unique<AnalysisOptions>()) {
    // Each button takes its size from its strip (LoadButtonBitmaps) and its place from
    // LayoutButtons. Screen readers and tooltips name it by its command; its key is the one
    // desktop programs use for such a command.
    m_pBtnExit = CreateButton(IDCANCEL_EXIT, "btnExit", "Exit", Qt::CTRL | Qt::Key_Q);
    m_pBtnSaveInfo = CreateButton(ID_SAVE_INFO, "btnSaveInfo", "Save Info", Qt::CTRL | Qt::Key_S);
    m_pBtnMailInfo = CreateButton(ID_MAIL_INFO, "btnMailInfo", "Mail Info", Qt::CTRL | Qt::Key_E);
    m_pBtnAddMedia = CreateButton(ID_ADD_MEDIA, "btnAddMedia", "Add Media", Qt::CTRL | Qt::Key_O);
    m_pBtnClose = CreateButton(ID_CLOSE_WINDOW, "btnClose", "Close", Qt::CTRL | Qt::Key_W);
    m_pBtnMinimize =
        CreateButton(ID_MINIMIZE_WINDOW, "btnMinimize", "Minimise", Qt::CTRL | Qt::Key_M);

    m_listFiles = new QTreeWidget(this);
    m_listFiles->setObjectName(QStringLiteral("fileList"));
    m_listFiles->setAccessibleName(QStringLiteral("Media files"));
    auto* frameStyle = new CWholePixelFrameStyle(QApplication::style()->name());
    frameStyle->setParent(m_listFiles);
    m_listFiles->setStyle(frameStyle);
    m_listFiles->setGeometry(24, 35, 506, 273);
    m_listFiles->setRootIsDecorated(false);
    m_listFiles->setItemsExpandable(false);
    m_listFiles->setUniformRowHeights(true);
    m_listFiles->setAllColumnsShowFocus(true);
    m_listFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listFiles->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::SelectedClicked);
    m_listFiles->setItemDelegate(new CDiscardingDelegate(m_listFiles));
    m_listFiles->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    m_wndLink = new CLinkLabel(LinkAddress(), this);
    m_wndLink->setObjectName(QStringLiteral("linkLabel"));
    m_wndLink->setGeometry(26, 321, 173, 14);
    m_wndLink->SetPrompts(m_pPrompts);
    m_wndLink->SetShortcut(Qt::Key_F1); // the maker's page is the program's help

    setWindowIcon(m_hIcon);
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(CenteredPosition(screen->availableGeometry()));
    setAcceptDrops(true);
    CreateTitleFont(&m_fontTitle);
    // Shown on the taskbar; the face shows the painted title.
    setWindowTitle(TitleText());
    LoadButtonBitmaps();
    LayoutButtons();
    m_nCaptionWidth = width();

    m_listFiles->setHeaderLabels({QStringLiteral("# Id"), QStringLiteral("Path")});
    m_listFiles->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    m_listFiles->headerItem()->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    m_listFiles->header()->setStretchLastSection(false);
    m_listFiles->header()->setSectionsMovable(false);
    m_listFiles->setColumnWidth(0, 50);
    // Wider than the list, so long paths scroll sideways.
    m_listFiles->setColumnWidth(1, width());

    m_wndLink->SetTarget(LinkAddress());
    m_wndLink->SetUnderlineMode(1);
    m_listFiles->setFocus();
}

CKQCheckMediaInfoDlg::~CKQCheckMediaInfoDlg() = default;

void CKQCheckMediaInfoDlg::SetAnalysisOptions(const AnalysisOptions& options) {
    *m_pAnalysisOptions = options;
}

QPoint CKQCheckMediaInfoDlg::CenteredPosition(const QRect& workArea) {
    // As the window centres itself: the middle of the area less half the window, each halved
    // on its own (QRect's right and bottom are inside it, one less than the edge).
    const int right = workArea.left() + workArea.width();
    const int bottom = workArea.top() + workArea.height();
    return {(workArea.left() + right) / 2 - kWidth / 2,
            (workArea.top() + bottom) / 2 - kHeight / 2};
}

QString CKQCheckMediaInfoDlg::TitleText() {
    return QStringLiteral("KQ Media Information Checker");
}

QString CKQCheckMediaInfoDlg::LinkAddress() {
    return QStringLiteral("https://www.kqmedia.example/");
}

QString CKQCheckMediaInfoDlg::EmptyListMessage() {
    return QStringLiteral("There is no media file in the list, please add media files.");
}

CKQBitmapButton* CKQCheckMediaInfoDlg::CreateButton(int id, const char* objectName,
                                                    const char* command, QKeyCombination key) {
    auto* button = new CKQBitmapButton(this);
    button->setObjectName(QLatin1String(objectName));
    button->SetCommand(QLatin1String(command), key);
    button->setGeometry(0, 0, 0, 0);
    connect(button, &CKQBitmapButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

void CKQCheckMediaInfoDlg::LoadButtonBitmaps() {
    m_pBtnExit->LoadStripResource(IDB_EXIT);
    m_pBtnSaveInfo->LoadStripResource(IDB_SAVE_INFO);
    m_pBtnMailInfo->LoadStripResource(IDB_MAIL_INFO);
    m_pBtnAddMedia->LoadStripResource(IDB_ADD_MEDIA);
    m_pBtnClose->LoadStripResource(IDB_CLOSE);
    m_pBtnMinimize->LoadStripResource(IDB_MINIMIZE);
}

void CKQCheckMediaInfoDlg::LayoutButtons() {
    const int w = width();
    const int h = height();
    CKQBitmapButton* const bottomRow[] = {m_pBtnExit, m_pBtnSaveInfo, m_pBtnMailInfo,
                                          m_pBtnAddMedia};
    for (int i = 0; i < 4; ++i)
        bottomRow[i]->setGeometry(w - 85 - 85 * i, h - 30, 65, 19);
    m_pBtnClose->setGeometry(w - 27, 3, 16, 16);
    // Smaller than its 18 x 18 frames: the button shows their top-left part.
    m_pBtnMinimize->setGeometry(w - 48, 3, 16, 16);
}

void CKQCheckMediaInfoDlg::OnCommand(int id) {
    // One report at a time; the build's progress dialog offers Cancel.
    if (m_pBuild && (id == ID_SAVE_INFO || id == ID_MAIL_INFO || id == ID_ADD_MEDIA))
        return;
    switch (id) {
    case IDCANCEL_EXIT:
        reject();
        break;
    case ID_SAVE_INFO:
        OnSaveInfo();
        break;
    case ID_MAIL_INFO:
        OnMailInfo();
        break;
    case ID_ADD_MEDIA:
        OnAddMedia();
        break;
    case ID_CLOSE_WINDOW:
        OnCloseWindow();
        break;
    case ID_MINIMIZE_WINDOW:
        OnMinimizeWindow();
        break;
    default:
        break;
    }
}

QStringList CKQCheckMediaInfoDlg::OpenFileNameFilters() {
    // Qt reads the patterns of a name filter from its last parentheses, separated by blanks.
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList filters;
    for (const MediaFilter& filter : MediaFileFilters()) {
        QString title = filter.title;
        title.remove(trailingPatterns);
        filters.append(title + QStringLiteral(" (") + filter.patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return filters;
}

void CKQCheckMediaInfoDlg::OnAddMedia() {
    const QStringList files = m_pPrompts->GetOpenFileNames(this, OpenFileNameFilters());
    if (files.isEmpty())
        return;
    AddPaths(files);
}

void CKQCheckMediaInfoDlg::AddPaths(const QStringList& paths) {
    int n = m_listFiles->topLevelItemCount();
    for (const QString& path : paths) {
        auto* item = new QTreeWidgetItem;
        const QString number = QString::number(n + 1);
        item->setText(0, number);
        item->setTextAlignment(0, Qt::AlignCenter);
        const QString absolute = kq::platform::AbsoluteFileName(path);
        item->setText(1, kq::platform::DisplayFileName(absolute));
        item->setData(1, Qt::UserRole, absolute);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        m_listFiles->addTopLevelItem(item);
        ++n;
    }
}

QStringList CKQCheckMediaInfoDlg::DroppedPaths(const QStringList& localPaths) {
    QStringList paths;
    for (const QString& path : localPaths) {
        const QByteArray name = kq::platform::EncodeFileName(path);
        if (!IsDirectory(name))
            paths.append(path);
        for (const QByteArray& file :
             IsDirectory(name) ? CollectMediaFiles(name) : QList<QByteArray>())
            paths.append(kq::platform::DecodeFileName(file));
    }
    return paths;
}

void CKQCheckMediaInfoDlg::CollectPaths() {
    const int n = m_listFiles->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        // The name's bytes, unless the row was edited.
        const QTreeWidgetItem* item = m_listFiles->topLevelItem(i);
        const QString name = item->data(1, Qt::UserRole).toString();
        m_arrPaths.append(kq::platform::DisplayFileName(name) == item->text(1) ? name
                                                                               : item->text(1));
    }
}

bool CKQCheckMediaInfoDlg::GatherPaths() {
    m_arrPaths.clear();
    CollectPaths();
    if (m_arrPaths.isEmpty()) {
        m_pPrompts->ShowWarning(this, QCoreApplication::applicationName(), EmptyListMessage());
        return false;
    }
    return true;
}

void CKQCheckMediaInfoDlg::BuildReportFile(BuildDone then) {
    m_pBuild =
        std::make_unique<ReportBuildThread>(m_arrPaths, *m_pAnalysisOptions, m_pRemembered.get());
    m_buildClock.start();
    connect(m_pBuild.get(), &ReportBuildThread::progress, this,
            &CKQCheckMediaInfoDlg::OnBuildProgress);
    connect(m_pBuild.get(), &ReportBuildThread::finished, this,
            [this, then = std::move(then)](BuildStatus status, const QString& report,
                                           const QList<LeftOutFile>& leftOut) {
                // The build object goes once its signal has been handled.
                m_pBuild.release()->deleteLater();
                // The progress dialog may be inside its own setValue(), which handles events
                // (this one among them) and then goes on using itself: it goes later.
                if (m_pProgress) {
                    m_pProgress->hide();
                    m_pProgress.release()->deleteLater();
                }
                then(status, report, leftOut);
                emit BuildFinished();
            });
    m_pBuild->Start();
}

void CKQCheckMediaInfoDlg::OnBuildProgress(qint64 done, qint64 total, const QString& current) {
    if (!m_pBuild)
        return; // a step told before the build was cancelled by a close
    // Short builds finish without a dialog flashing up.
    constexpr qint64 kShowAfterMs = 500;
    if (!m_pProgress && m_buildClock.elapsed() >= kShowAfterMs && done < total) {
        m_pProgress = std::make_unique<QProgressDialog>(this);
        m_pProgress->setObjectName(QStringLiteral("buildProgress"));
        m_pProgress->setWindowTitle(QCoreApplication::applicationName());
        m_pProgress->setCancelButtonText(QStringLiteral("Cancel"));
        m_pProgress->setWindowModality(Qt::WindowModal);
        m_pProgress->setAutoClose(false);
        m_pProgress->setAutoReset(false);
        m_pProgress->setMinimumDuration(0);
        m_pProgress->setMinimumWidth(380);
        connect(m_pProgress.get(), &QProgressDialog::canceled, m_pBuild.get(),
                &ReportBuildThread::cancel);
        m_pProgress->show();
    }
    if (m_pProgress && m_pProgress->wasCanceled())
        m_pBuild->cancel(); // cancelled other than by its button (Escape, cancel())
    else if (m_pProgress) {
        m_pProgress->setMaximum(static_cast<int>(total));
        m_pProgress->setLabelText(
            QStringLiteral("%1 of %2 files done\n%3")
                .arg(done)
                .arg(total)
                .arg(kq::platform::DisplayFileName(QFileInfo(current).fileName())));
        // Last: a modal dialog handles events here, the build's end among them, which takes
        // the dialog away.
        m_pProgress->setValue(static_cast<int>(done));
    }
}

void CKQCheckMediaInfoDlg::done(int result) {
    // Closing while a report is being built cancels it: nothing is saved or mailed.
    m_pBuild.reset();
    m_pProgress.reset();
    QDialog::done(result);
}

void CKQCheckMediaInfoDlg::OnSaveInfo() {
    if (!GatherPaths())
        return;
    const QString target = m_pPrompts->GetSaveFileName(this, QStringLiteral("KQMediaInfo.txt"),
                                                       QStringLiteral("txt(*.txt)"));
    if (target.isEmpty())
        return;
    BuildReportFile([this, target](BuildStatus status, const QString& report,
                                   const QList<LeftOutFile>& leftOut) {
        if (status == BuildStatus::Cancelled)
            return;
        // A report that this build could not write is a failure: an older file is never saved.
        if (status != BuildStatus::Written || !CopyReportFile(report, target))
            m_pPrompts->ShowWarning(this, QCoreApplication::applicationName(),
                                    QStringLiteral("Save file failed."));
        else
            TellLeftOut(leftOut);
    });
}

void CKQCheckMediaInfoDlg::TellLeftOut(const QList<LeftOutFile>& leftOut) {
    // A report that lacks files the user listed says so, without stopping the window.
    if (!leftOut.isEmpty())
        m_pPrompts->ShowLeftOut(this, QCoreApplication::applicationName(), leftOut);
}

void CKQCheckMediaInfoDlg::OnMailInfo() {
    if (!GatherPaths())
        return;
    BuildReportFile([this](BuildStatus status, const QString& report,
                           const QList<LeftOutFile>& leftOut) {
        if (status == BuildStatus::Cancelled)
            return;
        if (status != BuildStatus::Written) {
            // Never mail an older report, or none.
            m_pPrompts->ShowWarning(this, QCoreApplication::applicationName(),
                                    MailOutcomeText(kq::platform::MailOutcome::Failed));
            return;
        }
        MailReportFile(report, [window = QPointer<CKQCheckMediaInfoDlg>(this),
                                report](kq::platform::MailOutcome outcome) {
            if (!window)
                return;
            if (outcome == kq::platform::MailOutcome::HandedWithoutAttachment)
                window->m_pPrompts->ShowNotice(window, QCoreApplication::applicationName(),
                                               AttachByHandText(report));
            else if (const QString text = MailOutcomeText(outcome); !text.isEmpty())
                window->m_pPrompts->ShowNotice(window, QCoreApplication::applicationName(), text);
            emit window->MailFinished(static_cast<int>(outcome));
        });
        TellLeftOut(leftOut);
    });
}

void CKQCheckMediaInfoDlg::OnCloseWindow() {
    close();
}

void CKQCheckMediaInfoDlg::OnMinimizeWindow() {
    setWindowState((windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void CKQCheckMediaInfoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawSkin(painter, *this);
    painter.setFont(m_fontTitle);
    painter.setPen(Qt::black);
    // The cell's top-left corner at (4, 3), with the baseline where Arial would put it.
    painter.drawText(QPoint(4, 3 + CellAscent(18)), TitleText());
}

void CKQCheckMediaInfoDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && pos.x() >= 0 && pos.x() < m_nCaptionWidth &&
        pos.y() >= 0 && pos.y() < kTitleStripHeight) {
        StartWindowMove(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CKQCheckMediaInfoDlg::StartWindowMove(const QPoint& globalPressPos) {
    QWindow* window = windowHandle();
    if (window && window->startSystemMove())
        return;
    m_bDragging = true;
    m_ptDragOffset = globalPressPos - pos();
}

void CKQCheckMediaInfoDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_ptDragOffset);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CKQCheckMediaInfoDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    QDialog::mouseReleaseEvent(event);
}

void CKQCheckMediaInfoDlg::keyPressEvent(QKeyEvent* event) {
    // Enter closes the window as Escape does (no default button takes it).
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

static QStringList LocalPaths(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths.append(kq::platform::LocalFileName(url));
    return paths;
}

void CKQCheckMediaInfoDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CKQCheckMediaInfoDlg::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CKQCheckMediaInfoDlg::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    AddPaths(DroppedPaths(paths));
}

} // namespace kq
