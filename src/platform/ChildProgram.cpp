#include "ChildProgram.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <unistd.h>

namespace kq::platform {

namespace {
// The programs still running. Held here, and never destroyed with anything else, because
// QProcess's destructor kills its program: one still going when we end (a mail client, a
// browser) goes on.
QSet<QProcess*>& Running() {
    static auto* running = new QSet<QProcess*>;
    return *running;
}

void Ended(QProcess* process, const std::function<void(ChildEnd)>& ended, ChildEnd end) {
    Running().remove(process);
    process->deleteLater();
    ended(end);
}
} // namespace

void StartChildProgram(const QString& program, const QStringList& arguments,
                       std::function<void(ChildEnd)> ended) {
    auto* process = new QProcess;
    Running().insert(process);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, ended](QProcess::ProcessError error) {
                         // A crash is told by finished().
                         if (error == QProcess::FailedToStart)
                             Ended(process, ended, {});
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, ended](int exitCode, QProcess::ExitStatus status) {
                         Ended(process, ended, {true, status == QProcess::NormalExit, exitCode});
                     });
    process->start(program, arguments);
}

QString FindOnPath(const QString& name, bool* foundButNotExecutable) {
    // As the shell searches: an unset PATH is the system's default path, an empty entry the
    // current directory, and an entry that cannot be executed is passed over.
    QByteArray path = qgetenv("PATH");
    if (!qEnvironmentVariableIsSet("PATH")) {
        path.resize(static_cast<qsizetype>(::confstr(_CS_PATH, nullptr, 0)));
        path.resize(static_cast<qsizetype>(::confstr(_CS_PATH, path.data(), path.size())) - 1);
    }
    *foundButNotExecutable = false;
    for (const QString& dir : QFile::decodeName(path).split(QLatin1Char(':'))) {
        const QFileInfo candidate((dir.isEmpty() ? QStringLiteral(".") : dir) + QLatin1Char('/') +
                                  name);
        if (!candidate.exists() || candidate.isDir())
            continue;
        if (::access(QFile::encodeName(candidate.filePath()).constData(), X_OK) == 0)
            return candidate.absoluteFilePath();
        *foundButNotExecutable = true;
    }
    return QString();
}

} // namespace kq::platform
