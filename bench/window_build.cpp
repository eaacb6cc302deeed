// How much the window's memory grows while it builds and saves the report of many rows: the
// list is filled with the given files over and over, then Save Info runs to /dev/null. Prints
// the rows, the resident memory before the build and the peak after it, in KiB.
//
//   kq_bench_window_build ROWS FILE...

#include "ui/KQCheckMediaInfoDlg.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>

#include <cstdio>

using namespace kq;

namespace {
long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Answers the Save As dialog with /dev/null and lets everything else pass.
class SaveToNull : public IPrompts {
public:
    QStringList GetOpenFileNames(QWidget*, const QStringList&) override { return {}; }
    QString GetSaveFileName(QWidget*, const QString&, const QString&) override {
        return QStringLiteral("/dev/null");
    }
    void ShowWarning(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void ShowNotice(QWidget*, const QString&, const QString&) override {}
    void ShowLeftOut(QWidget*, const QString&, const QList<LeftOutFile>&) override {}
    void Beep() override {}
};
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROWS FILE...\n", argv[0]);
        return 2;
    }
    const long rows = std::atol(argv[1]);
    QStringList files, paths;
    for (int i = 2; i < argc; ++i)
        files << QFile::decodeName(argv[i]);
    for (long i = 0; i < rows; ++i)
        paths << files[i % files.size()];
    SaveToNull prompts;
    CKQCheckMediaInfoDlg dlg(&prompts);
    dlg.AddPaths(paths);
    paths.clear();
    const long before = StatusKiB("VmRSS:");
    QEventLoop built;
    QObject::connect(&dlg, &CKQCheckMediaInfoDlg::BuildFinished, &built, &QEventLoop::quit);
    dlg.OnCommand(ID_SAVE_INFO);
    if (dlg.IsBuilding())
        built.exec();
    std::printf("%ld %ld %ld\n", rows, before, StatusKiB("VmHWM:"));
    return 0;
}
