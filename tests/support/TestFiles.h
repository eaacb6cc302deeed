#pragma once

// Whole-file reads and writes, and runs of a program, for test set-ups and checks.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>

namespace kqtest {

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file's content with bytes.
inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

struct ProgramRun {
    bool finished = false; // exited normally within the time allowed
    int exitCode = -1;
    QByteArray out, err;
};

// Runs program with arguments. environment holds "NAME=value" entries set on top of ours
// ("NAME=" removes NAME); input is written to standard input, which is then closed.
inline ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                             const QStringList& environment = {}, const QByteArray& input = {},
                             int timeoutMs = 60000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment) // "NAME=" removes NAME
        entry.endsWith(u'=') ? env.remove(entry.chopped(1))
                             : env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs))
        process.kill();
    process.waitForFinished(); // at once when it has already ended
    return {process.exitStatus() == QProcess::NormalExit, process.exitCode(),
            process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace kqtest
