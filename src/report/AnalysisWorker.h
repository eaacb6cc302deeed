#pragma once

#include "platform/ConfinementPolicy.h"

namespace kq {

// The analysis worker's loop, in a confined worker: says whether the media library can be
// used, then reads requests from inputFd and parses each path in a process of its own that
// can read that file only (RunFileProcess), checks that process's answer and writes the
// answer to outputFd, until its input ends. Returns the exit status for the process.
int RunAnalysisWorker(int inputFd, int outputFd,
                      const kq::platform::FileProcessConfinement& confinement);

class CMediaFileInfo;

// Has the library load, once in the worker, what it otherwise loads in every file's process:
// its tables, and what parsing the sample media of the common kinds (held in the program)
// brings in; then gives the memory that this took back.
void PrepareLibrary(CMediaFileInfo& info);

} // namespace kq
