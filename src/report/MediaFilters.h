#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kq {

// The file-type filters offered when adding media, in the order they are offered.
struct MediaFilter {
    QString title;        // e.g. "AVI files (*.avi)"
    QStringList patterns; // e.g. {"*.avi"}
};
QList<MediaFilter> MediaFileFilters();

// Extensions (lower case, without the dot) of the video and still-image filters.
QStringList MediaFileExtensions();

// True when the file name's extension, in any case, is one of MediaFileExtensions().
bool IsMediaFileName(const QString& fileName);

// Every media file below directory (recursively), as absolute names sorted by their bytes: a
// name that is not UTF-8 is found too. Symbolic links to directories are not followed, so a
// link cycle cannot trap the walk.
QList<QByteArray> CollectMediaFiles(const QByteArray& directory);

// True when path (a name's bytes) names a directory.
bool IsDirectory(const QByteArray& path);

} // namespace kq
