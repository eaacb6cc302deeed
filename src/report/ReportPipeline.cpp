#include "ReportPipeline.h"

#include "AtomicFile.h"
#include "ReportLocation.h"
#include "platform/FileNames.h"

namespace kq {

ReportRun WriteReport(PathSource& source, const AnalysisOptions& options, ReportForm form,
                      const ReportWriter::Output& output, ReportObserver& observer) {
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
            : AnalysisProgressCallback());
    const auto* fallible = dynamic_cast<const FallibleSource*>(&source);
    const QString sourceFailure = fallible ? fallible->Failure() : QString();
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
                        QList<LeftOutFile>* leftOut) {
    const QString target = ReportFilePath();
    AtomicFile file;
    if (!file.Open(target))
        return BuildStatus::Failed;
    PathListSource source(paths);
    WindowObserver observer(progress, leftOut);
    const ReportRun run = WriteReport(
        source, options, ReportForm::Xml,
        [&file](const QByteArray& bytes) { return file.Write(bytes); }, observer);
    if (run.status != BuildStatus::Written)
        return run.status;
    if (!file.Commit())
        return BuildStatus::Failed;
    if (writtenPath)
        *writtenPath = target;
    return BuildStatus::Written;
}

} // namespace kq
