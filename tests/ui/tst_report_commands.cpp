// Save Info and Mail Info end to end: the real media library on the sample media, the report
// file beside this test, a stand-in xdg-email on PATH.
#include "FakePrompts.h"
#include "platform/MailClient.h"
#include "report/ReportLocation.h"
#include "TestFiles.h"
#include "ui/KQCheckMediaInfoDlg.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using kqtest::ReadBytes;
using kqtest::WriteBytes;

using kq::platform::MailOutcome;

namespace {

const QString kMediaDir = QStringLiteral(KQ_SOURCE_DIR "/tests/data/media");

// The report of these samples, put together from the one-file reports that the mediainfo
// command gave for each of them.
QByteArray ExpectedReport(const QStringList& names) {
    QByteArray report = "<AllFileInfo>\r\n";
    for (const QString& name : names) {
        QByteArray single = ReadBytes(QStringLiteral(KQ_SOURCE_DIR "/tests/data/expected/") + name +
                                    QStringLiteral(".xml"));
        single.replace("@MEDIA@", kMediaDir.toUtf8());
        const QByteArray head = "<AllFileInfo>\r\n", tail = "</AllFileInfo>\r\n";
        if (!single.startsWith(head) || !single.endsWith(tail))
            return QByteArray(); // a missing or malformed expected file fails the comparison
        report += single.mid(head.size(), single.size() - head.size() - tail.size());
    }
    return report + "</AllFileInfo>\r\n";
}

QStringList MediaPaths(const QStringList& names) {
    QStringList paths;
    for (const QString& name : names)
        paths.append(kMediaDir + QLatin1Char('/') + name);
    return paths;
}

} // namespace

class TestReportCommands : public QObject {
    Q_OBJECT

    QByteArray m_savedPath;
    QTemporaryDir m_bin;

