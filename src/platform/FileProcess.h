#pragma once

#include "ConfinementPolicy.h"

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

// Forks a process that confines itself to the file at path (ConfineToFile, with confinement),
// keeps kFileProcessDescriptors only, runs analyse there and answers what it returns on
// kFileAnswerFd. Reads at most maxAnswer bytes of that answer and waits for the process to
// end; a process that cannot be confined exits with setupFailed. False (errno set) when no
// process could be started.
bool RunFileProcess(const char* path, const FileProcessConfinement& confinement,
                    qsizetype maxAnswer, int setupFailed,
                    const std::function<QByteArray()>& analyse, FileProcessEnd* end);

} // namespace kq::platform
