#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace kq::platform {

// A helper process whose standard input and output are one local stream socket to us.
struct WorkerProcess {
    pid_t pid = -1;
    int socket = -1; // our end, close-on-exec
};

// Starts program with arguments (no shell), inheriting the environment and standard error.
// Returns false with a reason when it cannot be started.
bool StartWorkerProcess(const QString& program, const QStringList& arguments, WorkerProcess* worker,
                        QString* error);

// Closes our end (a worker ends when its input does), gives the process up to graceMs to
// end by itself, then kills it; reaps it. Returns the wait status.
int EndWorkerProcess(WorkerProcess* worker, int graceMs);

} // namespace kq::platform