    // A stand-in xdg-email that writes its arguments, one per line, and a copy of the file
    // it was given to attach, then runs body.
    void InstallMailer(const QByteArray& body, bool executable = true) {
        QFile script(m_bin.filePath(QStringLiteral("xdg-email")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n"
                     "/bin/cp \"$4\" \"$0.attached\"\n");
        script.write(body + "\n");
        script.close();
        QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            perms |= QFile::ExeOwner;
        QVERIFY(script.setPermissions(perms));
    }
    QString MailerFile(const char* suffix) const {
        return m_bin.filePath(QStringLiteral("xdg-email") + QLatin1String(suffix));
    }

private slots:
    void init() {
        m_savedPath = qgetenv("PATH");
        // Only the stand-in may be found: the machine may have a real xdg-email.
        const QStringList left = QDir(m_bin.path()).entryList(QDir::Files);
        for (const QString& name : left)
            QFile::remove(m_bin.filePath(name));
        qputenv("PATH", m_bin.path().toUtf8());
        QDir().rmdir(ReportFilePath());
    }
    void cleanup() {
        // A stand-in still waiting for its release (after a failed check) must not linger.
        WriteBytes(m_bin.filePath(QStringLiteral("release")), "");
        qputenv("PATH", m_savedPath);
        QDir().rmdir(ReportFilePath());
    }

    void saveWritesTheReportOfTheRowsInOrder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("existing");
        QTest::newRow("offered name") << QStringLiteral("KQMediaInfo.txt") << false;
        QTest::newRow("no extension") << QStringLiteral("report") << false;
        QTest::newRow("replaces a file") << QStringLiteral("old.txt") << true;
    }
    void saveWritesTheReportOfTheRowsInOrder() {
        QFETCH(QString, name);
        QFETCH(bool, existing);
        QTemporaryDir out;
        const QString target = out.filePath(name);
        if (existing)
            QVERIFY(WriteBytes(target, QByteArray(20000, 'x')));
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        const QStringList rows = {"multi.mkv", "sample.mp4", "notes.txt", "multi.mkv"};
        dlg.AddPaths(MediaPaths(rows));
        prompts.saveAnswers.enqueue(target);
        dlg.OnCommand(ID_SAVE_INFO);

        QCOMPARE(prompts.saveRequests.size(), 1);
        QCOMPARE(prompts.saveRequests[0].defaultName, QStringLiteral("KQMediaInfo.txt"));
        QCOMPARE(prompts.saveRequests[0].nameFilter, QStringLiteral("txt(*.txt)"));
        QCOMPARE(prompts.warnings.size(), 0);
        const QByteArray expected = ExpectedReport(rows);
        QCOMPARE(ReadBytes(target), expected);
        QCOMPARE(ReadBytes(ReportFilePath()), expected);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList({name}));
    }

    void cancellingSaveBuildsNothing() {
        const QByteArray earlier = "an earlier report\r\n";
        QVERIFY(WriteBytes(ReportFilePath(), earlier));
        FakePrompts prompts; // no answer queued: the Save As dialog is cancelled
        CKQCheckMediaInfoDlg dlg(&prompts);
        dlg.AddPaths(MediaPaths({"sample.mp4"}));
        dlg.OnCommand(ID_SAVE_INFO);
        QCOMPARE(prompts.saveDialogs, 1);
        QCOMPARE(prompts.warnings.size(), 0);
        QCOMPARE(ReadBytes(ReportFilePath()), earlier);
    }

    void saveFailures_data() {
        QTest::addColumn<QString>("target"); // relative to a fresh folder
        QTest::addColumn<bool>("reportWritable");
        QTest::newRow("missing folder") << QStringLiteral("gone/KQMediaInfo.txt") << true;
        QTest::newRow("under a file") << QStringLiteral("plain/KQMediaInfo.txt") << true;
        QTest::newRow("a folder") << QStringLiteral("folder") << true;
        // An older report must not be saved in place of the one that could not be written.
        QTest::newRow("report not written") << QStringLiteral("KQMediaInfo.txt") << false;
    }
    void saveFailures() {
        QFETCH(QString, target);
        QFETCH(bool, reportWritable);
        QTemporaryDir out;
        QVERIFY(WriteBytes(out.filePath(QStringLiteral("plain")), "x"));
        QVERIFY(QDir(out.path()).mkdir(QStringLiteral("folder")));
        const QStringList before = QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden);
        if (!reportWritable) {
            QFile::remove(ReportFilePath());
            // A folder in the report's place cannot be replaced by a file, not even by root.
            QVERIFY(QDir().mkdir(ReportFilePath()));
        }
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        dlg.AddPaths(MediaPaths({"sample.png"}));
        prompts.saveAnswers.enqueue(out.filePath(target));
        dlg.OnCommand(ID_SAVE_INFO);
        QCOMPARE(prompts.warnings.size(), 1);
        QCOMPARE(prompts.warnings[0].text, QStringLiteral("Save file failed."));
        QCOMPARE(prompts.warnings[0].caption, QCoreApplication::applicationName());
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    }

    void mailHandsTheWrittenReportToTheMailer() {
        InstallMailer("exit 0");
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        QSignalSpy finished(&dlg, &CKQCheckMediaInfoDlg::MailFinished);
        const QStringList rows = {"sample.ts", "a&b.mp4"};
        dlg.AddPaths(MediaPaths(rows));
        dlg.OnCommand(ID_MAIL_INFO);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0).at(0).toInt(), int(MailOutcome::Handed));
        QCOMPARE(prompts.warnings.size() + prompts.notices.size(), 0);
        const QByteArray args = "--subject\nReport of Media Infomation\n--attach\n" +
                                ReportFilePath().toUtf8() + "\nsupport@kqmedia.example\n";
        QCOMPARE(ReadBytes(MailerFile(".args")), args);
        QCOMPARE(ReadBytes(MailerFile(".attached")), ExpectedReport(rows));
    }

    void mailFailuresAreTold_data() {
        QTest::addColumn<QByteArray>("body"); // empty: no mailer at all
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("message");
        QTest::newRow("status 3") << QByteArray("exit 3") << true
                                  << QStringLiteral("传递邮件未能传递信息。");
        QTest::newRow("killed") << QByteArray("kill -9 $$") << true
                                << QStringLiteral("传递邮件未能传递信息。");
        QTest::newRow("not executable") << QByteArray("exit 0") << false
                                        << QStringLiteral("邮件系统 DLL 无效。");
        QTest::newRow("no mailer") << QByteArray() << true
                                   << QStringLiteral("无法装入邮件系统支援。");
    }
    void mailFailuresAreTold() {
        QFETCH(QByteArray, body);
        QFETCH(bool, executable);
        QFETCH(QString, message);
        if (!body.isEmpty())
            InstallMailer(body, executable);
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        QSignalSpy finished(&dlg, &CKQCheckMediaInfoDlg::MailFinished);
        dlg.AddPaths(MediaPaths({"sample.wav"}));
        dlg.OnCommand(ID_MAIL_INFO);
        QVERIFY(finished.wait(30000));
        QCOMPARE(prompts.warnings.size(), 0);
        QCOMPARE(prompts.notices.size(), 1);
        QCOMPARE(prompts.notices[0].text, message);
        QCOMPARE(prompts.notices[0].caption, QCoreApplication::applicationName());
    }

    void mailWithoutAWrittenReportStartsNoMail() {
        InstallMailer("exit 0");
        QFile::remove(ReportFilePath());
        QVERIFY(QDir().mkdir(ReportFilePath()));
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        QSignalSpy finished(&dlg, &CKQCheckMediaInfoDlg::MailFinished);
        dlg.AddPaths(MediaPaths({"sample.wav"}));
        dlg.OnCommand(ID_MAIL_INFO);
        QCOMPARE(prompts.warnings.size(), 1);
        QCOMPARE(prompts.warnings[0].text, QStringLiteral("传递邮件未能传递信息。"));
        QCOMPARE(finished.size(), 0);
        QVERIFY(!QFileInfo::exists(MailerFile(".args")));
    }

    void windowKeepsWorkingWhileTheMailerWaits() {
        // The mailer holds on until the test lets it go, so the window is shown to work
        // while the hand-off is still pending.
        const QString release = m_bin.filePath(QStringLiteral("release"));
        InstallMailer("while [ ! -e '" + release.toUtf8() + "' ]; do /bin/sleep 0.1; done");
        FakePrompts prompts;
        CKQCheckMediaInfoDlg dlg(&prompts);
        QSignalSpy finished(&dlg, &CKQCheckMediaInfoDlg::MailFinished);
        dlg.AddPaths(MediaPaths({"sample.mp3"}));
        dlg.OnCommand(ID_MAIL_INFO);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(MailerFile(".args")), 30000);

        dlg.AddPaths(MediaPaths({"sample.png"}));
        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("KQMediaInfo.txt"));
        prompts.saveAnswers.enqueue(target);
        dlg.OnCommand(ID_SAVE_INFO);
        QCOMPARE(ReadBytes(target), ExpectedReport({"sample.mp3", "sample.png"}));
        QCOMPARE(finished.size(), 0);

        QVERIFY(WriteBytes(release, ""));
        QVERIFY(finished.wait(30000));
        QCOMPARE(prompts.warnings.size() + prompts.notices.size(), 0);
    }
};

QTEST_MAIN(TestReportCommands)
#include "tst_report_commands.moc"
