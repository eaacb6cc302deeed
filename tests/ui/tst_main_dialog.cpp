#include "FakePrompts.h"
#include "report/MediaFilters.h"
#include "report/ReportBuilder.h"
#include "ui/KQCheckMediaInfoDlg.h"
#include "ui/controls/KQBitmapButton.h"
#include "ui/controls/LinkLabel.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

// The window with its path array and its move request open to the test.
class TestableDlg : public CKQCheckMediaInfoDlg {
public:
    using CKQCheckMediaInfoDlg::CKQCheckMediaInfoDlg;
    void SeedPaths(const QStringList& paths) { m_arrPaths = paths; }
    int moves = 0;
    QList<QStringList> builds; // the paths of every report build asked for

protected:
    void StartWindowMove(const QPoint&) override { ++moves; }
    // No report is written and no mail leaves these tests; the report commands have their own.
    BuildStatus BuildReportFile(QString*) override {
        builds.append(m_arrPaths);
        return BuildStatus::Failed;
    }
};

QStringList Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(column));
    return texts;
}

QStringList Numbers(int from, int to) {
    QStringList list;
    for (int i = from; i <= to; ++i)
        list.append(QString::number(i));
    return list;
}

bool Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

void Drop(QWidget& target, const QList<QUrl>& urls, bool* accepted = nullptr) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPointF pos(270, 150);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    if (accepted)
        *accepted = enter.isAccepted();
    QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
}

// The patterns QFileDialog reads from a name filter: inside its last parentheses, separated
// by blanks.
QStringList PatternsOf(const QString& nameFilter) {
    static const QRegularExpression re(QStringLiteral("^(.*)\\(([^()]*)\\)$"));
    const QRegularExpressionMatch m = re.match(nameFilter);
    return m.hasMatch() ? m.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList();
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT
private slots:
    void windowIsFramelessTopmostAndFixed();
    void childrenSitInTheirPlaces_data();
    void childrenSitInTheirPlaces();
    void listHasTwoColumns();
    void faceIsPaintedWithTheTitle();

    void addMediaNumbersTheRows();
    void duplicatePathGetsANewRow();
    void cancellingAddMediaChangesNothing();
    void openDialogGetsTheNineFilters();
    void openDialogMatchesWithoutRegardToCase();
    void collectPathsAppendsRowsInOrder();
    void reportCommandsRefillThePaths_data();
    void reportCommandsRefillThePaths();
    void reportCommandsWithAnEmptyListWarn_data();
    void reportCommandsWithAnEmptyListWarn();
    void droppedFilesAndFoldersAreAdded();
    void dropOfNonLocalUrlsIsRefused();
    void commandDispatch();
    void editedRowNumberIsNotKept();

    void keysAndButtonsCloseTheWindow_data();
    void keysAndButtonsCloseTheWindow();
    void minimiseButtonMinimises();
    void titleStripDragsTheWindow_data();
    void titleStripDragsTheWindow();
    void windowFollowsThePointerWhereTheSystemCannotMoveIt();
};

void TestMainDialog::windowIsFramelessTopmostAndFixed() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(dlg.windowType(), Qt::Window); // a taskbar entry of its own
    QCOMPARE(dlg.size(), QSize(554, 357));
    QCOMPARE(dlg.minimumSize(), QSize(554, 357));
    QCOMPARE(dlg.maximumSize(), QSize(554, 357));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("KQ Media Information Checker"));
    const QList<QSize> sizes = dlg.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(48, 48)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(dlg.acceptDrops());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(dlg.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(dlg.geometry().center().y() - screen.center().y()) <= 1);
}

void TestMainDialog::childrenSitInTheirPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("minimise") << "btnMinimize" << QRect(506, 3, 16, 16);
    QTest::newRow("close") << "btnClose" << QRect(527, 3, 16, 16);
    QTest::newRow("Add Media") << "btnAddMedia" << QRect(214, 327, 65, 19);
    QTest::newRow("Mail Info") << "btnMailInfo" << QRect(299, 327, 65, 19);
    QTest::newRow("Save Info") << "btnSaveInfo" << QRect(384, 327, 65, 19);
    QTest::newRow("Exit") << "btnExit" << QRect(469, 327, 65, 19);
    QTest::newRow("file list") << "fileList" << QRect(24, 35, 506, 273);
}

