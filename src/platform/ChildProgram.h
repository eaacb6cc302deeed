#pragma once

#include <QString>
#include <QStringList>

namespace kq::platform {

struct ChildRun {
    bool started = false; // the program could be executed
    int status = 0;       // its wait status once it has ended, when started
};

// Runs program (a path) with arguments from an argument vector, never through a shell, with
// our environment and standard streams, and waits for it to end. Blocks: call it off the
// user-interface thread.
ChildRun RunChildProgram(const QString& program, const QStringList& arguments);

// The first executable file named name in the directories of PATH, as the shell finds it;
// empty if none, with *foundButNotExecutable telling whether a file of that name was there.
QString FindOnPath(const QString& name, bool* foundButNotExecutable);

} // namespace kq::platform
