// kqmediaworker: analyses media files for the window and the report tool, one path at a time
// over its standard input and output, confined so that no file can hang, exhaust or expose
// the machine. Started by AnalyseFiles(); not meant to be run by hand. With --probe it only
// confines itself and tells which layers of its confinement this machine allows.

#include "media/MediaInfoHandle.h"
#include "platform/SocketIo.h"
#include "platform/Utf8Locale.h"
#include "platform/WorkerSandbox.h"
#include "report/AnalysisProtocol.h"
#include "report/AnalysisWorker.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <unistd.h>

using namespace kq;

using kq::platform::kWorkerReplyFd;

namespace {
// The builder names the file and the limit; nothing more can be done in here.
void OutOfMemory() {
    ::_exit(kq::platform::kWorkerExitOutOfMemory);
}

int SetupFailed(const QString& reason) {
    std::fprintf(stderr, "kqmediaworker: %s\n", reason.toUtf8().constData());
    return kq::platform::kWorkerExitSetupFailed;
}
} // namespace

int main(int argc, char** argv) {
    long long memoryLimit = 0;
    long long parent = 0;
    bool probe = false;
    QString library;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        if (argument == QLatin1String("--probe")) {
            probe = true;
            continue;
        }
        if (i + 1 >= argc)
            return SetupFailed(QStringLiteral("unknown argument %1").arg(argument));
        const char* value = argv[++i];
        if (argument == QLatin1String("--memory-limit"))
            memoryLimit = std::atoll(value);
        else if (argument == QLatin1String("--parent"))
            parent = std::atoll(value);
        else if (argument == QLatin1String("--library"))
            library = QString::fromUtf8(value);
        else
            return SetupFailed(QStringLiteral("unknown argument %1").arg(argument));
    }
    kq::platform::EnsureUtf8Locale();
    // Anything the library prints goes to standard error instead of into the replies.
    if (::dup2(STDOUT_FILENO, kWorkerReplyFd) < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return SetupFailed(QStringLiteral("cannot set up its output"));
    std::set_new_handler(OutOfMemory);
    QString error;
    QList<kq::platform::SandboxLayer> layers;
    kq::platform::FileProcessConfinement files;
    if (!kq::platform::ConfineAnalysisWorker(memoryLimit, parent, &layers, &files, &error))
        return SetupFailed(error);
    if (probe) {
        QByteArray text;
        bool all = true;
        for (const kq::platform::SandboxLayer& layer : layers) {
            text += QStringLiteral("%1: %2 (%3)\n")
                        .arg(layer.name,
                             layer.active ? QStringLiteral("active") : QStringLiteral("missing"),
                             layer.detail)
                        .toUtf8();
            all = all && layer.active;
        }
        kq::platform::SendFully(kWorkerReplyFd, text.constData(), text.size());
        ::_exit(all ? 0 : kq::platform::kWorkerExitLayersMissing);
    }
    if (!library.isEmpty())
        MediaLibrary_SetFileName(library);
    std::fflush(stderr);
    // _exit: nothing at exit may need more than the confinement allows.
    ::_exit(RunAnalysisWorker(STDIN_FILENO, kWorkerReplyFd, files));
}
