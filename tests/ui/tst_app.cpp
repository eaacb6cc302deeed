#include "ui/KQCheckMediaInfoApp.h"
#include "ui/KQCheckMediaInfoDlg.h"

#include <QTimer>
#include <QtTest>

// Runs the program's own application object, so it has a main of its own.
class TestApp : public QObject {
    Q_OBJECT
private slots:
    void closingTheWindowEndsTheRun_data();
    void closingTheWindowEndsTheRun();
    void applicationIsNamedAfterTheExecutable();
};

void TestApp::closingTheWindowEndsTheRun_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TestApp::closingTheWindowEndsTheRun() {
    QFETCH(int, key);
    auto* app = qobject_cast<CKQCheckMediaInfoApp*>(QCoreApplication::instance());
    QVERIFY(app);
    int seen = 0;
    QTimer closer;
    // Once the window runs, close it with the key, as a user would.
    connect(&closer, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<CKQCheckMediaInfoDlg*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible())
            return;
        ++seen;
        QTest::keyClick(dlg, Qt::Key(key));
    });
    closer.start(10);
    QCOMPARE(app->InitInstance(), 0);
    QCOMPARE(seen, 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestApp::applicationIsNamedAfterTheExecutable() {
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ui_app"));
}

int main(int argc, char** argv) {
    CKQCheckMediaInfoApp app(argc, argv);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