void TestMainDialog::childrenSitInTheirPlaces() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    auto* child = dlg.findChild<QWidget*>(name);
    QVERIFY(child);
    QCOMPARE(child->geometry(), geometry);
}

void TestMainDialog::listHasTwoColumns() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    auto* list = dlg.findChild<QTreeWidget*>(QStringLiteral("fileList"));
    QVERIFY(list);
    QCOMPARE(list->columnCount(), 2);
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("# Id"));
    QCOMPARE(list->headerItem()->text(1), QStringLiteral("Path"));
    QCOMPARE(list->columnWidth(0), 50);
    QCOMPARE(list->columnWidth(1), 554);
    QCOMPARE(list->headerItem()->textAlignment(0) & Qt::AlignHorizontal_Mask,
             int(Qt::AlignHCenter));
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->topLevelItemCount(), 0);

    auto* link = dlg.findChild<CLinkLabel*>(QStringLiteral("linkLabel"));
    QVERIFY(link);
    QCOMPARE(link->pos(), QPoint(26, 321));
    QCOMPARE(link->text(), QStringLiteral("https://www.kqmedia.example/"));
    QCOMPARE(link->Target(), QStringLiteral("https://www.kqmedia.example/"));
    QCOMPARE(link->UnderlineMode(), 1);
    const QFontMetrics metrics(link->UnderlineFont());
    QCOMPARE(link->size(), QSize(metrics.horizontalAdvance(link->text()), metrics.height()));
    // Fitted, it leaves the buttons free.
    QVERIFY(link->geometry().right() < 214);
}

void TestMainDialog::faceIsPaintedWithTheTitle() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    QImage image(dlg.size(), QImage::Format_RGB32);
    image.fill(qRgb(0xFF, 0, 0xFF));
    dlg.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    QCOMPARE(image.pixel(0, 0), qRgb(0x66, 0x66, 0x66));
    QCOMPARE(image.pixel(553, 356), qRgb(0x66, 0x66, 0x66));
    QCOMPARE(image.pixel(300, 22), qRgb(0, 0, 0));
    int black = 0;
    int blackRight = 0;
    for (int y = 3; y < 22; ++y)
        for (int x = 4; x < 500; ++x)
            if (image.pixel(x, y) == qRgb(0, 0, 0))
                ++(x < 260 ? black : blackRight);
    QVERIFY2(black > 200, qPrintable(QString::number(black))); // the title text
    QCOMPARE(blackRight, 0);                                   // and nothing else
    // Nothing drawn above the title's cell.
    for (int x = 4; x < 260; ++x)
        QCOMPARE(image.pixel(x, 1), qRgb(0xBC, 0xBC, 0xBC));
}

void TestMainDialog::addMediaNumbersTheRows() {
    FakePrompts prompts;
    prompts.openAnswers.enqueue({"/media/a.avi", "/media/b.mkv", "/media/c.mp4"});
    prompts.openAnswers.enqueue({"/media/d.mov", "/media/e.png"});
    CKQCheckMediaInfoDlg dlg(&prompts);
    auto* add = dlg.findChild<CKQBitmapButton*>(QStringLiteral("btnAddMedia"));
    QVERIFY(add);
    add->click();
    QCOMPARE(Column(dlg.FileList(), 0), Numbers(1, 3));
    add->click();
    QCOMPARE(Column(dlg.FileList(), 0), Numbers(1, 5));
    QCOMPARE(Column(dlg.FileList(), 1), QStringList({"/media/a.avi", "/media/b.mkv", "/media/c.mp4",
                                                     "/media/d.mov", "/media/e.png"}));
}

void TestMainDialog::duplicatePathGetsANewRow() {
    FakePrompts prompts;
    prompts.openAnswers.enqueue({"/media/a.avi"});
    prompts.openAnswers.enqueue({"/media/a.avi"});
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.OnAddMedia();
    dlg.OnAddMedia();
    QCOMPARE(Column(dlg.FileList(), 0), Numbers(1, 2));
    QCOMPARE(Column(dlg.FileList(), 1), QStringList({"/media/a.avi", "/media/a.avi"}));
}

