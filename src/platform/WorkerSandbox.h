#pragma once

#include <QString>

namespace kq::platform {

// Confines the calling process before it loads the media library, so that no file can make
// it take the machine or reach out:
//  - at most addressSpaceBytes of address space (0: unlimited); no core files;
//  - no sockets but local (AF_UNIX) ones and no io_uring: an attempt ends the process with
//    SIGSYS, which tells its parent what happened;
//  - the process is killed when parentPid (its spawning parent) goes away.
// Returns false with a reason when a confinement cannot be set up.
bool ConfineAnalysisWorker(long long addressSpaceBytes, long long parentPid, QString* error);

} // namespace kq::platform
