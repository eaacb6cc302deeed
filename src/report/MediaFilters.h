#pragma once

#include <QString>
#include <QStringList>

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

// Every media file below directory (recursively), as absolute paths in sorted path order.
// Symbolic links to directories are not followed, so a link cycle cannot trap the walk.
QStringList CollectMediaFiles(const QString& directory);
