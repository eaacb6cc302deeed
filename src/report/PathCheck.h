#pragma once

#include <QByteArray>
#include <QString>

namespace kq {

// Why a path cannot be analysed before the library is asked ("missing", "not a regular
// file", "not readable", or what else the system says), or an empty string when it may be
// opened. Devices, pipes and directories are never handed to the library: reading them could
// block for ever. path is the name's bytes.
QString PathProblem(const QByteArray& path);

} // namespace kq
