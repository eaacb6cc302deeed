#pragma once

#include <QByteArray>

#include <functional>

namespace kq::platform {

// How a file's process ended: its wait status, and what it answered.
struct FileProcessEnd {
    int status = 0;
    QByteArray answer;
    bool overlong = false; // it tried to answer more than the limit; the rest was not read
};

// Forks a process that confines itself to the file at path (ConfineToFile), keeps no
// descriptor but standard output and error and kAnswerFd, runs analyse there and answers
// what it returns on kAnswerFd. Reads at most maxAnswer bytes of that answer and waits for
// the process to end; a process that cannot be confined exits with setupFailed. False (errno
// set) when no process could be started.
bool RunFileProcess(const char* path, qsizetype maxAnswer, int setupFailed,
                    const std::function<QByteArray()>& analyse, FileProcessEnd* end);

} // namespace kq::platform
