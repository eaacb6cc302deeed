#pragma once

#include <QByteArray>

#include <functional>

namespace kq::platform {

// How much of what a file's process prints is kept.
inline constexpr qsizetype kMaxFileOutput = 8192;

// How a file's process ended: its wait status, what it answered, and what it printed.
struct FileProcessEnd {
    int status = 0;
    QByteArray answer;
    bool overlong = false; // it tried to answer more than the limit; the rest was not read
    QByteArray output;     // its standard output and error, the first kMaxFileOutput bytes
};

// Forks a process that confines itself to the file at path (ConfineToFile), keeps no
// descriptor but kAnswerFd and standard output and error (a pipe of their own, never the
// worker's), runs analyse there and answers what it returns on kAnswerFd. Reads at most
// maxAnswer bytes of that answer and waits for the process to end; a process that cannot be
// confined exits with setupFailed. False (errno set) when no process could be started.
bool RunFileProcess(const char* path, qsizetype maxAnswer, int setupFailed,
                    const std::function<QByteArray()>& analyse, FileProcessEnd* end);

} // namespace kq::platform
