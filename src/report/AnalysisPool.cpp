#include "AnalysisPool.h"

#include "PathCheck.h"
#include "WorkerConversation.h"
#include "platform/FileNames.h"
#include "platform/WorkerExit.h"

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
#include <time.h>
#include <unistd.h>

namespace kq {

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
const QString kBrokenReply = QStringLiteral("the analysis worker sent a broken reply");

// A worker and what it holds of the run.
struct Slot {
    WorkerConversation worker;
    std::deque<qint64> inFlight; // paths sent, by index, in the order the worker answers them
    qint64 deadline = 0;         // for the first of them
};

// A path of the run from the moment it is read until its analysis is handed on.
struct Entry {
    QByteArray path;
    FileAnalysis analysis;
    bool done = false;
    qint64 held = 0;       // HeldBytes(analysis), once done
    FileIdentity identity; // when answers are kept: the file as it was before its analysis
    qint64 analysedNs = 0; // and when it was looked at
};

// What an answer of the library means for its file.
FileAnalysis Answered(FileAnswer answer) {
    if (answer)
        return {std::move(answer), QString()};
    return {std::nullopt, QStringLiteral("not opened by the library")};
}

qint64 RealTimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

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
        const AnalysisProgressCallback& progress, KnownAnswers* known)
        : m_source(source), m_options(options), m_sink(sink), m_progress(progress), m_known(known),
          m_program(WorkerProgram(options)), m_arguments(WorkerArguments(options)) {
        const int cores = std::max(1, QThread::idealThreadCount());
        m_slots = std::vector<Slot>(
            static_cast<std::size_t>(m_options.workers > 0 ? m_options.workers : cores));
        if (WorkerConversation* greeted = known ? known->GreetedWorker() : nullptr)
            m_slots.front().worker = std::move(*greeted);
    }

    AnalysisRun Execute() {
        m_clock.start();
        for (;;) {
            Read();
            if (!HandOn())
                return Finish();
            if (m_exhausted && m_window.empty())
                break;
            if (!Dispatch() || !Wait() || !ReportProgress())
                return Finish();
        }
        ReportProgress(true);
        return Finish();
    }

