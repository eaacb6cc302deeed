#pragma once

#include "FileReport.h"

#include <QStringList>

#include <functional>

struct AnalysisOptions;
struct AnalysisProgress;
using AnalysisProgressCallback = std::function<bool(const AnalysisProgress&)>;

enum class BuildStatus { Written, Failed, Cancelled };

// Builds the report of paths into ReportFilePath(), as an AtomicFile; then its path is in
// *writtenPath and the files left out of it, with the reasons, are in *leftOut. A cancelled
// or failed build leaves the previous file as it was.
BuildStatus BuildReport(const QStringList& paths, const AnalysisOptions& options,
                        QString* writtenPath = nullptr,
                        const AnalysisProgressCallback& progress = {},
                        QList<LeftOutFile>* leftOut = nullptr);
