#pragma once

#include <QString>

namespace kq {

// The directory of the running executable, ending in "/".
QString GetProgramDirectory();

// Where the report file goes for a program running from programDirectory: that directory
// when it is writable and the program is not installed; otherwise the per-user data
// directory. The program counts as installed when programDirectory is installedBinDirectory
// or the installed layout is found beside it (InstalledLayoutMarker), as under another
// prefix or a staging DESTDIR. The result ends in "/".
QString ReportDirectoryFor(const QString& programDirectory, const QString& installedBinDirectory,
                           const QString& userDataDirectory);

// The file, relative to the installed programs' directory, that only an installation has
// (the metainfo file), e.g. "../share/metainfo/example.kqmedia.KQCheckMediaInfo.metainfo.xml".
QString InstalledLayoutMarker();

// The report directory of this process (created when it is the per-user one).
QString ReportDirectory();
// ReportDirectory() + "MediaFileInfo.xml": the file that report builds write.
QString ReportFilePath();

inline constexpr const char* kReportFileName = "MediaFileInfo.xml";
inline constexpr const char* kAppDirectoryName = "KQCheckMediaInfo";

} // namespace kq
