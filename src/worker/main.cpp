// kqmediaworker: analyses media files for the window and the report tool, one path at a time
// over its standard input and output, confined so that no file can hang, exhaust or expose
// the machine. Started by AnalyseFiles(); not meant to be run by hand.

#include "media/MediaInfoHandle.h"
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

namespace {
// The builder names the file and the limit; nothing more can be done in here.
void OutOfMemory() { ::_exit(kWorkerExitOutOfMemory); }

int SetupFailed(const QString& reason) {
    std::fprintf(stderr, "kqmediaworker: %s\n", reason.toUtf8().constData());
    return kWorkerExitSetupFailed;
}
} // namespace

int main(int argc, char** argv) {
    long long memoryLimit = 0;
    long long parent = 0;
    QString library;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--memory-limit") == 0)
            memoryLimit = std::atoll(argv[i + 1]);
        else if (std::strcmp(argv[i], "--parent") == 0)
            parent = std::atoll(argv[i + 1]);
        else if (std::strcmp(argv[i], "--library") == 0)
            library = QString::fromUtf8(argv[i + 1]);
        else
            return SetupFailed(QStringLiteral("unknown argument %1").arg(QString::fromUtf8(argv[i])));
    }
    kq::platform::EnsureUtf8Locale();
    // Replies go to a copy of standard output; anything the library prints goes to
    // standard error instead of into the replies.
    const int replies = ::dup(STDOUT_FILENO);
    if (replies < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return SetupFailed(QStringLiteral("cannot set up its output"));
    std::set_new_handler(OutOfMemory);
    QString error;
    if (!kq::platform::ConfineAnalysisWorker(memoryLimit, parent, &error))
        return SetupFailed(error);
    if (!library.isEmpty())
        MediaLibrary_SetFileName(library);
    return RunAnalysisWorker(STDIN_FILENO, replies);
}
