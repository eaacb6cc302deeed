#pragma once

#include <QString>

// What the exit of an analysis worker, or of the process that parses one file, means: each
// status with a meaning of its own, and the words for how a process ended.
namespace kq::platform {

// Exit statuses that cross from the worker to the builder: a value, once given, keeps its
// meaning (do not renumber).
inline constexpr int kWorkerExitLayersMissing = 3; // --probe: some confinement is missing
inline constexpr int kWorkerExitSetupFailed = 70;  // it could not confine itself
inline constexpr int kWorkerExitOutOfMemory = 71;  // an allocation failed

// What a confined process tried when its system call filter stopped it; it then ends with
// the exit status kBlockedExitBase + the value, so the values must not be reordered.
enum class BlockedAttempt { Network = 0, Program = 1, Write = 2, OtherProcess = 3 };
inline constexpr int kBlockedAttempts = 4;
inline constexpr int kBlockedExitBase = 72;

// Why a file is left out when the process that parsed it ended with waitStatus instead of
// answering ("the media library crashed (SIGSEGV)", "blocked: the media library tried to use
// the network", "needs more memory than the limit of 2 GiB", ...).
QString DescribeEnd(int waitStatus, long long memoryLimitBytes);

} // namespace kq::platform
