#pragma once

#include <QString>

// The directory of the running executable, ending in "/".
QString GetProgramDirectory();

// Where the report file goes for a program running from programDirectory: that directory
// when it is writable and not the directory the program is installed to; otherwise the
// per-user data directory. Both directories end in "/".
QString ReportDirectoryFor(const QString& programDirectory, const QString& installedBinDirectory,
                           const QString& userDataDirectory);

// The report directory of this process (created when it is the per-user one).
QString ReportDirectory();
// ReportDirectory() + "MediaFileInfo.xml": the file that report builds write.
QString ReportFilePath();

inline constexpr const char* kReportFileName = "MediaFileInfo.xml";
inline constexpr const char* kAppDirectoryName = "KQCheckMediaInfo";
