#include "ReportValues.h"

#include "media/MediaFileInfo.h"

#include <climits>

namespace kq {

int ParseStreamCount(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    // isspace() of the C locale: blank, tab, line feed, vertical tab, form feed, return.
    while (i < n && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            value = INT_MAX; // clamp rather than overflow
    }
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}

std::optional<FileReport> ReadFileReport(CMediaFileInfo& info, const QString& path) {
    if (info.Open(path) == 0)
        return std::nullopt;
    return ReadOpenFile(info);
}

namespace {
QStringList ReadSection(CMediaFileInfo& info, const MediaSection& section, std::size_t n) {
    QStringList values;
    for (int field = 0; field < section.valueCount; ++field)
        values.append(info.Value(section, field, n));
    return values;
}
} // namespace

FileReport ReadOpenFile(CMediaFileInfo& info) {
    FileReport file;
    file.general = ReadSection(info, kGeneralSection, 0);
    for (const auto& [section, streams] :
         {std::pair{&kVideoSection, &file.video}, {&kAudioSection, &file.audio}}) {
        const int count = ParseStreamCount(info.StreamCount(*section));
        for (int i = 0; i < count; ++i)
            streams->append(ReadSection(info, *section, static_cast<std::size_t>(i)));
    }
    info.Close();
    return file;
}

} // namespace kq
