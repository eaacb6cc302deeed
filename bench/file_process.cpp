// What a process per file costs inside a worker. A process confines itself and prepares the
// library as a worker does, then reads the same files three ways, and prints each way's time
// per file:
//   one process   one forked process opens and asks every file in turn (the worker of old,
//                 which parsed all its files itself)
//   fork          a process is forked, ends at once and is waited for (nothing else)
//   file process  each file is parsed in a confined process of its own (RunFileProcess), as
//                 the worker does now
// The process that forks never parses a file itself, as in a worker.
//
//   kq_bench_file_process [--rounds N] FILE...

#include "media/MediaFileInfo.h"
#include "platform/FileProcess.h"
#include "platform/WorkerSandbox.h"
#include "report/AnalysisProtocol.h"
#include "report/AnalysisWorker.h"
#include "report/ReportValues.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

using namespace kq;

namespace {

void Wait(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    QList<QByteArray> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else
            files << QByteArray(argv[i]);
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: kq_bench_file_process [--rounds N] FILE...\n");
        return 2;
    }
    QList<kq::platform::SandboxLayer> layers;
    kq::platform::FileProcessConfinement confinement;
    QString error;
    if (!kq::platform::ConfineAnalysisWorker(2LL << 30, 0, &layers, &confinement, &error)) {
        std::fprintf(stderr, "cannot confine: %s\n", qPrintable(error));
        return 1;
    }
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    ::tzset();
    PrepareLibrary(info);
    const auto oneProcess = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            for (const QByteArray& file : files)
                ReadFileReport(info, QString::fromUtf8(file));
            ::_exit(0);
        }
        Wait(child);
    };
    const auto fork = [&] {
        for (qsizetype i = 0; i < files.size(); ++i) {
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(0);
            Wait(child);
        }
    };
    const auto fileProcess = [&] {
        for (const QByteArray& file : files) {
            kq::platform::FileProcessEnd end;
            kq::platform::RunFileProcess(
                file.constData(), confinement, kMaxAnswerBytes,
                kq::platform::kWorkerExitSetupFailed,
                [&] { return FileAnswerPayload(ReadFileReport(info, QString::fromUtf8(file))); },
                &end);
        }
    };
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"one process", oneProcess}, {"fork", fork}, {"file process", fileProcess}};
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, way] : ways) {
            QElapsedTimer clock;
            clock.start();
            way();
            std::printf("%-13s %.3f ms per file\n", name,
                        double(clock.nsecsElapsed()) / 1e6 / double(files.size()));
        }
    }
    return 0;
}
