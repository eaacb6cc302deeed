#include "WorkerProgram.h"

#include "ReportLocation.h"
#include "media/MediaInfoHandle.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <unistd.h>

namespace kq {

#ifndef KQ_WORKER_INSTALL_RELATIVE_DIR
#define KQ_WORKER_INSTALL_RELATIVE_DIR "../libexec/KQCheckMediaInfo"
#endif

namespace {
constexpr char kWorkerName[] = "kqmediaworker";
} // namespace

QString AnalysisWorkerProgram() {
    const QByteArray fromEnvironment = qgetenv("KQ_MEDIA_WORKER");
    if (!fromEnvironment.isEmpty())
        return QFile::decodeName(fromEnvironment);
    const QString beside = GetProgramDirectory() + QLatin1String(kWorkerName);
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QFileInfo(GetProgramDirectory() + QLatin1String(KQ_WORKER_INSTALL_RELATIVE_DIR "/") +
                     QLatin1String(kWorkerName))
        .absoluteFilePath();
}

QString WorkerProgram(const AnalysisOptions& options) {
    return options.workerProgram.isEmpty() ? AnalysisWorkerProgram() : options.workerProgram;
}

QStringList WorkerArguments(const AnalysisOptions& options) {
    const QString library =
        options.libraryFile.isEmpty() ? MediaLibrary_FileName() : options.libraryFile;
    return {
        QStringLiteral("--parent"),       QString::number(::getpid()),
        QStringLiteral("--memory-limit"), QString::number(std::max(0LL, options.memoryLimitBytes)),
        QStringLiteral("--library"),      library};
}

} // namespace kq
