#pragma once

#include <QString>

// The system call filters of the analysis (seccomp, through libseccomp), kept as tables of
// rules: the worker's allow-list, and what the process that parses one file takes away from
// it again. A call that a rule traps ends the process with kBlockedExitBase + the kind of
// attempt (WorkerExit.h); a call outside the list fails.
namespace kq::platform {

// The descriptor on which the process that parses a file answers its worker: besides
// standard output and error, the only one that a confined process may write to.
inline constexpr int kAnswerFd = 4;

// Loads the worker's filter, keepFd being its reply channel, and prepares the filter of the
// processes it will fork for files. False with a reason when it cannot be loaded.
bool InstallWorkerFilter(int keepFd, QString* error);

// In a process just forked from the worker: adds the filter of a file's process.
bool InstallFileFilter();

} // namespace kq::platform
