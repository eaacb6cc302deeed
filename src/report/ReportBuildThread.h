#pragma once

#include "FileReport.h"
#include "ReportPipeline.h"
#include "WorkerProgram.h"

#include <QObject>
#include <QStringList>

#include <atomic>

class QThread;

namespace kq {

// A report build (BuildReport) on a thread of its own, so that the thread that starts it goes
// on with its events: progress and the end arrive as signals on the thread the object lives
// in.
class ReportBuildThread : public QObject {
    Q_OBJECT
public:
    // known (when given) outlives the build: what earlier builds analysed is taken from it.
    ReportBuildThread(const QStringList& paths, const AnalysisOptions& options,
                      KnownAnswers* known = nullptr, QObject* parent = nullptr);
    // Cancels the build and waits for its end.
    ~ReportBuildThread() override;

    void Start();
    // Blocks until the thread has ended; finished() still follows from the event loop.
    void Wait();

public slots:
    // The build stops at its next step; finished() follows with BuildStatus::Cancelled.
    void cancel();

signals:
    // Now and then during the build: files done, of total (-1 while not known), and the file
    // that has been analysed longest.
    void progress(qint64 done, qint64 total, const QString& current);
    // Once, at the end: the status, where the report was written, the files left out of it.
    void finished(BuildStatus status, const QString& reportPath, const QList<LeftOutFile>& leftOut);

private:
    const QStringList m_paths;
    const AnalysisOptions m_options;
    KnownAnswers* const m_known;
    std::atomic<bool> m_cancelled{false};
    QThread* m_thread = nullptr;
    // Written by the build's thread, read once it has ended.
    BuildStatus m_status = BuildStatus::Failed;
    QString m_reportPath;
    QList<LeftOutFile> m_leftOut;
};

} // namespace kq
