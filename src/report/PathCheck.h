#pragma once

#include <QByteArray>
#include <QString>

namespace kq {

// What identifies a file's content without reading it (as git's index and rsync do).
struct FileIdentity {
    QByteArray path; // the name's bytes, as the analysis opens it (absolute: runs share it)
    quint64 device = 0, inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0, changedNs = 0; // st_mtim and st_ctim, nanoseconds since the epoch

    bool operator==(const FileIdentity&) const = default;
};

// Why a path cannot be analysed before the library is asked ("missing", "not a regular
// file", "not readable", or what else the system says), or an empty string when it may be
// opened. Devices, pipes and directories are never handed to the library: reading them could
// block for ever. path is the name's bytes. When it may be opened, *identity (when given) is
// what the same look at the file found: one stat() serves both.
QString PathProblem(const QByteArray& path, FileIdentity* identity = nullptr);

} // namespace kq
