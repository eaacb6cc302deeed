#pragma once

#include "AnalysisPool.h"
#include "FileReport.h"
#include "ReportForms.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kq {

// The one way a report is made, for the tool and the window alike: paths from a source, each
// analysed in a confined worker (AnalyseFiles), each file's values or its reason for being
// left out written in the report's form as its turn comes, while an observer hears how far
// the run has come and which files are left out.

// What the caller of a report hears while it is written.
class ReportObserver {
public:
    virtual ~ReportObserver() = default;
    // Whether Progress is to be called: a run without it waits on its workers alone.
    virtual bool HearsProgress() const { return false; }
    // Now and then during the run, and once at its end; false cancels it.
    virtual bool Progress(const AnalysisProgress&) { return true; }
    // A file left out of the report, and why; libraryUnusable when the reason is that the media
    // library cannot be used (then every file is left out so).
    virtual void LeftOut(const QByteArray& /*path*/, const QString& /*reason*/,
                         bool /*libraryUnusable*/) {}
    // The media library cannot be used: true to finish the report all the same (every file
    // left out), false to fail the run with problem.
    virtual bool FinishWithoutLibrary(const QString& /*problem*/) { return false; }
};

enum class BuildStatus { Written, Failed, Cancelled };

struct ReportRun {
    BuildStatus status = BuildStatus::Written;
    // Why, when Failed: the library's problem, the source's, or the workers'. Empty when it
    // was the output that failed: the caller knows its output.
    QString failure;
};

// A source that can fail part-way, such as a list that cannot be read to its end.
class FallibleSource : public PathSource {
public:
    // Set when reading failed before the end: the paths after it are lost.
    virtual QString Failure() const = 0;
};

// Writes the report of source's paths in form to output. The report is finished (its closing
// part written) only when the run is complete.
ReportRun WriteReport(PathSource& source, const AnalysisOptions& options, ReportForm form,
                      const ReportWriter::Output& output, ReportObserver& observer);

// The window's report: the paths' report into ReportFilePath(), as an AtomicFile; then its path
// is in *writtenPath and the files left out of it, with the reasons, are in *leftOut. A
// cancelled or failed build leaves the previous file as it was.
BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath = nullptr,
                        const AnalysisProgressCallback& progress = {},
                        QList<LeftOutFile>* leftOut = nullptr);

} // namespace kq
