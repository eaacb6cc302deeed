#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <QIcon>
#include <QStringList>

#include <functional>
#include <memory>

class QProgressDialog;
class QTreeWidget;

namespace kq {

enum class BuildStatus;
struct LeftOutFile;
struct AnalysisOptions;
struct AnalysisProgress;
class CKQBitmapButton;
class ReportBuildThread;
class RememberedAnswers;
class CLinkLabel;
class IPrompts;

// Command ids of the window's buttons.
enum CommandId {
    IDCANCEL_EXIT = 2,
    ID_SAVE_INFO = 16,
    ID_MAIL_INFO = 17,
    ID_ADD_MEDIA = 18,
    ID_CLOSE_WINDOW = 19,
    ID_MINIMIZE_WINDOW = 20,
};

// The program's only window: frameless, always on top, fixed at 554 x 357, its face painted
// from the skin bitmaps. It holds the list of media files, six bitmap buttons and the link to
// the maker's web page.
class CKQCheckMediaInfoDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 554;
    static constexpr int kHeight = 357;
    static constexpr int kTitleStripHeight = 22; // the black line under the strip does not drag

    // Messages and file dialogs go through prompts; the real dialogs when it is null.
    explicit CKQCheckMediaInfoDlg(IPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~CKQCheckMediaInfoDlg() override;

    // How the report builds analyse the files (workers, time and memory limits).
    void SetAnalysisOptions(const AnalysisOptions& options);

    // Runs the command of a button.
    void OnCommand(int id);

    void OnAddMedia();
    void OnSaveInfo();
    void OnMailInfo();
    void OnCloseWindow();
    void OnMinimizeWindow();

    // Appends the Path text of every row, in row order, to m_arrPaths.
    void CollectPaths();

    // Appends one numbered row per path, as the Add Media command does.
    void AddPaths(const QStringList& paths);

    // The paths a drop of these local files and folders adds: a file as it is, a folder as the
    // media files below it, sorted.
    static QStringList DroppedPaths(const QStringList& localPaths);

    // The Qt name filters of the Open dialog, in the order they are offered.
    static QStringList OpenFileNameFilters();

    const QStringList& Paths() const { return m_arrPaths; }
    // True while a report is being built.
    bool IsBuilding() const { return m_pBuild != nullptr; }
    QTreeWidget* FileList() const { return m_listFiles; }

    // Where the window goes on a work area: centred as the window's own rule centres it.
    static QPoint CenteredPosition(const QRect& workArea);

    static QString TitleText();
    static QString LinkAddress();
    static QString EmptyListMessage();

signals:
    // A report build started by Save Info or Mail Info has ended, and what follows from it
    // (the copy, the message, the start of the mail hand-off) has been done.
    void BuildFinished();
    // A mail hand-off started by Mail Info has ended (a kq::platform::MailOutcome value), after
    // any message about it was shown.
    void MailFinished(int outcome);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // The first step of both report commands: m_arrPaths refilled from the list. False, after
    // telling the user, when the list is empty.
    bool GatherPaths();

    // Starts writing the report of m_arrPaths off the window's thread, then runs then with
    // its status, the written file's path and the files left out of it. A build that takes a
    // while shows its progress with a Cancel button; the window keeps working meanwhile.
    using BuildDone = std::function<void(BuildStatus status, const QString& reportPath,
                                         const QList<LeftOutFile>& leftOut)>;
    void BuildReportFile(BuildDone then);

    // Closing while a report is being built cancels the build: nothing is saved or mailed.
    void done(int result) override;

    // Lets the window manager move the window with the pointer (a press on the title strip);
    // where it cannot, the window follows the pointer itself until the button is released.
    void StartWindowMove(const QPoint& globalPressPos);
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    QStringList m_arrPaths;

private:
    CKQBitmapButton* CreateButton(int id, const char* objectName, const char* command,
                                  QKeyCombination key);
    void LoadButtonBitmaps();
    void LayoutButtons();
    void OnBuildProgress(qint64 done, qint64 total, const QString& current);
    void TellLeftOut(const QList<LeftOutFile>& leftOut);

    IPrompts* m_pPrompts;
    CLinkLabel* m_wndLink = nullptr;
    QTreeWidget* m_listFiles = nullptr;
    QIcon m_hIcon;
    CKQBitmapButton* m_pBtnClose = nullptr;
    CKQBitmapButton* m_pBtnExit = nullptr;
    CKQBitmapButton* m_pBtnSaveInfo = nullptr;
    CKQBitmapButton* m_pBtnMailInfo = nullptr;
    CKQBitmapButton* m_pBtnAddMedia = nullptr;
    CKQBitmapButton* m_pBtnMinimize = nullptr;
    QFont m_fontTitle;
    int m_nCaptionWidth = 0;
    bool m_bDragging = false;
    QPoint m_ptDragOffset;
    // What this window's builds analysed, so that a second build of unchanged files (Mail Info
    // after Save Info) analyses none again; nothing of it outlives the window,
    // and it outlives a build (declared before it).
    std::unique_ptr<RememberedAnswers> m_pRemembered;
    std::unique_ptr<ReportBuildThread> m_pBuild; // while a report is being built
    QElapsedTimer m_buildClock;
    std::unique_ptr<QProgressDialog> m_pProgress;
    std::unique_ptr<AnalysisOptions> m_pAnalysisOptions;
};

} // namespace kq
