#include "AnalysisWorker.h"

#include "AnalysisProtocol.h"
#include "ReportValues.h"
#include "media/MediaFileInfo.h"
#include "platform/FileNames.h"
#include "platform/FileProcess.h"
#include "platform/SocketIo.h"
#include "platform/WorkerExit.h"

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/wait.h>

// Resources are named outside any namespace.
static void InitSampleMedia() {
    Q_INIT_RESOURCE(sample_media);
}

namespace kq {

using kq::platform::ReadFully;
using kq::platform::SendFully;

namespace {

bool HasInput(int fd) {
    pollfd request{fd, POLLIN, 0};
    return ::poll(&request, 1, 0) == 1;
}

bool Send(int fd, const QByteArray& frame) {
    return SendFully(fd, frame.constData(), frame.size());
}

// The library takes a file's name as text, and cannot open a name that is not UTF-8: that
// file is handed to it as the descriptor's name in /proc (the report is the same whatever the
// name), and its report names it as a person reads it.
FileAnswer ReadNamedFile(CMediaFileInfo& info, const QByteArray& path) {
    const QString name = kq::platform::DecodeFileName(path);
    if (kq::platform::IsTextFileName(name))
        return ReadFileReport(info, name);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    FileAnswer report = ReadFileReport(info, QStringLiteral("/proc/self/fd/%1").arg(fd));
    if (report && !report->general.isEmpty())
        report->general[0] = kq::platform::DisplayFileName(name);
    return report;
}

// What a file's process printed goes on to standard error a line at a time, each marked as
// coming from that file's analysis, so that no parse can pass a line off as the program's own;
// control characters (a terminal's escapes among them) show as U+FFFD.
void PassOnOutput(const QByteArray& path, const QByteArray& output) {
    constexpr int kMaxLines = 64;
    const QString prefix =
        QStringLiteral("kqmediaworker: analysis of %1: ")
            .arg(kq::platform::DisplayFileName(kq::platform::DecodeFileName(path)));
    QByteArray text;
    int lines = 0;
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty() || ++lines > kMaxLines)
            continue;
        QString shown = prefix + kq::platform::DisplayFileName(kq::platform::DecodeFileName(line));
        for (QChar& c : shown)
            if (c.category() == QChar::Other_Control)
                c = QChar::ReplacementCharacter;
        text += shown.toUtf8() + '\n';
    }
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
}

// The worker's answer for one path: the answer of the process that parsed it, when that is
// well formed and it ended as it should; else how it ended. Nothing but a FileAnswer is taken
// from that process.
WorkerAnswer AnswerRequest(CMediaFileInfo& info, const QByteArray& path,
                           const kq::platform::FileProcessConfinement& confinement) {
    kq::platform::FileProcessEnd end;
    WorkerAnswer answer;
    if (!kq::platform::RunFileProcess(
            path.constData(), confinement, kMaxAnswerBytes, kq::platform::kWorkerExitSetupFailed,
            [&] { return FileAnswerPayload(ReadNamedFile(info, path)); }, &end)) {
        answer.kind = WorkerAnswer::NotStarted;
        answer.reason = QStringLiteral("no process could be started to parse it (%1)")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return answer;
    }
    PassOnOutput(path, end.output);
    if (end.overlong)
        answer.kind = WorkerAnswer::Broken;
    else if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0)
        answer = {WorkerAnswer::Ended, std::nullopt, end.status, {}};
    else if (ParseFileAnswer(end.answer, &answer.answer))
        answer.kind = WorkerAnswer::Answered;
    return answer;
}

} // namespace

void PrepareLibrary(CMediaFileInfo& info) {
    InitSampleMedia();
    info.LoadTables();
    QDirIterator samples(QStringLiteral(":/kq/samples"));
    while (samples.hasNext()) {
        QFile sample(samples.next());
        if (!sample.open(QIODevice::ReadOnly) || info.OpenBuffer(sample.readAll()) == 0)
            break; // a library that cannot take bytes will not take the others either
        ReadOpenFile(info);
    }
    ::malloc_trim(0);
}

int RunAnalysisWorker(int inputFd, int outputFd,
                      const kq::platform::FileProcessConfinement& confinement) {
    // The library is loaded and asked once, before any file: nothing that a file does can
    // change whether it is usable, or its version.
    CMediaFileInfo& info = CMediaFileInfo::GetInstance();
    WorkerGreeting greeting;
    greeting.problem = info.Problem();
    greeting.ready = greeting.problem.isEmpty();
    if (greeting.ready)
        greeting.libraryVersion = info.LibraryVersion();
    if (!Send(outputFd, FrameGreeting(greeting)))
        return 1;
    if (!greeting.ready)
        return 0;
    // What a parse may look up once is looked up here, where it can still be read.
    ::tzset();
    bool warm = false;
    for (;;) {
        char header[4];
        if (!ReadFully(inputFd, header, sizeof header))
            return 0; // the builder is done with us
        const qsizetype length = FrameLength(header);
        if (length < 0)
            return 1;
        QByteArray path(length, Qt::Uninitialized);
        if (!ReadFully(inputFd, path.data(), length))
            return 1;
        // Each file's process would load the library's tables anew; with more files to come
        // they are loaded here once, and the memory that held their text given back, so that
        // a file's process finds them and little else to copy.
        if (!warm && HasInput(inputFd)) {
            PrepareLibrary(info);
            warm = true;
        }
        if (!Send(outputFd, FrameAnswer(AnswerRequest(info, path, confinement))))
            return 1;
    }
}

} // namespace kq
