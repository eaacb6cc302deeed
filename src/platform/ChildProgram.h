#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kq::platform {

// How a child program ended: whether it could be started at all, and if so whether it
// exited (rather than being killed) and with which status.
struct ChildEnd {
    bool started = false;
    bool exited = false;
    int exitCode = 0;
};

// Starts program (a path) with arguments from an argument vector, never through a shell, with
// our environment and standard streams, and returns at once; ended runs on this thread's event
// loop when the program ends or cannot be started. Nothing waits for the program or ends it:
// one still running when we exit (a mail client, a browser) goes on.
void StartChildProgram(const QString& program, const QStringList& arguments,
                       std::function<void(ChildEnd)> ended);

// The first executable file named name in the directories of PATH, as the shell finds it;
// empty if none, with *foundButNotExecutable telling whether a file of that name was there.
QString FindOnPath(const QString& name, bool* foundButNotExecutable);

} // namespace kq::platform
