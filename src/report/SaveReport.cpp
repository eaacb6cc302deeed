#include "SaveReport.h"

#include "AtomicFile.h"

#include <QFile>

namespace kq {

bool CopyReportFile(const QString& reportPath, const QString& target) {
    QFile source(reportPath);
    AtomicFile copy;
    if (!source.open(QIODevice::ReadOnly) || !copy.Open(target))
        return false;
    // In pieces: a report of many files is large.
    while (!source.atEnd()) {
        const QByteArray piece = source.read(1 << 16);
        if (piece.isEmpty() || !copy.Write(piece))
            return false;
    }
    return copy.Commit();
}

} // namespace kq
