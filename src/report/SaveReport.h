#pragma once

#include <QString>

namespace kq {

// Copies the report file to target, replacing what is there, through a temporary file in the
// target's folder and a rename: a failure never leaves half a file at target.
bool CopyReportFile(const QString& reportPath, const QString& target);

} // namespace kq
