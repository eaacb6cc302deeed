#include "ReportBuildThread.h"

#include "AnalysisPool.h"
#include "platform/FileNames.h"

#include <QThread>

namespace kq {

ReportBuildThread::ReportBuildThread(const QStringList& paths, const AnalysisOptions& options,
                                     KnownAnswers* known, QObject* parent)
    : QObject(parent), m_paths(paths), m_options(options), m_known(known) {}

ReportBuildThread::~ReportBuildThread() {
    cancel();
    Wait();
}

void ReportBuildThread::Start() {
    m_thread = QThread::create([this] {
        m_status = BuildReport(
            m_paths, m_options, &m_reportPath,
            [this](const AnalysisProgress& step) {
                emit progress(step.done, step.total, kq::platform::DecodeFileName(step.current));
                return !m_cancelled;
            },
            &m_leftOut, m_known);
    });
    m_thread->setParent(this);
    connect(m_thread, &QThread::finished, this,
            [this] { emit finished(m_status, m_reportPath, m_leftOut); });
    m_thread->start();
}

void ReportBuildThread::Wait() {
    if (m_thread)
        m_thread->wait();
}

void ReportBuildThread::cancel() {
    m_cancelled = true;
}

} // namespace kq
