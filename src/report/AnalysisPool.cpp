#include "AnalysisPool.h"

#include "AnalysisProtocol.h"
#include "PathCheck.h"
#include "platform/SocketIo.h"
#include "platform/WorkerExit.h"
#include "platform/WorkerProcess.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using kq::platform::WorkerProcess;

namespace {

constexpr int kGraceMs = 2000;
constexpr qint64 kProgressIntervalMs = 40;
// Requests a worker holds at once: the next path is already waiting in its socket when it
// finishes one, so it never idles until we get round to answering.
constexpr std::size_t kPipelineDepth = 2;
// How far reading runs ahead of the oldest file not yet handed on, in paths and in the bytes
// of the analyses that wait behind it (a worker's replies may be large).
constexpr std::size_t kWindow = 4096;
constexpr qint64 kHeldBytes = 16 << 20;

struct Slot {
    WorkerProcess process;
    std::deque<qint64> inFlight; // paths sent, by index, in the order the worker answers them
    qint64 deadline = 0;         // for the first of them
    QByteArray buffer;
    bool ready = false; // the worker has said that its library can be used
};

// A path of the run from the moment it is read until its analysis is handed on.
struct Entry {
    QString path;
    FileAnalysis analysis;
    bool done = false;
    qint64 held = 0; // HeldBytes(analysis), once done
};

// About what an analysis occupies: its texts and the strings that hold them.
qint64 HeldBytes(const FileAnalysis& analysis) {
    qint64 bytes = analysis.reason.size() * 2;
    const auto add = [&bytes](const QStringList& values) {
        for (const QString& value : values)
            bytes += value.size() * 2 + qint64(sizeof(QString));
    };
    if (const std::optional<FileReport>& report = analysis.report) {
        add(report->general);
        std::for_each(report->video.begin(), report->video.end(), add);
        std::for_each(report->audio.begin(), report->audio.end(), add);
    }
    return bytes;
}

class Run {
public:
    Run(PathSource& source, const AnalysisOptions& options, const AnalysisSink& sink,
        const AnalysisProgressCallback& progress)
        : m_source(source), m_options(options), m_sink(sink), m_progress(progress),
          m_program(WorkerProgram(options)), m_arguments(WorkerArguments(options)) {
        const int cores = std::max(1, QThread::idealThreadCount());
        m_slots.resize(static_cast<std::size_t>(m_options.workers > 0 ? m_options.workers : cores));
    }

    AnalysisRun Execute() {
        m_clock.start();
        for (;;) {
            Read();
            if (!HandOn())
                return Finish();
            if (m_exhausted && m_window.empty())
                break;
            if (!Dispatch() || !Wait() || !Report())
                return Finish();
        }
        Report(true);
        return Finish();
    }

private:
    // Reads paths while workers could use more, as far as the window reaches: what waits
    // behind a slow file is bounded, so memory does not grow with the number of files.
    void Read() {
        const std::size_t wanted = m_slots.size() * kPipelineDepth;
        while (!m_exhausted && m_queue.size() < wanted && m_window.size() < kWindow &&
               m_held < kHeldBytes) {
            QString path;
            if (!m_source.Next(&path)) {
                m_exhausted = true;
                break;
            }
            const qint64 index = m_read++;
            m_window.push_back({path, {}, false});
            if (QString problem = PathProblem(path); !problem.isEmpty())
                Finished(index, {std::nullopt, problem});
            else if (!m_result.libraryProblem.isEmpty())
                Finished(index, {std::nullopt, m_result.libraryProblem, true});
            else
                m_queue.push_back(index);
        }
    }

    Entry& At(qint64 index) { return m_window[static_cast<std::size_t>(index - m_handedOn)]; }

    void Finished(qint64 index, FileAnalysis analysis) {
        Entry& entry = At(index);
        entry.analysis = std::move(analysis);
        entry.done = true;
        entry.held = HeldBytes(entry.analysis);
        m_held += entry.held;
        ++m_done;
    }

    // Hands on the analyses in input order, as soon as every earlier one is done.
    bool HandOn() {
        for (; !m_window.empty() && m_window.front().done; ++m_handedOn) {
            Entry& entry = m_window.front();
            if (!m_sink(entry.path, entry.analysis)) {
                Fail(QString());
                return false;
            }
            m_held -= entry.held;
            m_window.pop_front();
        }
        return true;
    }

