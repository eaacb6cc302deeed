#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include <linux/filter.h>
#include <linux/types.h>

// What the analysis worker and each process that parses one file may do: the system calls of
// both (one table, ConfinementPolicy.cpp, a row per call or group of calls with what each
// process gets and why), the descriptors a file's process keeps and the Landlock rights it
// restricts. A call that a row stops ends the process with kBlockedExitBase + the kind of
// attempt (WorkerExit.h); a call that is in no row fails.
namespace kq::platform {

// The worker's replies go out on this copy of its standard output; a file's process answers
// the worker on kFileAnswerFd. A file's process keeps kFileProcessDescriptors and nothing else
// (its standard output and error are a pipe to the worker, never the worker's own).
inline constexpr int kWorkerReplyFd = 3;
inline constexpr int kFileAnswerFd = 4;
inline constexpr int kFileProcessDescriptors[] = {1, 2, kFileAnswerFd};

// The Landlock rights that the worker's read-only file system handles, for a kernel of Landlock
// ABI abi: reading, running, and every way of changing the file system. A file's process
// handles the same rights and is granted one of them, LANDLOCK_ACCESS_FS_READ_FILE, beneath its
// one file.
__u64 HandledFileSystemRights(long abi);

// What a file's process confines itself with, made once in the worker: its system call filter
// (compiled to BPF; the process's own number is patched in after the fork), and the Landlock
// rights its layer handles (0 where the worker has no Landlock layer to narrow).
struct FileProcessConfinement {
    std::vector<sock_filter> filter;
    __u64 handledRights = 0;
};

// Loads the worker's filter and makes the filter of the processes it will fork for files.
// False with a reason when it cannot be loaded.
bool InstallWorkerFilter(FileProcessConfinement* files, QString* error);

// In a process just forked from the worker: adds the filter of a file's process.
bool InstallFileProcessFilter(const FileProcessConfinement& confinement);

// Call names of the table that this architecture's libseccomp does not know, but for those
// that their row says this architecture lacks: a misspelt name would otherwise be skipped.
QStringList UnknownSystemCalls();

} // namespace kq::platform
