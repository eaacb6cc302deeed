#include "SaveReport.h"

#include "ReportBuilder.h"

#include <QFile>

bool CopyReportFile(const QString& reportPath, const QString& target) {
    QFile source(reportPath);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    return WriteFileAtomically(target, bytes);
}
