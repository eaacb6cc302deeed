// How a program tells that it is installed, and so keeps its report out of its own folder:
// the compiled-in bindir, or the installed layout found beside it under any prefix.

#include "report/ReportLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestInstallLocation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void markerNamesTheMetainfoFile();
    void reportDirectoryFor_data();
    void reportDirectoryFor();

private:
    QString Under(const QString& relative) const { return m_root.filePath(relative); }
    // Creates programDirectory and, when wanted, the marker of an installation beside it.
    bool MakeProgramDirectory(const QString& programDirectory, bool withMarker) const;

    QTemporaryDir m_root;
};

bool TestInstallLocation::MakeProgramDirectory(const QString& programDirectory,
                                               bool withMarker) const {
    if (!QDir().mkpath(Under(programDirectory)))
        return false;
    if (!withMarker)
        return true;
    const QString marker =
        QDir::cleanPath(Under(programDirectory) + QLatin1Char('/') + InstalledLayoutMarker());
    if (!QDir().mkpath(QFileInfo(marker).absolutePath()))
        return false;
    QFile file(marker);
    return file.open(QIODevice::WriteOnly) && file.write("<component/>\n") > 0;
}

void TestInstallLocation::initTestCase() {
    QVERIFY(m_root.isValid());
    QVERIFY(MakeProgramDirectory(QStringLiteral("usr/local/bin"), false));
    QVERIFY(MakeProgramDirectory(QStringLiteral("opt/kq/bin"), true));
    QVERIFY(MakeProgramDirectory(QStringLiteral("stage/usr/bin"), true));
    QVERIFY(MakeProgramDirectory(QStringLiteral("checkout/build/ci/bin"), false));
    QVERIFY(MakeProgramDirectory(QStringLiteral("portable"), false));
    QVERIFY(MakeProgramDirectory(QStringLiteral("plain/bin"), false));
    // A build tree that has a share folder of its own, but no installation in it.
    QVERIFY(QDir().mkpath(Under(QStringLiteral("checkout/build/ci/share/metainfo"))));
    // The marker's name taken by a folder: not an installation.
    QVERIFY(MakeProgramDirectory(QStringLiteral("odd/bin"), false));
    QVERIFY(QDir().mkpath(
        QDir::cleanPath(Under(QStringLiteral("odd/bin/")) + InstalledLayoutMarker())));
    // A link into an installation, and a link from beside an installation to a plain folder:
    // what counts is the folder the program really runs from.
    QVERIFY(QFile::link(Under(QStringLiteral("opt/kq/bin")), Under(QStringLiteral("kq-link"))));
    QVERIFY(QFile::link(Under(QStringLiteral("plain/bin")), Under(QStringLiteral("opt/kq/plain-link"))));
    QVERIFY(QDir().mkpath(Under(QStringLiteral("data"))));
}

void TestInstallLocation::markerNamesTheMetainfoFile() {
    const QString marker = InstalledLayoutMarker();
    QVERIFY2(QDir::isRelativePath(marker), qPrintable(marker));
    QVERIFY2(marker.startsWith(QLatin1String("../")), qPrintable(marker));
    QVERIFY2(marker.endsWith(QLatin1String("/metainfo/example.kqmedia.KQCheckMediaInfo.metainfo.xml")),
             qPrintable(marker));
}

void TestInstallLocation::reportDirectoryFor_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("installedBin");
    QTest::addColumn<QString>("expected");

    // Every program folder here is writable: only the installed rule keeps the report out.
    QTest::newRow("the compiled-in bindir")
        << "usr/local/bin" << "usr/local/bin" << "data/";
    QTest::newRow("installed under another prefix")
        << "opt/kq/bin" << "usr/local/bin" << "data/";
    QTest::newRow("installed under another prefix, with slash")
        << "opt/kq/bin/" << "usr/local/bin" << "data/";
    QTest::newRow("staged under DESTDIR")
        << "stage/usr/bin" << "usr/bin" << "data/";
    QTest::newRow("through a link into an installation")
        << "kq-link" << "usr/local/bin" << "data/";
    QTest::newRow("build tree")
        << "checkout/build/ci/bin" << "usr/local/bin" << "checkout/build/ci/bin/";
    QTest::newRow("portable folder")
        << "portable" << "usr/local/bin" << "portable/";
    QTest::newRow("marker name taken by a folder")
        << "odd/bin" << "usr/local/bin" << "odd/bin/";
    QTest::newRow("link beside an installation to a plain folder")
        << "opt/kq/plain-link" << "usr/local/bin" << "opt/kq/plain-link/";
}

void TestInstallLocation::reportDirectoryFor() {
    QFETCH(QString, program);
    QFETCH(QString, installedBin);
    QFETCH(QString, expected);
    QCOMPARE(ReportDirectoryFor(Under(program), Under(installedBin), Under("data")),
             Under(expected));
}

QTEST_GUILESS_MAIN(TestInstallLocation)
#include "tst_install_location.moc"
