#pragma once

// The processes whose parent is this one, read from /proc: a run that left a worker
// behind (running or unreaped) shows up here.

#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace kqtest {

inline QList<int> ChildProcesses() {
    QList<int> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == ::getpid())
            children.append(pid);
    }
    return children;
}

} // namespace kqtest