    void Fail(const QString& failure) {
        m_result.status = AnalysisStatus::Failed;
        m_result.failure = failure;
    }

    // Gives each worker a path before any gets a second, so that a run starts no more workers
    // than it has paths and a few files are spread over all of them.
    bool Dispatch() {
        for (std::size_t depth = 1; depth <= kPipelineDepth; ++depth) {
            for (Slot& slot : m_slots) {
                if (slot.inFlight.size() >= depth || m_queue.empty())
                    continue;
                if (slot.process.pid < 0) {
                    QString error;
                    if (!kq::platform::StartWorkerProcess(m_program, m_arguments, &slot.process,
                                                          &error)) {
                        Fail(QStringLiteral("cannot start the analysis worker %1: %2")
                                 .arg(m_program, error));
                        return false;
                    }
                    slot.buffer.clear();
                    slot.ready = false;
                }
                const qint64 index = m_queue.front();
                m_queue.pop_front();
                if (slot.inFlight.empty())
                    slot.deadline = m_clock.elapsed() + m_options.timeoutMs;
                slot.inFlight.push_back(index);
                // A worker that died before reading is noticed as its socket ends.
                const QByteArray request = FrameRequest(At(index).path);
                kq::platform::SendFully(slot.process.socket, request.constData(), request.size());
            }
        }
        return true;
    }