private:
    // Reads paths while workers could use more, as far as the window reaches: what waits
    // behind a slow file is bounded, so memory does not grow with the number of files.
    void Read() {
        const std::size_t wanted = m_slots.size() * kPipelineDepth;
        while (!m_exhausted && m_queue.size() < wanted && m_window.size() < kWindow &&
               m_held < kHeldBytes) {
            QByteArray path;
            if (!m_source.Next(&path)) {
                m_exhausted = true;
                break;
            }
            const qint64 index = m_read++;
            m_window.push_back({path, {}, false, 0, {}, 0});
            Entry& entry = m_window.back();
            // The clock is read before the file is looked at: a change after this moment can
            // only make its answer look older than it is, never newer.
            entry.analysedNs = m_known ? RealTimeNs() : 0;
            std::optional<FileAnswer> answer;
            if (QString problem = PathProblem(path, m_known ? &entry.identity : nullptr);
                !problem.isEmpty())
                Finished(index, {std::nullopt, problem});
            else if (!m_result.libraryProblem.isEmpty())
                Finished(index, {std::nullopt, m_result.libraryProblem, true});
            else if (m_known && !entry.identity.path.isEmpty() &&
                     (answer = m_known->Find(entry.identity)))
                Finished(index, Answered(std::move(*answer)));
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
                QString error;
                if (!slot.worker.Started() && !slot.worker.Start(m_program, m_arguments, &error)) {
                    Fail(QStringLiteral("cannot start the analysis worker %1: %2")
                             .arg(m_program, error));
                    return false;
                }
                const qint64 index = m_queue.front();
                m_queue.pop_front();
                if (slot.inFlight.empty())
                    slot.deadline = m_clock.elapsed() + m_options.timeoutMs;
                slot.inFlight.push_back(index);
                slot.worker.Send(At(index).path);
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
            fds.push_back({slot.worker.Socket(), POLLIN, 0});
            owners.push_back(&slot);
            const qint64 left = std::max<qint64>(0, slot.deadline - now);
            wait = wait < 0 ? left : std::min(wait, left);
        }
        if (m_progress)
            wait = wait < 0 ? kProgressIntervalMs : std::min(wait, kProgressIntervalMs);
        if (fds.empty())
            return true; // nothing to wait for: progress is told as the run goes on
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
                slot.worker.End(0);
                Complete(slot,
                         {std::nullopt, QStringLiteral("took longer than the time limit of %1 s")
                                            .arg(m_options.timeoutMs / 1000.0)});
            }
        }
        return true;
    }

    // Takes what a worker has sent: its greeting, answers, or its end.
    bool Receive(Slot& slot) {
        if (!slot.worker.Read()) {
            const int status = slot.worker.End(kGraceMs);
            if (WIFEXITED(status) && WEXITSTATUS(status) == kq::platform::kWorkerExitSetupFailed) {
                Fail(QStringLiteral("the analysis worker %1 could not set up its limits")
                         .arg(m_program));
                return false;
            }
            Complete(slot,
                     {std::nullopt, kq::platform::DescribeEnd(status, m_options.memoryLimitBytes)});
            return true;
        }
        for (;;) {
            WorkerGreeting greeting;
            WorkerAnswer answer;
            switch (slot.worker.Take(&greeting, &answer)) {
            case WorkerConversation::Message::None:
                return true;
            case WorkerConversation::Message::Greeting:
                if (!greeting.ready)
                    LibraryUnusable(slot, greeting.problem);
                break;
            case WorkerConversation::Message::Answer:
                if (!slot.inFlight.empty()) {
                    Keep(At(slot.inFlight.front()), answer);
                    Complete(slot, Analysis(answer));
                    break;
                }
                [[fallthrough]]; // an answer to no request
            case WorkerConversation::Message::Broken:
                slot.worker.End(0);
                if (!slot.inFlight.empty())
                    Complete(slot, {std::nullopt, kBrokenReply});
                return true;
            }
        }
    }

    // Every worker has the same library: no file would open, so none is sent.
    void LibraryUnusable(Slot& slot, const QString& problem) {
        m_result.libraryProblem = problem;
        for (; !slot.inFlight.empty(); slot.inFlight.pop_front())
            Finished(slot.inFlight.front(), {std::nullopt, problem, true});
        for (; !m_queue.empty(); m_queue.pop_front())
            Finished(m_queue.front(), {std::nullopt, problem, true});
    }

    // Only what depends on the file alone is kept: its values, or that the library did not
    // open it. A file left out for a limit, a crash or a broken answer is analysed anew.
    void Keep(const Entry& entry, const WorkerAnswer& answer) {
        if (m_known && answer.kind == WorkerAnswer::Answered && !entry.identity.path.isEmpty())
            m_known->Keep(entry.identity, entry.analysedNs, answer.answer);
    }

    // What a worker's answer means for its file.
    FileAnalysis Analysis(WorkerAnswer& answer) const {
        switch (answer.kind) {
        case WorkerAnswer::Answered:
            return Answered(std::move(answer.answer));
        case WorkerAnswer::Ended:
            return {std::nullopt,
                    kq::platform::DescribeEnd(answer.waitStatus, m_options.memoryLimitBytes)};
        case WorkerAnswer::NotStarted:
            return {std::nullopt, answer.reason};
        case WorkerAnswer::Broken:
            break;
        }
        return {std::nullopt, kBrokenReply};
    }

    // The worker's answer for the first path it holds. A worker that has ended takes only
    // that path with it; the others it held go back to the front of the queue.
    void Complete(Slot& slot, FileAnalysis analysis) {
        Finished(slot.inFlight.front(), std::move(analysis));
        slot.inFlight.pop_front();
        if (!slot.worker.Started()) {
            m_queue.insert(m_queue.begin(), slot.inFlight.begin(), slot.inFlight.end());
            slot.inFlight.clear();
        } else if (!slot.inFlight.empty()) {
            slot.deadline = m_clock.elapsed() + m_options.timeoutMs;
        }
    }

    bool ReportProgress(bool last = false) {
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
            if (slot.worker.Started())
                slot.worker.End(grace);
        }
        return std::move(m_result);
    }

    PathSource& m_source;
    const AnalysisOptions& m_options;
    const AnalysisSink& m_sink;
    const AnalysisProgressCallback& m_progress;
    KnownAnswers* const m_known;
    const QString m_program;
    const QStringList m_arguments;
    AnalysisRun m_result;
    std::deque<Entry> m_window; // read and not yet handed on, from index m_handedOn
    std::deque<qint64> m_queue; // paths not yet sent
    qint64 m_read = 0, m_handedOn = 0, m_done = 0, m_held = 0;
    bool m_exhausted = false;
    std::vector<Slot> m_slots;
    QByteArray m_current; // kept when no file is in progress, e.g. for the final report
    QElapsedTimer m_clock;
    qint64 m_lastProgress = 0;
};

} // namespace

AnalysisRun AnalyseFiles(PathSource& source, const AnalysisOptions& options,
                         const AnalysisSink& sink, const AnalysisProgressCallback& progress,
                         KnownAnswers* known) {
    return Run(source, options, sink, progress, known).Execute();
}

bool PathListSource::Next(QByteArray* path) {
    if (m_next >= m_paths.size())
        return false;
    *path = kq::platform::EncodeFileName(m_paths[m_next++]);
    return true;
}

} // namespace kq
