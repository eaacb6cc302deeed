#include "platform/MailClient.h"
#include "report/MailReport.h"
#include "report/SaveReport.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

using kqtest::ReadBytes;
using kqtest::WriteBytes;

using kq::platform::MailOutcome;

Q_DECLARE_METATYPE(MailOutcome)

namespace {
// A stand-in xdg-email that records its arguments, one per line, and then runs body.
void WriteFakeMailer(const QString& dir, const QByteArray& body, bool executable = true) {
    QFile script(dir + QStringLiteral("/xdg-email"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    script.write(body);
    script.write("\n");
    script.close();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        perms |= QFile::ExeOwner;
    QVERIFY(script.setPermissions(perms));
}

} // namespace

class TestMailClient : public QObject {
    Q_OBJECT

private:
    QByteArray m_savedPath;
    QTemporaryDir m_bin;

private slots:
    void init() {
        m_savedPath = qgetenv("PATH");
        QVERIFY(m_bin.isValid());
        // Only our stand-in may be found (the system may have a real xdg-email).
        QDir(m_bin.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_bin.path()));
        qputenv("PATH", m_bin.path().toUtf8());
    }
    void cleanup() { qputenv("PATH", m_savedPath); }

    void outcomes_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<MailOutcome>("expected");
        QTest::addColumn<QString>("message");
        QTest::newRow("success") << QByteArray("exit 0") << true << MailOutcome::Handed << QString();
        QTest::newRow("non-zero") << QByteArray("exit 3") << true << MailOutcome::Failed
                                  << QStringLiteral("传递邮件未能传递信息。");
        QTest::newRow("killed") << QByteArray("kill -9 $$") << true << MailOutcome::Failed
                                << QStringLiteral("传递邮件未能传递信息。");
        QTest::newRow("not executable") << QByteArray("exit 0") << false
                                        << MailOutcome::NotExecutable
                                        << QStringLiteral("邮件系统 DLL 无效。");
    }
    void outcomes() {
        QFETCH(QByteArray, body);
        QFETCH(bool, executable);
        QFETCH(MailOutcome, expected);
        QFETCH(QString, message);
        WriteFakeMailer(m_bin.path(), body, executable);
        const MailOutcome outcome = kq::platform::HandMailToClient(
            QStringLiteral("Subject"), QStringLiteral("/tmp/r.xml"), QStringLiteral("a@b.example"));
        QCOMPARE(outcome, expected);
        QCOMPARE(MailOutcomeText(outcome), message);
    }

    void missingMailer() {
        // A folder of that name is not a program either.
        QVERIFY(QDir(m_bin.path()).mkdir(QStringLiteral("xdg-email")));
        const MailOutcome outcome = kq::platform::HandMailToClient(
            QStringLiteral("S"), QStringLiteral("/tmp/r.xml"), QStringLiteral("a@b.example"));
        QCOMPARE(outcome, MailOutcome::NotFound);
        QCOMPARE(MailOutcomeText(outcome), QStringLiteral("无法装入邮件系统支援。"));
    }

    void argumentVector() {
        WriteFakeMailer(m_bin.path(), "exit 0");
        // Blanks, quotes and shell characters must arrive as they are: no shell in between.
        const QString report = m_bin.path() + QStringLiteral("/my report $(id) 'x'.xml");
        QCOMPARE(kq::platform::HandMailToClient(QString::fromUtf8(kMailSubject), report,
                                                QString::fromUtf8(kSupportAddress)),
                 MailOutcome::Handed);
        const QByteArray expected = "--subject\nReport of Media Infomation\n--attach\n" +
                                    report.toUtf8() + "\nsupport@kqmedia.example\n";
        QCOMPARE(ReadBytes(m_bin.path() + QStringLiteral("/xdg-email.args")), expected);
    }

    void workerReportsOnTheApplicationThread() {
        WriteFakeMailer(m_bin.path(), "/bin/sleep 1; exit 5");
        bool called = false;
        MailOutcome seen = MailOutcome::Handed;
        QThread* seenThread = nullptr;
        StartMailThread(QStringLiteral("/tmp/r.xml"), [&](MailOutcome outcome) {
            called = true;
            seen = outcome;
            seenThread = QThread::currentThread();
        });
        QVERIFY(!called); // returns at once, before the mailer has finished
        QTRY_VERIFY_WITH_TIMEOUT(called, 30000);
        QCOMPARE(seen, MailOutcome::Failed);
        QCOMPARE(seenThread, QCoreApplication::instance()->thread());
    }

    void copyReport_data() {
        QTest::addColumn<QString>("target"); // relative to a fresh temporary folder
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("expected");
        QTest::newRow("new file") << QStringLiteral("KQMediaInfo.txt") << false << true;
        QTest::newRow("no extension") << QStringLiteral("report") << false << true;
        QTest::newRow("overwrite") << QStringLiteral("old.txt") << true << true;
        QTest::newRow("missing folder") << QStringLiteral("nowhere/KQMediaInfo.txt") << false
                                        << false;
        QTest::newRow("under a file") << QStringLiteral("plain/KQMediaInfo.txt") << false << false;
    }
    void copyReport() {
        QFETCH(QString, target);
        QFETCH(bool, targetExists);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray report = "<AllFileInfo />\r\n";
        const QString source = dir.filePath(QStringLiteral("MediaFileInfo.xml"));
        QVERIFY(WriteBytes(source, report));
        QVERIFY(WriteBytes(dir.filePath(QStringLiteral("plain")), "x"));
        const QString path = dir.filePath(target);
        if (targetExists)
            QVERIFY(WriteBytes(path, "an older, longer text that must disappear"));
        QCOMPARE(CopyReportFile(source, path), expected);
        if (expected)
            QCOMPARE(ReadBytes(path), report);
        else
            QVERIFY(!QFileInfo::exists(path));
        // Nothing but the files we made is left in the folder (no temporary leftovers).
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 expected || targetExists ? 3 : 2);
    }

    void copyToPipeKeepsThePipe() {
        // A device or pipe named as target is written into, not replaced by a plain file.
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("MediaFileInfo.xml"));
        const QByteArray report = "<AllFileInfo />\r\n";
        QVERIFY(WriteBytes(source, report));
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QByteArray received;
        std::thread reader([&] {
            QFile in(fifo);
            if (in.open(QIODevice::ReadOnly))
                received = in.readAll();
        });
        // A second name for the pipe lets the test release the reader even when the copy went
        // wrong and replaced the first name.
        const QByteArray spare = QFile::encodeName(dir.filePath(QStringLiteral("spare")));
        QCOMPARE(::link(QFile::encodeName(fifo).constData(), spare.constData()), 0);
        const bool copied = CopyReportFile(source, fifo);
        if (const int fd = ::open(spare.constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
            ::close(fd);
        reader.join();
        QVERIFY(copied);
        QCOMPARE(received, report);
        QVERIFY(!QFileInfo(fifo).isFile());
        QVERIFY(QFileInfo::exists(fifo));
    }

    void copyWithoutReportFails() {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(!CopyReportFile(dir.filePath(QStringLiteral("absent.xml")), target));
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestMailClient)
#include "tst_mailclient.moc"
