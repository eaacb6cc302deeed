#include "ReportBuild.h"

#include "AnalysisPool.h"

#include <QThread>

ReportBuild::ReportBuild(const QStringList& paths, const AnalysisOptions& options, QObject* parent)
    : QObject(parent), m_paths(paths), m_options(options) {}

ReportBuild::~ReportBuild() {
    cancel();
    Wait();
}

void ReportBuild::Start() {
    m_thread = QThread::create([this] {
        m_status = BuildReport(
            m_paths, m_options, &m_reportPath,
            [this](const AnalysisProgress& step) {
                emit progress(step.done, step.total, step.current);
                return !m_cancelled;
            },
            &m_leftOut);
    });
    m_thread->setParent(this);
    connect(m_thread, &QThread::finished, this,
            [this] { emit finished(m_status, m_reportPath, m_leftOut); });
    m_thread->start();
}

void ReportBuild::Wait() {
    if (m_thread)
        m_thread->wait();
}

void ReportBuild::cancel() {
    m_cancelled = true;
}