void TestMainDialog::cancellingAddMediaChangesNothing() {
    FakePrompts prompts;
    prompts.openAnswers.enqueue({"/media/a.avi", "/media/b.avi"});
    prompts.openAnswers.enqueue({});
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.OnAddMedia();
    dlg.FileList()->setCurrentItem(dlg.FileList()->topLevelItem(1));
    dlg.OnAddMedia();
    QCOMPARE(prompts.openFilters.size(), 2);
    QCOMPARE(Column(dlg.FileList(), 0), Numbers(1, 2));
    QCOMPARE(Column(dlg.FileList(), 1), QStringList({"/media/a.avi", "/media/b.avi"}));
    QCOMPARE(dlg.FileList()->currentItem(), dlg.FileList()->topLevelItem(1));
}

void TestMainDialog::openDialogGetsTheNineFilters() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.OnAddMedia();
    QCOMPARE(prompts.openFilters.size(), 1);
    const QStringList filters = prompts.openFilters[0];
    const QList<MediaFilter> media = MediaFileFilters();
    QCOMPARE(filters.size(), 9);
    QCOMPARE(media.size(), 9);
    const char* const titles[] = {"Video Files",         "Still Images", "MPEG Files",
                                  "Windows Media Files", "ISO files",    "FLV files",
                                  "Real Media",          "AVI files",    "All Files"};
    for (int i = 0; i < 9; ++i) {
        QVERIFY2(filters[i].startsWith(QLatin1String(titles[i]) + QLatin1String(" (")),
                 qPrintable(filters[i]));
        QCOMPARE(PatternsOf(filters[i]), media[i].patterns);
    }
    QCOMPARE(PatternsOf(filters[3]), QStringList({"*.asf", "*.wmv"}));
    QCOMPARE(PatternsOf(filters[8]), QStringList({"*.*"}));
    QCOMPARE(PatternsOf(filters[0]).size(), 26);
}

void TestMainDialog::openDialogMatchesWithoutRegardToCase() {
    QTemporaryDir dir;
    QVERIFY(Touch(dir.filePath(QStringLiteral("CLIP.MP4"))));
    QVERIFY(Touch(dir.filePath(QStringLiteral("notes.txt"))));
    QVERIFY(Touch(dir.filePath(QStringLiteral("movie.avi"))));
    QFileDialog dialog;
    CWidgetPrompts::ConfigureOpenDialog(dialog, CKQCheckMediaInfoDlg::OpenFileNameFilters());
    QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(dialog.nameFilters(), CKQCheckMediaInfoDlg::OpenFileNameFilters());
    dialog.setDirectory(dir.path());
    dialog.show();
    auto* model = dialog.findChild<QFileSystemModel*>();
    QVERIFY(model);
    auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QVERIFY(view);
    const auto shown = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int i = 0; i < view->model()->rowCount(root); ++i)
            names.append(view->model()->index(i, 0, root).data().toString());
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), QStringList({"CLIP.MP4", "movie.avi"}));
    dialog.selectNameFilter(dialog.nameFilters().at(7)); // AVI files
    QTRY_COMPARE(shown(), QStringList({"movie.avi"}));
    dialog.close();
}

void TestMainDialog::collectPathsAppendsRowsInOrder() {
    FakePrompts prompts;
    TestableDlg dlg(&prompts);
    dlg.AddPaths({"/m/1.avi", "/m/2.avi"});
    dlg.SeedPaths({"/old"});
    dlg.CollectPaths();
    QCOMPARE(dlg.Paths(), QStringList({"/old", "/m/1.avi", "/m/2.avi"}));
}

void TestMainDialog::reportCommandsRefillThePaths_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("Save Info") << int(ID_SAVE_INFO);
    QTest::newRow("Mail Info") << int(ID_MAIL_INFO);
}

void TestMainDialog::reportCommandsRefillThePaths() {
    QFETCH(int, id);
    FakePrompts prompts;
    TestableDlg dlg(&prompts);
    dlg.AddPaths({"/m/b.avi", "/m/a.avi", "/m/b.avi"});
    dlg.SeedPaths({"/stale/x.avi", "/stale/y.avi", "/stale/z.avi", "/stale/w.avi"});
    prompts.saveAnswers.enqueue(QStringLiteral("/nowhere/KQMediaInfo.txt"));
    dlg.OnCommand(id);
    const QStringList expected = {"/m/b.avi", "/m/a.avi", "/m/b.avi"};
    QCOMPARE(dlg.Paths(), expected);
    QCOMPARE(dlg.builds, QList<QStringList>({expected}));
}

