#include "ReportTool.h"
#include "platform/FileNames.h"
#include "platform/Utf8Locale.h"

#include <QCoreApplication>

using namespace kq;

int main(int argc, char* argv[]) {
    kq::platform::EnsureUtf8Locale();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kqmediareport"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KQ_VERSION));
    // Not QCoreApplication::arguments(): a file name that is not UTF-8 must keep its bytes.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << kq::platform::DecodeFileName(argv[i]);
    return RunReportTool(arguments, stdout, stderr);
}
