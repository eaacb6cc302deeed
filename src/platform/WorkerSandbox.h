#pragma once

#include "ConfinementPolicy.h"
#include "WorkerExit.h"

#include <QList>
#include <QString>

#include <sys/types.h>

namespace kq::platform {

// One layer of the worker's confinement, and whether this machine let it be set up.
struct SandboxLayer {
    QString name;
    bool active = false;
    QString detail; // what it holds to, or why it is missing
};

// Confines the calling process before it loads the media library, so that no file can make it
// take the machine, reach out or touch anything outside it:
//  - resource limits: at most addressSpaceBytes of address space (0: unlimited), no core
//    files; the process is killed when parentPid (its spawning parent) goes away;
//  - descriptors: every inherited one but standard input, output, error and kWorkerReplyFd is
//    closed;
//  - a network namespace of its own, where the kernel allows one (no network, no abstract
//    sockets such as the X server's);
//  - a read-only file system (Landlock): nothing can be created, written, renamed or removed,
//    no program run, and nothing under /proc read;
//  - the worker's column of the system call policy (ConfinementPolicy.cpp).
// files receives what the processes it forks for files confine themselves with. Returns false
// with a reason when a layer that every kernel has cannot be set up. A layer that this kernel
// lacks is reported in layers as missing; the others still hold.
bool ConfineAnalysisWorker(long long addressSpaceBytes, long long parentPid,
                           QList<SandboxLayer>* layers, FileProcessConfinement* files,
                           QString* error);

// Confines a process just forked from a confined worker to the parse of the one file at path:
// it can open and read that file and nothing else (where the read-only file system layer
// holds), can start no process, and is killed when worker goes: the file process's column of
// the policy. False when it cannot be.
bool ConfineToFile(const char* path, pid_t worker, const FileProcessConfinement& confinement);

} // namespace kq::platform