    // Waits for replies, ends and timeouts; false when the run cannot go on.
    bool Wait() {
        std::vector<pollfd> fds;
        std::vector<Slot*> owners;
        qint64 wait = -1;
        const qint64 now = m_clock.elapsed();
        for (Slot& slot : m_slots) {
            if (slot.inFlight.empty())
                continue;
            fds.push_back({slot.process.socket, POLLIN, 0});
            owners.push_back(&slot);
            const qint64 left = std::max<qint64>(0, slot.deadline - now);
            wait = wait < 0 ? left : std::min(wait, left);
        }
        if (m_progress)
            wait = wait < 0 ? kProgressIntervalMs : std::min(wait, kProgressIntervalMs);
        if (fds.empty() && wait < 0)
            return true;
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait));
        if (ready < 0 && errno != EINTR) {
            Fail(QStringLiteral("waiting for the analysis workers: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents != 0 && !Receive(*owners[i]))
                return false;
        }
        const qint64 later = m_clock.elapsed();
        for (Slot& slot : m_slots) {
            if (!slot.inFlight.empty() && later >= slot.deadline) {
                kq::platform::EndWorkerProcess(&slot.process, 0);
                Complete(slot,
                         {std::nullopt, QStringLiteral("took longer than the time limit of %1 s")
                                            .arg(m_options.timeoutMs / 1000.0)});
            }
        }
        return true;
    }

    bool Receive(Slot& slot) {
        char chunk[16384];
        const ssize_t n = ::read(slot.process.socket, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n <= 0) {
            const int status = kq::platform::EndWorkerProcess(&slot.process, kGraceMs);
            if (WIFEXITED(status) && WEXITSTATUS(status) == kq::platform::kWorkerExitSetupFailed) {
                Fail(QStringLiteral("the analysis worker %1 could not set up its limits")
                         .arg(m_program));
                return false;
            }
            Complete(slot,
                     {std::nullopt, kq::platform::DescribeEnd(status, m_options.memoryLimitBytes)});
            return true;
        }
        slot.buffer.append(chunk, n);
        for (;;) {
            QByteArray payload;
            const FrameState state = TakeFrame(&slot.buffer, &payload);
            if (state == FrameState::Incomplete)
                return true;
            WorkerReply reply;
            const bool parsed = state == FrameState::Complete && ParseReply(payload, &reply);
            // A worker first says whether its library can be used, then answers each path.
            const bool greeting =
                reply.kind == WorkerReply::Ready || reply.kind == WorkerReply::Unusable;
            if (!parsed || greeting == slot.ready || (!greeting && slot.inFlight.empty())) {
                kq::platform::EndWorkerProcess(&slot.process, 0);
                if (!slot.inFlight.empty())
                    Complete(slot, {std::nullopt,
                                    QStringLiteral("the analysis worker sent a broken reply")});
                return true;
            }
            slot.ready = true;
            Take(slot, reply);
        }
    }

    // A well-formed reply in its place: the greeting, or the answer for the first path held.
    void Take(Slot& slot, WorkerReply& reply) {
        switch (reply.kind) {
        case WorkerReply::Ready:
            break;
        case WorkerReply::Unusable:
            // Every worker has the same library: no file would open, so none is sent.
            m_result.libraryProblem = reply.problem;
            for (; !slot.inFlight.empty(); slot.inFlight.pop_front())
                Finished(slot.inFlight.front(), {std::nullopt, reply.problem, true});
            for (; !m_queue.empty(); m_queue.pop_front())
                Finished(m_queue.front(), {std::nullopt, reply.problem, true});
            break;
        case WorkerReply::Opened:
            Complete(slot, {std::move(reply.report), QString()});
            break;
        case WorkerReply::NotOpened:
            Complete(slot, {std::nullopt, QStringLiteral("not opened by the library")});
            break;
        case WorkerReply::Ended:
            Complete(slot, {std::nullopt,
                            kq::platform::DescribeEnd(reply.status, m_options.memoryLimitBytes)});
            break;
        default:
            Complete(slot,
                     {std::nullopt, QStringLiteral("the analysis worker sent a broken reply")});
        }
    }

    // The worker's answer for the first path it holds. A worker that has ended takes only
    // that path with it; the others it held go back to the front of the queue.
    void Complete(Slot& slot, FileAnalysis analysis) {
        Finished(slot.inFlight.front(), std::move(analysis));
        slot.inFlight.pop_front();
        if (slot.process.pid < 0) {
            m_queue.insert(m_queue.begin(), slot.inFlight.begin(), slot.inFlight.end());
            slot.inFlight.clear();
        } else if (!slot.inFlight.empty()) {
            slot.deadline = m_clock.elapsed() + m_options.timeoutMs;
        }
    }

    bool Report(bool last = false) {
        if (!m_progress)
            return true;
        const qint64 now = m_clock.elapsed();
        if (!last && now - m_lastProgress < kProgressIntervalMs)
            return true;
        m_lastProgress = now;
        // The file analysed longest is the one a user waits for.
        const Slot* oldest = nullptr;
        for (const Slot& slot : m_slots) {
            if (!slot.inFlight.empty() && (!oldest || slot.deadline < oldest->deadline))
                oldest = &slot;
        }
        if (oldest)
            m_current = At(oldest->inFlight.front()).path;
        const qint64 total = m_exhausted ? m_read : m_source.Total();
        if (m_progress({m_done, total, m_current}))
            return true;
        m_result.status = AnalysisStatus::Cancelled;
        return false;
    }

    AnalysisRun Finish() {
        // A finished run lets its workers end by themselves; a broken one kills them.
        const int grace = m_result.status == AnalysisStatus::Complete ? kGraceMs : 0;
        for (Slot& slot : m_slots) {
            if (slot.process.pid > 0 || slot.process.socket >= 0)
                kq::platform::EndWorkerProcess(&slot.process, grace);
        }
        return std::move(m_result);
    }

    PathSource& m_source;
    const AnalysisOptions& m_options;
    const AnalysisSink& m_sink;
    const AnalysisProgressCallback& m_progress;
    const QString m_program;
    const QStringList m_arguments;
    AnalysisRun m_result;
    std::deque<Entry> m_window; // read and not yet handed on, from index m_handedOn
    std::deque<qint64> m_queue; // paths not yet sent
    qint64 m_read = 0, m_handedOn = 0, m_done = 0, m_held = 0;
    bool m_exhausted = false;
    std::vector<Slot> m_slots;
    QString m_current; // kept when no file is in progress, e.g. for the final report
    QElapsedTimer m_clock;
    qint64 m_lastProgress = 0;
};

} // namespace

AnalysisRun AnalyseFiles(PathSource& source, const AnalysisOptions& options,
                         const AnalysisSink& sink, const AnalysisProgressCallback& progress) {
    return Run(source, options, sink, progress).Execute();
}

bool PathListSource::Next(QString* path) {
    if (m_next >= m_paths.size())
        return false;
    *path = m_paths[m_next++];
    return true;
}
