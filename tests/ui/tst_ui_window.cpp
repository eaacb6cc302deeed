// The main window driven off screen: its face and places, the file list and the commands,
// Save Info and Mail Info end to end (the real media library on a sample file, a stand-in
// xdg-email alone on PATH), long builds on the fake library's slow files, and the
// application object running the window.
#include "FakeMediaInfoSupport.h"
#include "FakePrompts.h"
#include "media/MediaInfoHandle.h"
#include "platform/FileNames.h"
#include "report/AnalysisPool.h"
#include "report/ReportLocation.h"
#include "ui/KQCheckMediaInfoApp.h"
#include "ui/KQCheckMediaInfoDlg.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <unistd.h>

using namespace kq;

using namespace kqtest;

static const QByteArray kEarlier = "an earlier report\r\n", kOld(20000, 'x');
static const QString kSave = "save KQMediaInfo.txt txt(*.txt)";
// The stand-in mailer records its arguments and what it was given to attach.
static const QByteArray kMailer =
    "#!/bin/sh\nfor a; do echo \"$a\"; done >\"$0.args\"\n/bin/cat \"$4\" >>\"$0.args\"\n";

// A file manager on the test's own session bus, in a process of its own (this program run
// with KQ_TEST_FILE_MANAGER naming a file): it notes there what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public slots:
    void ShowItems(const QStringList& uris, const QString&) {
        QFile notes(qEnvironmentVariable("KQ_TEST_FILE_MANAGER"));
        if (notes.open(QIODevice::Append))
            notes.write((uris.join(' ') + '\n').toUtf8());
    }
};

class TestUiWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir; // this test's own; the current folder, alone on PATH
    FakePrompts m_p;
    std::unique_ptr<CKQCheckMediaInfoDlg> m_dlg;
    QProcess m_bus; // killed as the test ends

    // Runs a command as a click does, and waits for the report build it starts, if any.
    void Command(int id) {
        QSignalSpy built(m_dlg.get(), &CKQCheckMediaInfoDlg::BuildFinished);
        m_dlg->OnCommand(id);
        QVERIFY(!m_dlg->IsBuilding() || built.wait(20000));
    }

