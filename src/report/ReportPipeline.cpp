#include "ReportPipeline.h"

#include "AtomicFile.h"
#include "ReportLocation.h"
#include "WorkerConversation.h"
#include "platform/FileNames.h"

#include <QElapsedTimer>

#include <poll.h>

namespace kq {

ReportRun WriteReport(PathSource& source, const AnalysisOptions& options, ReportForm form,
                      const ReportWriter::Output& output, ReportObserver& observer,
                      KnownAnswers* known) {
    ReportStream report(form, output);
    const AnalysisRun run = AnalyseFiles(
        source, options,
        [&](const QByteArray& path, FileAnalysis& analysis) {
            if (analysis.report)
                return report.Add(path, *analysis.report);
            observer.LeftOut(path, analysis.reason, analysis.libraryUnusable);
            // A library that cannot be used is one failure of the run, not one of each file.
            return analysis.libraryUnusable || report.AddLeftOut(path, analysis.reason);
        },
        observer.HearsProgress()
            ? AnalysisProgressCallback(
                  [&observer](const AnalysisProgress& step) { return observer.Progress(step); })
            : AnalysisProgressCallback(),
        known);
    const QString sourceFailure = source.Failure();
    if (!run.libraryProblem.isEmpty() && !observer.FinishWithoutLibrary(run.libraryProblem))
        return {BuildStatus::Failed, run.libraryProblem};
    if (!sourceFailure.isEmpty())
        return {BuildStatus::Failed, sourceFailure};
    if (run.status == AnalysisStatus::Cancelled)
        return {BuildStatus::Cancelled, {}};
    if (run.status == AnalysisStatus::Failed || !report.Finish())
        return {BuildStatus::Failed, run.failure};
    return {};
}

namespace {

constexpr int kGraceMs = 2000;

// Starts a worker and hears its greeting: the library's version, or why it cannot be used.
// The worker is ended unless it is ready; not ready when no greeting came within the time a
// file is given.
WorkerGreeting GreetWorker(const AnalysisOptions& options, WorkerConversation* worker) {
    WorkerGreeting greeting;
    WorkerAnswer unused;
    QString error;
    QElapsedTimer clock;
    clock.start();
    if (!worker->Start(WorkerProgram(options), WorkerArguments(options), &error))
        return greeting;
    for (;;) {
        pollfd input{worker->Socket(), POLLIN, 0};
        const qint64 left = options.timeoutMs - clock.elapsed();
        if (left <= 0 || ::poll(&input, 1, int(left)) < 0 || !worker->Read())
            break;
        const WorkerConversation::Message message = worker->Take(&greeting, &unused);
        if (message != WorkerConversation::Message::None)
            break;
    }
    if (!greeting.ready)
        worker->End(kGraceMs);
    return greeting;
}

} // namespace

std::unique_ptr<CachedAnswers>
CachedAnswers::Open(const QString& file, const AnalysisOptions& options, QString* notice) {
    notice->clear();
    WorkerConversation worker;
    const WorkerGreeting greeting = GreetWorker(options, &worker);
    if (!greeting.ready)
        return nullptr;
    std::unique_ptr<OutcomeCache> cache = OutcomeCache::Open(file, greeting.libraryVersion, notice);
    if (!cache)
        return nullptr;
    return std::unique_ptr<CachedAnswers>(new CachedAnswers(std::move(cache), std::move(worker)));
}

std::optional<FileAnswer> CachedAnswers::Find(const FileIdentity& identity) {
    const std::optional<QByteArray> stored = m_cache->Find(identity);
    FileAnswer answer;
    if (!stored || !ParseFileAnswer(*stored, &answer))
        return std::nullopt;
    return answer;
}

void CachedAnswers::Keep(const FileIdentity& identity, qint64 analysedNs,
                         const FileAnswer& answer) {
    m_cache->Store(identity, analysedNs, FileAnswerPayload(answer));
}

std::optional<FileAnswer> RememberedAnswers::Find(const FileIdentity& identity) {
    const auto found = m_answers.constFind(identity.path);
    if (found == m_answers.constEnd() || !(found->identity == identity) ||
        IsRacy(identity, found->analysedNs))
        return std::nullopt;
    return found->answer;
}

void RememberedAnswers::Keep(const FileIdentity& identity, qint64 analysedNs,
                             const FileAnswer& answer) {
    m_answers.insert(identity.path, {identity, analysedNs, answer});
}

namespace {

// The window hears each step and gathers the files left out, the library's problem among them.
class WindowObserver : public ReportObserver {
public:
    WindowObserver(const AnalysisProgressCallback& progress, QList<LeftOutFile>* leftOut)
        : m_progress(progress), m_leftOut(leftOut) {}
    bool HearsProgress() const override { return bool(m_progress); }
    bool Progress(const AnalysisProgress& progress) override { return m_progress(progress); }
    void LeftOut(const QByteArray& path, const QString& reason, bool) override {
        if (m_leftOut)
            m_leftOut->append({kq::platform::DecodeFileName(path), reason});
    }
    bool FinishWithoutLibrary(const QString&) override { return true; }

private:
    const AnalysisProgressCallback& m_progress;
    QList<LeftOutFile>* m_leftOut;
};

} // namespace

BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath, const AnalysisProgressCallback& progress,
                        QList<LeftOutFile>* leftOut, KnownAnswers* known) {
    const QString target = ReportFilePath();
    AtomicFile file;
    if (!file.Open(target))
        return BuildStatus::Failed;
    PathListSource source(paths);
    WindowObserver observer(progress, leftOut);
    const ReportRun run = WriteReport(
        source, options, ReportForm::Xml,
        [&file](const QByteArray& bytes) { return file.Write(bytes); }, observer, known);
    if (run.status != BuildStatus::Written)
        return run.status;
    if (!file.Commit())
        return BuildStatus::Failed;
    if (writtenPath)
        *writtenPath = target;
    return BuildStatus::Written;
}

} // namespace kq