void TestMainDialog::reportCommandsWithAnEmptyListWarn_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("Save Info") << "btnSaveInfo";
    QTest::newRow("Mail Info") << "btnMailInfo";
}

void TestMainDialog::reportCommandsWithAnEmptyListWarn() {
    QFETCH(QString, button);
    FakePrompts prompts;
    TestableDlg dlg(&prompts);
    dlg.SeedPaths({"/stale/x.avi"});
    auto* b = dlg.findChild<CKQBitmapButton*>(button);
    QVERIFY(b);
    b->click();
    QCOMPARE(prompts.warnings.size(), 1);
    QCOMPARE(prompts.warnings[0].text,
             QStringLiteral("There is no media file in the list, please add media files."));
    // Captioned with the executable's name, as Qt names the application by default.
    QCOMPARE(prompts.warnings[0].caption,
             QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    QCOMPARE(prompts.warnings[0].caption, QCoreApplication::applicationName());
    QVERIFY(dlg.Paths().isEmpty());
    QCOMPARE(prompts.saveDialogs, 0);
    QCOMPARE(dlg.FileList()->topLevelItemCount(), 0);
}

void TestMainDialog::droppedFilesAndFoldersAreAdded() {
    QTemporaryDir dir;
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    const QString a = dir.filePath(QStringLiteral("a.mp4"));
    const QString folder = dir.filePath(QStringLiteral("folder"));
    for (const QString& f :
         {b, a, folder + "/x.MKV", folder + "/sub/y.jpg", folder + "/z.txt", folder + "/sub/a.avi"})
        QVERIFY(Touch(f));
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.AddPaths({"/earlier.avi"});
    bool accepted = false;
    Drop(dlg, {QUrl::fromLocalFile(b), QUrl::fromLocalFile(a), QUrl::fromLocalFile(folder)},
         &accepted);
    QVERIFY(accepted);
    QCOMPARE(Column(dlg.FileList(), 0), Numbers(1, 6));
    QCOMPARE(Column(dlg.FileList(), 1), QStringList({"/earlier.avi", b, a, folder + "/sub/a.avi",
                                                     folder + "/sub/y.jpg", folder + "/x.MKV"}));
    QCOMPARE(prompts.openFilters.size(), 0);
}

void TestMainDialog::dropOfNonLocalUrlsIsRefused() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    bool accepted = true;
    Drop(dlg, {QUrl(QStringLiteral("https://www.kqmedia.example/clip.mp4"))}, &accepted);
    QVERIFY(!accepted);
    QCOMPARE(dlg.FileList()->topLevelItemCount(), 0);
}

void TestMainDialog::commandDispatch() {
    FakePrompts prompts;
    prompts.openAnswers.enqueue({"/m/a.avi"});
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.OnCommand(ID_ADD_MEDIA);
    QCOMPARE(dlg.FileList()->topLevelItemCount(), 1);
    dlg.OnCommand(99); // no such command: nothing happens
    QCOMPARE(prompts.openFilters.size(), 1);
    QCOMPARE(prompts.warnings.size(), 0);
}

void TestMainDialog::editedRowNumberIsNotKept() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.AddPaths({"/m/a.avi"});
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTreeWidget* list = dlg.FileList();
    QTreeWidgetItem* item = list->topLevelItem(0);
    list->setCurrentItem(item, 0);
    list->editItem(item, 0);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor); // the number may be edited in place
    QSignalSpy committed(list->itemDelegate(), &QAbstractItemDelegate::commitData);
    editor->setText(QStringLiteral("99"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(committed.count(), 1); // the edit ended as a commit (queued)
    QCOMPARE(item->text(0), QStringLiteral("1"));
    QVERIFY(dlg.isVisible()); // the editor took the Enter key
    list->editItem(item, 1); // the path cannot be edited
    QVERIFY(!qobject_cast<QLineEdit*>(QApplication::focusWidget()));
}

void TestMainDialog::keysAndButtonsCloseTheWindow_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Escape") << "key:escape" << int(QDialog::Rejected);
    QTest::newRow("Enter") << "key:return" << int(QDialog::Accepted);
    QTest::newRow("keypad Enter") << "key:enter" << int(QDialog::Accepted);
    QTest::newRow("Exit button") << "btnExit" << int(QDialog::Rejected);
    QTest::newRow("close button") << "btnClose" << int(QDialog::Rejected);
    QTest::newRow("close request") << "close" << int(QDialog::Rejected);
}

