#pragma once

#include <QStringList>

#include <cstdio>

namespace kq {

// Exit statuses of kqmediareport.
enum ReportToolStatus : int {
    kToolAllReported = 0,       // every path went into the report
    kToolFailure = 1,           // usage error, the output could not be written, no usable library
    kToolSomeLeftOut = 2,       // the report holds the rest
    kToolSandboxIncomplete = 3, // --sandbox: some layer of the confinement is missing
};

// Runs kqmediareport with arguments (arguments[0] is the program name). The report goes to
// out unless -o names a file; messages go to err. A QCoreApplication must exist.
int RunReportTool(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace kq
