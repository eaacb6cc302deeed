#pragma once

#include "FileReport.h"

#include <optional>

namespace kq {

class CMediaFileInfo;

// Reads the stream count text the way the C library's atoi does: leading blanks and one
// sign, digits up to the first other character; anything else gives 0.
int ParseStreamCount(const QString& text);

// Opens path on the record and asks every value of the report; nullopt when it does not open.
std::optional<FileReport> ReadFileReport(CMediaFileInfo& info, const QString& path);
// Asks every value of the report of the file open on the record, then closes it.
FileReport ReadOpenFile(CMediaFileInfo& info);

} // namespace kq
