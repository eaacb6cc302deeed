// A report build that takes a while: the window shows its progress, keeps handling events,
// and Cancel (or closing the window) stops it with no report, no message and no worker left.

#include "ChildProcesses.h"
#include "FakeMediaInfoSupport.h"
#include "FakePrompts.h"
#include "media/MediaInfoHandle.h"
#include "report/ReportLocation.h"
#include "ui/KQCheckMediaInfoDlg.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace kqtest;

class TestBuildProgress : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_slowFiles;

    // Runs action on the build's progress dialog once it shows; returns what it saw.
    struct Watch {
        bool seen = false;
        QString label;
        int maximum = 0;
    };
    void WatchProgress(CKQCheckMediaInfoDlg* dlg, Watch* watch,
                       const std::function<void(QProgressDialog*)>& action) {
        auto* timer = new QTimer(dlg);
        connect(timer, &QTimer::timeout, dlg, [=] {
            auto* progress = dlg->findChild<QProgressDialog*>(QStringLiteral("buildProgress"));
            if (!progress || !progress->isVisible())
                return;
            timer->stop();
            watch->seen = true;
            watch->label = progress->labelText();
            watch->maximum = progress->maximum();
            action(progress);
        });
        timer->start(20);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        MediaLibrary_SetFileName(FakeLibraryPath("full"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("xdg"))));
        for (int i = 0; i < 30; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("slow%1.kqfake").arg(i));
            QVERIFY(WriteDescription(path, {"!sleep 200", "0 0 Format=slow"}));
            m_slowFiles.append(path);
        }
    }
    void init() { QVERIFY(WriteBytes(ReportFilePath(), "an earlier report\r\n")); }
    void cleanup() {
        QCOMPARE(ChildProcesses(), QList<int>());
        QFile::remove(ReportFilePath());
    }

    void cancelStopsASlowSave() {
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        dlg.show();
        dlg.AddPaths(m_slowFiles);
        const QString target = m_dir.filePath(QStringLiteral("saved.txt"));
        prompts.saveAnswers.enqueue(target);
        Watch watch;
        int rowsAddedMeanwhile = 0;
        WatchProgress(&dlg, &watch, [&](QProgressDialog* progress) {
            // The window still takes events: a drop of files adds rows during the build.
            dlg.AddPaths({m_slowFiles[0]});
            rowsAddedMeanwhile = dlg.FileList()->topLevelItemCount() - int(m_slowFiles.size());
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        });
        dlg.OnCommand(ID_SAVE_INFO);

        QVERIFY(watch.seen);
        QCOMPARE(watch.maximum, 30);
        QVERIFY2(watch.label.contains(QLatin1String(" of 30 files done\n")), qPrintable(watch.label));
        QVERIFY2(watch.label.endsWith(QLatin1String(".kqfake")), qPrintable(watch.label));
        QCOMPARE(rowsAddedMeanwhile, 1);
        QVERIFY(!dlg.IsBuilding());
        QCOMPARE(prompts.warnings.size(), 0);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(ReadBytes(ReportFilePath()), QByteArray("an earlier report\r\n"));
        QVERIFY(!dlg.findChild<QProgressDialog*>());
        // The window's process never loads the media library itself.
        QVERIFY(!MediaLibrary_IsLoaded());
    }

    void closingDuringABuildCancelsItFirst() {
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        dlg.show();
        dlg.AddPaths(m_slowFiles);
        Watch watch;
        WatchProgress(&dlg, &watch, [&](QProgressDialog*) { dlg.reject(); });
        dlg.OnCommand(ID_MAIL_INFO);
        QVERIFY(watch.seen);
        QCOMPARE(prompts.warnings.size(), 0);
        QCOMPARE(prompts.notices.size(), 0);
        QCOMPARE(ReadBytes(ReportFilePath()), QByteArray("an earlier report\r\n"));
        // The close goes ahead once the build has stopped.
        QTRY_VERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void shortBuildShowsNoProgress() {
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        dlg.AddPaths({FakeDataPath(QStringLiteral("two-audio.kqfake"))});
        const QString target = m_dir.filePath(QStringLiteral("quick.txt"));
        prompts.saveAnswers.enqueue(target);
        Watch watch;
        WatchProgress(&dlg, &watch, [](QProgressDialog*) {});
        dlg.OnCommand(ID_SAVE_INFO);
        QVERIFY(!watch.seen);
        QCOMPARE(prompts.warnings.size(), 0);
        QCOMPARE(ReadBytes(target), ReadBytes(ReportFilePath()));
        QCOMPARE(ReadBytes(target).count("<FileInfo>"), 1);
    }
};

QTEST_MAIN(TestBuildProgress)
#include "tst_build_progress.moc"
