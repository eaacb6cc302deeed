#include "ReportBuilder.h"

#include "AnalysisPool.h"
#include "AtomicFile.h"
#include "ReportLocation.h"
#include "ReportXml.h"

BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath, const AnalysisProgressCallback& progress,
                        QList<LeftOutFile>* leftOut) {
    const QString target = ReportFilePath();
    AtomicFile file;
    if (!file.Open(target))
        return BuildStatus::Failed;
    ReportWriter writer([&file](const QByteArray& bytes) { return file.Write(bytes); });
    PathListSource source(paths);
    const AnalysisRun run = AnalyseFiles(
        source, options,
        [&](const QString& path, FileAnalysis& analysis) {
            if (!analysis.report && leftOut)
                leftOut->append({path, analysis.reason});
            return !analysis.report || writer.Add(*analysis.report);
        },
        progress);
    if (run.status == AnalysisStatus::Cancelled)
        return BuildStatus::Cancelled;
    if (run.status != AnalysisStatus::Complete || !writer.Finish() || !file.Commit())
        return BuildStatus::Failed;
    if (writtenPath)
        *writtenPath = target;
    return BuildStatus::Written;
}
