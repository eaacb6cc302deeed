#pragma once

#include "report/AnalysisPool.h"

#include <QByteArray>
#include <QFile>

namespace kq {

// The paths of a list file ("-": standard input), one per line or NUL-separated as
// `find -print0` writes them, read a piece at a time, each as the bytes written there. In lines, a
// trailing CR is dropped, so lists written on other systems work; empty entries are skipped.
class ListSource : public PathSource {
public:
    ListSource(const QString& name, char separator);
    bool IsOpen() const { return m_file.isOpen(); }
    QString ErrorString() const { return m_file.errorString(); }
    QString Failure() const override;
    bool Next(QByteArray* path) override;

private:
    QString m_name;
    QFile m_file;
    char m_separator;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    bool m_ended = false;
    bool m_failed = false;
};

} // namespace kq