void TestMainDialog::keysAndButtonsCloseTheWindow() {
    QFETCH(QString, how);
    QFETCH(int, result);
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.setResult(-1);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QSignalSpy finished(&dlg, &QDialog::finished);
    if (how == "key:escape") {
        QTest::keyClick(dlg.FileList(), Qt::Key_Escape);
    } else if (how == "key:return") {
        QTest::keyClick(dlg.FileList(), Qt::Key_Return);
    } else if (how == "key:enter") {
        QTest::keyClick(dlg.FileList(), Qt::Key_Enter, Qt::KeypadModifier);
    } else if (how == "close") {
        QVERIFY(dlg.close());
    } else {
        auto* button = dlg.findChild<CKQBitmapButton*>(how);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    }
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), result);
    QCOMPARE(dlg.result(), result);
    QVERIFY(!dlg.isVisible());
}

void TestMainDialog::minimiseButtonMinimises() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(!(dlg.windowState() & Qt::WindowMinimized));
    auto* button = dlg.findChild<CKQBitmapButton*>(QStringLiteral("btnMinimize"));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(dlg.windowState() & Qt::WindowMinimized);
    QVERIFY(dlg.result() != QDialog::Accepted);
}

void TestMainDialog::titleStripDragsTheWindow_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("moves");
    QTest::newRow("on the title text") << QPoint(20, 10) << 1;
    QTest::newRow("left edge") << QPoint(0, 1) << 1; // QTest reads (0, 0) as the centre
    QTest::newRow("last strip row") << QPoint(400, 21) << 1;
    QTest::newRow("black line") << QPoint(400, 22) << 0;
    QTest::newRow("bottom area") << QPoint(100, 340) << 0;
    QTest::newRow("beside the list") << QPoint(10, 100) << 0;
}

void TestMainDialog::titleStripDragsTheWindow() {
    QFETCH(QPoint, pos);
    QFETCH(int, moves);
    FakePrompts prompts;
    TestableDlg dlg(&prompts);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mousePress(&dlg, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(&dlg, Qt::LeftButton, {}, pos);
    QCOMPARE(dlg.moves, moves);
    // A press on a title-strip button reaches the button, not the window.
    auto* close = dlg.findChild<CKQBitmapButton*>(QStringLiteral("btnMinimize"));
    QTest::mousePress(close, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(dlg.moves, moves);
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(50, 50));
}

void TestMainDialog::windowFollowsThePointerWhereTheSystemCannotMoveIt() {
    FakePrompts prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QPoint start = dlg.pos();
    auto send = [&dlg](QEvent::Type type, QPoint local, Qt::MouseButton button,
                       Qt::MouseButtons buttons) {
        const QPoint global = dlg.mapToGlobal(local);
        QMouseEvent event(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg, &event);
    };
    // The off-screen platform has no window manager to move windows.
    send(QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(150, 40), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(dlg.pos(), start + QPoint(50, 30));
    send(QEvent::MouseButtonRelease, QPoint(100, 10), Qt::LeftButton, Qt::NoButton);
    const QPoint moved = dlg.pos();
    send(QEvent::MouseMove, QPoint(200, 100), Qt::NoButton, Qt::NoButton);
    QCOMPARE(dlg.pos(), moved);
    // A press below the strip does not drag.
    send(QEvent::MouseButtonPress, QPoint(100, 200), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(150, 260), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(dlg.pos(), moved);
    send(QEvent::MouseButtonRelease, QPoint(150, 260), Qt::LeftButton, Qt::NoButton);
}

QTEST_MAIN(TestMainDialog)
#include "tst_main_dialog.moc"
