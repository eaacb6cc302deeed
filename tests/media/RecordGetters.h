#pragma once

// The 21 questions of the media record, with the library request that each must make:
// written out here, independently of the record's code, so that a getter asking for the
// wrong parameter, stream kind or stream number is caught.

#include "media/MediaFileInfo.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <cstddef>

namespace kqtest {

struct RecordGetter {
    const char* name = nullptr;
    QString (*call)(CMediaFileInfo&, std::size_t) = nullptr;
    int streamKind = 0;
    bool perStream = false; // asks stream n; otherwise always stream 0
    const char* parameter = nullptr;
};

// clang-format off
inline QList<RecordGetter> RecordGetters() {
    return {
        {"GetCompleteName", [](CMediaFileInfo& i, std::size_t) { return i.GetCompleteName(); }, 0, false, "CompleteName"},
        {"GetFormat", [](CMediaFileInfo& i, std::size_t) { return i.GetFormat(); }, 0, false, "Format"},
        {"GetFileSize", [](CMediaFileInfo& i, std::size_t) { return i.GetFileSize(); }, 0, false, "FileSize/String"},
        {"GetDuration", [](CMediaFileInfo& i, std::size_t) { return i.GetDuration(); }, 0, false, "Duration/String1"},
        {"GetVideoStreamCount", [](CMediaFileInfo& i, std::size_t) { return i.GetVideoStreamCount(); }, 1, false, "StreamCount"},
        {"GetAudioStreamCount", [](CMediaFileInfo& i, std::size_t) { return i.GetAudioStreamCount(); }, 2, false, "StreamCount"},
        {"GetTextCount", [](CMediaFileInfo& i, std::size_t) { return i.GetTextCount(); }, 0, false, "TextCount"},
        {"GetVideoFormat", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoFormat(n); }, 1, true, "Format"},
        {"GetVideoFormatVersion", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoFormatVersion(n); }, 1, true, "Format_Version"},
        {"GetVideoWidth", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoWidth(n); }, 1, true, "Width"},
        {"GetVideoHeight", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoHeight(n); }, 1, true, "Height"},
        {"GetVideoFrameRate", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoFrameRate(n); }, 1, true, "FrameRate"},
        {"GetVideoBitRate", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoBitRate(n); }, 1, true, "BitRate"},
        {"GetVideoDisplayAspectRatio", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoDisplayAspectRatio(n); }, 1, true, "DisplayAspectRatio/String"},
        {"GetVideoStandard", [](CMediaFileInfo& i, std::size_t n) { return i.GetVideoStandard(n); }, 1, true, "Standard"},
        {"GetAudioFormat", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioFormat(n); }, 2, true, "Format"},
        {"GetAudioBitRate", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioBitRate(n); }, 2, true, "BitRate"},
        {"GetAudioChannels", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioChannels(n); }, 2, true, "Channel(s)"},
        {"GetAudioSamplingRate", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioSamplingRate(n); }, 2, true, "SamplingRate"},
        {"GetAudioLanguage", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioLanguage(n); }, 2, true, "Language"},
        {"GetAudioFormatVersion", [](CMediaFileInfo& i, std::size_t n) { return i.GetAudioFormatVersion(n); }, 2, true, "Format_Version"},
    };
}
// clang-format on

} // namespace kqtest

Q_DECLARE_METATYPE(kqtest::RecordGetter)
