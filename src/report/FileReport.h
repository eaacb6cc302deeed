#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kq {

// What the report holds for one opened file: the values of each section in the order of its
// fields (MediaFields.h), one list per video and per audio stream.
struct FileReport {
    QStringList general;
    QList<QStringList> video;
    QList<QStringList> audio;

    bool operator==(const FileReport&) const = default;
};

// A path that is not in the report, and why.
struct LeftOutFile {
    QString path;
    QString reason;
};

} // namespace kq