private slots:
    // A session bus of the test's own, where a file manager answers.
    void initTestCase() {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_dir->path());
        qputenv("PATH", QFile::encodeName(m_dir->path()));
        MediaLibrary_SetFileName("libmediainfo.so.0"); // the real one, not the fake
        QDir().rmdir(ReportFilePath());
        QVERIFY(WriteBytes(ReportFilePath(), kEarlier));
        // Files for the list: a folder holds media and other files.
        for (const QString name : {"b.txt", "f/x.MKV", "f/z.txt", "f/sub/a.avi"})
            QVERIFY(QDir().mkpath(QFileInfo(name).path()) && WriteBytes(name, ""));
        m_p = FakePrompts();
        m_dlg = std::make_unique<CKQCheckMediaInfoDlg>(&m_p);
    }

    void windowIsCentredOnTheWorkArea() {
        // (left + right) / 2 - 554 / 2, and the same downwards: 1024 x 768, 1920 x 1080, a
        // panel on top with odd sizes, a screen to the left of the first.
        for (const auto& [area, place] : {std::pair{QRect(0, 0, 1024, 768), QPoint(235, 206)},
                                          {QRect(0, 0, 1920, 1080), QPoint(683, 362)},
                                          {QRect(0, 27, 1365, 741), QPoint(405, 219)},
                                          {QRect(-1280, 0, 1280, 1024), QPoint(-917, 334)}})
            QCOMPARE(CKQCheckMediaInfoDlg::CenteredPosition(area), place);
        QCOMPARE(m_dlg->pos(),
                 CKQCheckMediaInfoDlg::CenteredPosition(m_dlg->screen()->availableGeometry()));
    }

    void windowPlacesAndTitle() {
        QVERIFY(m_dlg->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        QVERIFY(m_dlg->minimumSize() == QSize(554, 357) && m_dlg->maximumSize() == QSize(554, 357));
        // Where each is (the link is fitted to its text), and what a screen reader tells of it:
        // its role, its name and the key of its press action.
        // clang-format off
        const std::tuple<const char*, QRect, QString> places[] = {
            {"btnMinimize", QRect(506, 3, 16, 16), "Button|Minimise|Ctrl+M"}, {"btnClose", QRect(527, 3, 16, 16), "Button|Close|Ctrl+W"},
            {"btnAddMedia", QRect(214, 327, 65, 19), "Button|Add Media|Ctrl+O"}, {"btnMailInfo", QRect(299, 327, 65, 19), "Button|Mail Info|Ctrl+E"},
            {"btnSaveInfo", QRect(384, 327, 65, 19), "Button|Save Info|Ctrl+S"}, {"btnExit", QRect(469, 327, 65, 19), "Button|Exit|Ctrl+Q"},
            {"fileList", QRect(24, 35, 506, 273), "Tree|Media files"}, {"linkLabel", QRect(26, 321, 0, 0), "Link|https://www.kqmedia.example/|F1"}};
        // clang-format on
        for (const auto& [name, place, told] : places) {
            QWidget* child = m_dlg->findChild<QWidget*>(name);
            QCOMPARE(QRect(child->pos(), place.isEmpty() ? QSize(0, 0) : child->size()), place);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(child);
            QStringList heard{QMetaEnum::fromType<QAccessible::Role>().valueToKey(a->role()),
                              a->text(QAccessible::Name)};
            if (QAccessibleActionInterface* action = a->actionInterface())
                heard += action->keyBindingsForAction("Press");
            QCOMPARE(heard.join('|'), told);
        }
        // The title, drawn over a strip no darker than light grey.
        const QImage face = m_dlg->grab().toImage();
        int left = 500, inked = 0, black = 0;
        for (int i = 0; i < 500 * 21; ++i) // x from 1 to 499, y from 1 to 21
            if (const int grey = qGray(face.pixel(1 + i / 21, 1 + i % 21)); grey < 180)
                left = qMin(left, 1 + i / 21), ++inked, black += grey < 64;
        // Its cell starts at x = 4, and a glyph's side bearing is a pixel or two. Bold
        // strokes are mostly solid; a regular face's have more grey edge to them.
        QVERIFY2(left >= 4 && left <= 6 && black * 5 > inked * 3,
                 qPrintable(QString("left %1, %2 of %3 black").arg(left).arg(black).arg(inked)));
        // The strip above the black line drags; with no window manager to move it off screen,
        for (const int y : {21, 22}) { // the window follows the pointer itself
            const QPoint start = m_dlg->pos();
            QTest::mousePress(m_dlg.get(), Qt::LeftButton, {}, QPoint(20, y));
            QTest::mouseMove(m_dlg.get(), QPoint(70, y + 30));
            QTest::mouseRelease(m_dlg.get(), Qt::LeftButton, {}, QPoint(70, y + 30));
            QCOMPARE(m_dlg->pos() - start, y < 22 ? QPoint(50, 30) : QPoint());
        }
    }

    void rowsFromAddMediaAndDrops() {
        m_p.openAnswers << QStringList{"/m/a", "/m/b"} << QStringList() << QStringList{"/m/a"};
        for (int i = 0; i < 3; ++i) // the second is cancelled
            m_dlg->findChild<QAbstractButton*>("btnAddMedia")->click();
        // A folder is walked for media files, sorted; a file is taken as it is.
        QMimeData web, local;
        web.setUrls({QUrl("https://www.kqmedia.example/clip.mp4")});
        // A name that is not UTF-8 keeps its bytes, percent-encoded in the URL.
        local.setUrls({QUrl::fromLocalFile("b.txt"), QUrl::fromLocalFile("f"),
                       QUrl::fromEncoded("file:///m/caf%E9%F0%9F%92%A9.mp4")});
        for (QMimeData* mime : {&web, &local}) {
            QDragEnterEvent enter(QPoint(270, 150), Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(m_dlg.get(), &enter);
            QCOMPARE(enter.isAccepted(), mime == &local); // only local files
            QDropEvent drop(QPointF(270, 150), Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(m_dlg.get(), &drop);
        }
        // The number may be edited in place, but the edit is not kept.
        QTreeWidget* list = m_dlg->FileList();
        list->editItem(list->topLevelItem(0), 0);
        QVERIFY(list->findChild<QLineEdit*>());
        list->findChild<QLineEdit*>()->setText("99");
        QTest::keyClick(list->findChild<QLineEdit*>(), Qt::Key_Return);
        QTRY_VERIFY(!list->findChild<QLineEdit*>());
        m_dlg->CollectPaths(); // appends the Path column, in row order
        m_dlg->CollectPaths();
        const QString dropped = QString("/m/caf") + QChar(0xdc80 + 0xe9 - 0x80) + "\U0001F4A9.mp4 ";
        QCOMPARE(m_dlg->Paths().join(' ').remove(m_dir->path() + '/'),
                 ("/m/a /m/b /m/a b.txt f/sub/a.avi f/x.MKV " + dropped).repeated(2).trimmed());
        for (int i = 0; i < 7; ++i)
            QCOMPARE(list->topLevelItem(i)->text(0), QString::number(i + 1));
    }

    void openDialogMatchesWithoutRegardToCase() {
        for (const QString name : {"CLIP.MP4", "movie.avi", "noext"}) // beside b.txt and f/
            QVERIFY(WriteBytes(name, ""));
        QFileDialog dialog;
        CWidgetPrompts::ConfigureOpenDialog(dialog, CKQCheckMediaInfoDlg::OpenFileNameFilters());
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
        dialog.show();
        auto* view = dialog.findChild<QAbstractItemView*>("listView");
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 3); // Video Files, f/
        // All Files means every file, one without an extension too, under its own title.
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        types->setCurrentIndex(8); // as the user picks it
        emit types->activated(8);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 5);
        QCOMPARE(types->currentText(), "All Files (*.*)");
    }

    // A report that lacks listed files says which and why, without holding up the window;
    // the library without MediaInfo_Close opens no file at all.
    void leftOutFilesAreNamed_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("reason"); // of the files that reach the library
        // clang-format off
        QTest::newRow("Save Info") << int(ID_SAVE_INFO) << "";
        QTest::newRow("Mail Info, unusable library") << int(ID_MAIL_INFO) << FakeLibraryPath("no-close") + " has no MediaInfo_Close";
        // clang-format on
    }
    void leftOutFilesAreNamed() {
        QFETCH(int, command);
        QFETCH(QString, reason);
        MediaLibrary_SetFileName(FakeLibraryPath(reason.isEmpty() ? "full" : "no-close"));
        AnalysisOptions options;
        options.timeoutMs = 1000;
        m_dlg->SetAnalysisOptions(options);
        QVERIFY(QFile::copy(FakeDataPath("two-audio.kqfake"), "a.kqfake") &&
                WriteDescription("hang.kqfake", {"!hang"}) && WriteBytes("xdg-email", kMailer) &&
                QFile::setPermissions("xdg-email", QFile::ReadOwner | QFile::ExeOwner));
        m_dlg->AddPaths({"a.kqfake", "gone.kqfake", "hang.kqfake"});
        m_p.saveAnswers << "saved.txt";
        Command(command);
        const QString a = reason.isEmpty() ? "" : "@/a.kqfake: " + reason + " | ";
        QCOMPARE(m_p.said.last(),
                 QString("ui_window lists: " + a + "@/gone.kqfake: missing | @/hang.kqfake: " +
                         (reason.isEmpty() ? "took longer than the time limit of 1 s" : reason))
                     .replace("@", m_dir->path()));
        // The report of the others, or the empty one when no file could open.
        QCOMPARE(ReadBytes(ReportFilePath()).count("<FileInfo>"), int(reason.isEmpty()));
    }

    void leftOutNoticeScrollsAndElides() {
        QList<LeftOutFile> files{
            {"/" + QString("a-long-folder-name/").repeated(20) + "clip.mp4", "missing"}};
        for (int i = 1; i < 200; ++i)
            files.append({QString("/m/%1.mp4").arg(i), "missing"});
        CWidgetPrompts().ShowLeftOut(m_dlg.get(), "ui_window", files);
        auto* notice = m_dlg->findChild<QDialog*>("leftOutNotice");
        QVERIFY(notice->isVisible() && !notice->isModal() && notice->windowTitle() == "ui_window");
        const QListWidget* list = notice->findChild<QListWidget*>("leftOutList");
        QCOMPARE(list->count(), 200);
        QCOMPARE(list->item(1)->text(), "/m/1.mp4: missing");
        const QString first = list->item(0)->text(); // a long path loses its middle only
        QVERIFY2(first.startsWith("/a-long-folder-name/") && first.contains(QChar(0x2026)) &&
                     first.endsWith("/clip.mp4: missing") && first.size() < files[0].path.size(),
                 qPrintable(first));
        QVERIFY(notice->height() <= 400 && list->verticalScrollBar()->maximum() > 0);
    }

    void commands_data() {
        QTest::addColumn<QString>("how");      // a button or a key
        QTest::addColumn<int>("files");        // listed first, slow to analyse; one is quicker
        QTest::addColumn<QStringList>("said"); // and what became of the window
        const QString empty =
            "ui_window warns: There is no media file in the list, please add media files.";
        // clang-format off
        QTest::newRow("Save Info, empty list") << "btnSaveInfo" << 0 << QStringList{empty};
        QTest::newRow("Mail Info, empty list") << "btnMailInfo" << 0 << QStringList{empty};
        QTest::newRow("Exit") << "btnExit" << 0 << QStringList{"rejected"};
        QTest::newRow("close button") << "btnClose" << 0 << QStringList{"rejected"};
        QTest::newRow("Enter") << "Return" << 0 << QStringList{"accepted"};
        QTest::newRow("minimise") << "btnMinimize" << 0 << QStringList();
        QTest::newRow("Save Info, short build: no progress shown") << "btnSaveInfo" << 1 << QStringList{kSave};
        QTest::newRow("Save Info, long build cancelled") << "btnSaveInfo" << 30 << QStringList{kSave};
        QTest::newRow("Mail Info, window closed during a long build") << "btnMailInfo" << 30 << QStringList{"rejected"};
        QTest::newRow("Mail Info, long build cancelled") << "btnMailInfo cancel" << 30 << QStringList();
        QTest::newRow("Add Media, Mail Info, Save Info, minimise by their keys") << "Ctrl+O, Ctrl+E, Ctrl+S, Ctrl+M" << 0 << QStringList{"open", empty, empty};
        QTest::newRow("Exit by its key") << "Ctrl+Q" << 0 << QStringList{"rejected"};
        QTest::newRow("close by its key") << "Ctrl+W" << 0 << QStringList{"rejected"};
        QTest::newRow("the link by its key, xdg-open exits 2") << "F1" << 0 << QStringList{"ui_window warns: Unable to open hyperlink:\n\nThe specified file was not found."};
        QTest::newRow("the link pressed by a screen reader") << "linkLabel press" << 0 << QStringList{"ui_window warns: Unable to open hyperlink:\n\nThe specified file was not found."};
        // clang-format on
    }
    void commands() {
        QFETCH(QString, how);
        QFETCH(int, files);
        QFETCH(QStringList, said);
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        for (int i = 0; i < files; ++i) {
            QVERIFY(WriteDescription(QString("%1.kqfake").arg(i),
                                     {files > 1 ? "!sleep 200" : "!sleep 100"}));
            m_dlg->AddPaths({QString("%1.kqfake").arg(i)});
        }
        m_p.saveAnswers.enqueue("saved.txt");
        QVERIFY(WriteBytes("xdg-open", "#!/bin/sh\nexit 2\n") &&
                QFile::setPermissions("xdg-open", QFile::ReadOwner | QFile::ExeOwner));
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get())); // keys go to the active window
        connect(m_dlg.get(), &QDialog::finished, [this](int result) {
            m_p.said.append(result == QDialog::Accepted ? "accepted" : "rejected");
        });
        QString label; // of the build's progress, when it showed
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            auto* progress = m_dlg->findChild<QProgressDialog*>("buildProgress");
            if (!progress || !progress->isVisible() || !label.isEmpty())
                return;
            label = progress->labelText();
            for (int id : {ID_ADD_MEDIA, ID_SAVE_INFO, ID_MAIL_INFO}) // one build at a time
                m_dlg->OnCommand(id);
            // Cancel, or close
            how.startsWith("btnSaveInfo") || how.endsWith(" cancel") ? progress->cancel()
                                                                     : void(m_dlg->close());
        });
        watch.start(10);
        QWidget* widget = m_dlg->findChild<QWidget*>(how.section(' ', 0, 0));
        if (how.endsWith(" press")) // as a screen reader does
            QAccessible::queryAccessibleInterface(widget)->actionInterface()->doAction("Press");
        else if (widget)
            QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5));
        else
            QTest::keySequence(m_dlg->FileList(), QKeySequence(how));
        QTRY_COMPARE(m_dlg->isMinimized(), how == "btnMinimize" || how.endsWith("Ctrl+M"));
        QTRY_COMPARE(m_p.said, said);
        QTRY_VERIFY(!m_dlg->IsBuilding()); // a close ends the build at once, Cancel soon
        QCOMPARE(m_p.said, said);          // and nothing more is said after it
        QVERIFY2(label.contains(" of 30 files done\n") == (files == 30), qPrintable(label));
        QCOMPARE(ReadBytes(ReportFilePath()) == kEarlier, files != 1); // only that one finished
        QCOMPARE(QFile::exists("saved.txt"), files == 1);
    }

    void saveAndMail_data() {
        QTest::addColumn<QString>("target");    // beside "old.txt" and "dir"; none: cancelled
        QTest::addColumn<QByteArray>("mailer"); // its last line, or all from "#!"; none when empty
        QTest::addColumn<QStringList>("said");  // to Save Info, then to Mail Info
        const QString failed = "ui_window notes: 传递邮件未能传递信息。";
        // clang-format off
        QTest::newRow("saved over a file, mail handed") << "old.txt" << QByteArray("exit 0") << QStringList{kSave};
        QTest::newRow("mailed after saving, nothing analysed again") << "old.txt" << QByteArray("exit 0") << QStringList{kSave};
        QTest::newRow("missing folder") << "gone/x.txt" << QByteArray("exit 0") << QStringList{kSave, "ui_window warns: Save file failed."};
        QTest::newRow("a folder") << "dir" << QByteArray("exit 0") << QStringList{kSave, "ui_window warns: Save file failed."};
        QTest::newRow("report not written") << "x.txt" << QByteArray("exit 0") << QStringList{kSave, "ui_window warns: Save file failed.", "ui_window warns: 传递邮件未能传递信息。"};
        QTest::newRow("Save As cancelled, mailer found as ./xdg-email") << "" << QByteArray("exit 0") << QStringList{kSave};
        QTest::newRow("mailer status 3") << "" << QByteArray("exit 3") << QStringList{kSave, failed};
        QTest::newRow("mailer not executable") << "" << QByteArray("exit 0") << QStringList{kSave, "ui_window notes: 邮件系统 DLL 无效。"};
        QTest::newRow("mailer that cannot start") << "" << QByteArray("#!/nowhere/sh\n") << QStringList{kSave, "ui_window notes: 邮件系统 DLL 无效。"};
        QTest::newRow("one not executable first on PATH") << "" << QByteArray("exit 0") << QStringList{kSave};
        QTest::newRow("no mailer on PATH") << "" << QByteArray() << QStringList{kSave, "ui_window notes: 无法装入邮件系统支援。"};
        QTest::newRow("slow mailer") << "" << QByteArray("i=0; while [ ! -e \"$0.go\" ] && [ $i -lt 300 ]; do /bin/sleep 0.1; i=$((i+1)); done; exit 3") << QStringList{kSave, kSave, failed};
        // The mailto: handler a web browser (webmail), or a mail client that attaches.
        const QString byHand = "ui_window notes: Your mail program cannot take the report as an attachment. The message to support is open: please attach this file to it by hand:\n\n@REPORT@";
        QTest::newRow("webmail: attach by hand, shown in the file manager") << "" << QByteArray("exit 0") << QStringList{kSave, byHand};
        QTest::newRow("webmail, no file manager: its folder opened") << "" << QByteArray("exit 0") << QStringList{kSave, byHand};
        QTest::newRow("webmail, the message not opened") << "" << QByteArray("exit 4") << QStringList{kSave, failed};
        QTest::newRow("Thunderbird: attached") << "" << QByteArray("exit 0") << QStringList{kSave};
        // clang-format on
    }
    void saveAndMail() {
        QFETCH(QString, target);
        QFETCH(QByteArray, mailer);
        QFETCH(QStringList, said);
        const QByteArray row = QTest::currentDataTag();
        QVERIFY(QDir().mkpath("out/dir") && WriteBytes("out/old.txt", kOld));
        QVERIFY(mailer.isEmpty() ||
                WriteBytes("xdg-email", mailer[0] == '#' ? mailer : kMailer + mailer));
        if (row != "mailer not executable")
            QFile::setPermissions("xdg-email", QFile::ReadOwner | QFile::ExeOwner);
        if (row.endsWith("./xdg-email"))
            qputenv("PATH", "/nowhere:");  // an empty entry is the current folder
        if (row.endsWith("first on PATH")) // passed over, as the shell does
            QVERIFY(QDir().mkdir("no") && WriteBytes("no/xdg-email", "") &&
                    (qputenv("PATH", "no:."), true));
        if (row == "report not written") // a folder in its place; not even root can write it
            QVERIFY(QFile::remove(ReportFilePath()) && QDir().mkdir(ReportFilePath()));
        // The mailto: handler's desktop entry (a browser, or a mail client that attaches), and
        // whether a file manager answers; a stand-in xdg-open notes what it opens.
        // clang-format off
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME"), apps = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
        const bool webmail = row.startsWith("webmail"), fileManager = !row.contains("no file manager");
        QVERIFY(QDir().mkpath(apps) && (QFile::remove(config + "/mimeapps.list"), true) &&
                WriteBytes(apps + "/mail.desktop", QByteArray("[Desktop Entry]\nExec=") + (webmail ? "/usr/lib/firefox-esr/firefox-esr" : "/usr/bin/thunderbird") + " %u\n") &&
                (!(webmail || row.startsWith("Thunderbird")) || WriteBytes(config + "/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=mail.desktop\n")) &&
                WriteBytes("xdg-open", "#!/bin/sh\necho \"$@\" >\"$0.args\"\n") && QFile::setPermissions("xdg-open", QFile::ReadOwner | QFile::ExeOwner));
        QProcess files; // ends with the row
        files.setEnvironment(QProcess::systemEnvironment() << "KQ_TEST_FILE_MANAGER=" + m_dir->filePath("shown"));
        // clang-format on
        if (fileManager)
            files.start(QCoreApplication::applicationFilePath());
        QVERIFY((!fileManager || files.waitForReadyRead(10000)) &&
                QFile::link("/usr/bin/dbus-send", "dbus-send"));
        for (QString& text : said)
            text.replace("@REPORT@", ReportFilePath());
        QSignalSpy finished(m_dlg.get(), &CKQCheckMediaInfoDlg::MailFinished);
        m_dlg->AddPaths({KQ_SOURCE_DIR "/tests/data/media/multi.mkv"});
        // What the mediainfo command gave.
        const QByteArray expected = ReadBytes(KQ_SOURCE_DIR "/tests/data/expected/multi.mkv.xml")
                                        .replace("@MEDIA@", KQ_SOURCE_DIR "/tests/data/media");
        m_p.saveAnswers << (target.isEmpty() ? QString() : "out/" + target) << "out/old.txt";
        Command(ID_SAVE_INFO);
        if (target.isEmpty())
            QCOMPARE(ReadBytes(ReportFilePath()), kEarlier); // nothing was built
        AnalysisOptions noWorker; // a file analysed again would fail the build
        noWorker.workerProgram = "/nonexistent/kqmediaworker";
        if (row.startsWith("mailed after saving"))
            m_dlg->SetAnalysisOptions(noWorker);
        Command(ID_MAIL_INFO);
        if (row == "slow mailer") { // the window goes on working meanwhile
            QTRY_VERIFY(QFile::exists("xdg-email.args"));
            Command(ID_SAVE_INFO);
            QVERIFY(finished.isEmpty() && WriteBytes("xdg-email.go", ""));
        }
        QVERIFY(row == "report not written" || finished.wait(5000));
        QCOMPARE(m_p.said, said);
        QCOMPARE(QDir("out").entryList(), QStringList({".", "..", "dir", "old.txt"}));
        QCOMPARE(ReadBytes("out/old.txt"),
                 row == "slow mailer" || target == "old.txt" ? expected : kOld);
        if (QFile::exists("xdg-email.args")) // the notes say whether it ran
            QCOMPARE(
                ReadBytes("xdg-email.args"),
                webmail
                    ? QByteArray("--subject\nReport of Media Infomation\nsupport@kqmedia.example\n")
                    : "--subject\nReport of Media Infomation\n--attach\n" +
                          ReportFilePath().toUtf8() + "\nsupport@kqmedia.example\n" + expected);
        // Without an attachment, the report is shown where the user can take it from.
        const bool shown = webmail && said.size() > 1 && said[1].contains("by hand");
        // clang-format off
        QTRY_COMPARE(ReadBytes("shown"), shown && fileManager ? QUrl::fromLocalFile(ReportFilePath()).toEncoded() + '\n' : QByteArray());
        QTRY_COMPARE(ReadBytes("xdg-open.args"), shown && !fileManager ? QFileInfo(ReportFilePath()).path().toUtf8() + '\n' : QByteArray());
        // clang-format on
    }

    // Files and folders on the command line go into the list as a drop puts them; the rest is
    // named and ignored.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("said"); // on standard output, then on standard error
        // clang-format off
        QTest::newRow("files, a folder, a missing path, unknown options") << QStringList{"b.txt", "--bogus", "f", "gone.mp4", "-x"} << QStringList{"b.txt", "f/sub/a.avi", "f/x.MKV"} << "ui_window: ignoring unknown option --bogus\nui_window: ignoring unknown option -x\nui_window: ignoring gone.mp4: no such file or folder\n";
        QTest::newRow("a folder of names not UTF-8") << QStringList{"n"} << QStringList{"n/caf\uFFFD.mp4", "n/cut\uFFFD\uFFFD.ts", "n/valid-é.png"} << "";
        QTest::newRow("--help") << QStringList{"-h"} << QStringList() << "ui_window [options] [path...]";
        // clang-format on
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, paths);
        QFETCH(QString, said);
        // A folder of names that are not UTF-8, beside a valid one.
        for (const char* name : {"n/caf\xe9.mp4", "n/cut\xe6\x97.ts", "n/valid-\xc3\xa9.png"})
            QVERIFY(QDir().mkpath("n") && ::close(::creat(name, 0644)) == 0);
        const auto line =
            CKQCheckMediaInfoApp::ReadCommandLine(QStringList{"/x/ui_window"} + arguments);
        QVERIFY2((line.output + line.messages).contains(said),
                 qPrintable(line.output + line.messages));
        QCOMPARE(line.showWindow, !paths.isEmpty());
        // The window opens with them, until it is closed: Escape, or a moment later.
        int ticks = 0;
        QStringList listed;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            if (auto* dlg =
                    qobject_cast<CKQCheckMediaInfoDlg*>(QApplication::activeModalWidget())) {
                dlg->CollectPaths();
                listed = dlg->Paths();
                ++ticks > 1 ? dlg->reject() : QTest::keyClick(dlg->FileList(), Qt::Key_Escape);
            }
        });
        user.start(200);
        QCOMPARE(
            qobject_cast<CKQCheckMediaInfoApp*>(qApp)->Run(QStringList{"ui_window"} + arguments),
            0);
        QCOMPARE(ticks, int(!paths.isEmpty()));
        QStringList shown; // each listed file is found by its name, which shows as it should
        for (const QString& path : listed) {
            shown << kq::platform::DisplayFileName(path).remove(m_dir->path() + '/');
            QCOMPARE(::access(kq::platform::EncodeFileName(path).constData(), F_OK), 0);
        }
        QCOMPARE(shown, paths);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("KQ_TEST_FILE_MANAGER")) {
        QCoreApplication app(argc, argv);
        FakeFileManager files;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerObject("/org/freedesktop/FileManager1", &files,
                                QDBusConnection::ExportAllSlots) ||
            !bus.registerService("org.freedesktop.FileManager1"))
            return 1;
        std::puts("ready"), std::fflush(stdout);
        return app.exec();
    }
    CKQCheckMediaInfoApp app(argc, argv);
    TestUiWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_window.moc"
