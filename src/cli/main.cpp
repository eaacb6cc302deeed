#include "ReportTool.h"
#include "platform/Utf8Locale.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    kq::platform::EnsureUtf8Locale();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kqmediareport"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KQ_VERSION));
    return RunReportTool(QCoreApplication::arguments(), stdout, stderr);
}
