#include "MediaFileInfo.h"

CMediaFileInfo& CMediaFileInfo::GetInstance() {
    // Never destroyed: the library stays bound until the process ends.
    static CMediaFileInfo* instance = new CMediaFileInfo();
    return *instance;
}

CMediaFileInfo::CMediaFileInfo() : m_handle(std::make_unique<CMediaInfoHandle>()) {
    // Analysis must never reach out to the network; the reply is of no interest.
    m_handle->Option(QStringLiteral("Internet"), QStringLiteral("No"));
}

CMediaFileInfo::~CMediaFileInfo() = default;

std::size_t CMediaFileInfo::Open(const QString& path) {
    return m_handle->Open(path);
}

void CMediaFileInfo::Close() {
    m_handle->Close();
}

void CMediaFileInfo::LoadTables() {
    for (const char* list : {"Info_Parameters", "Info_Codecs"})
        m_handle->Option(QLatin1String(list), QString());
}

QString CMediaFileInfo::Ask(int streamKind, std::size_t n, const char* parameter) {
    return m_handle->Get(streamKind, n, QString::fromLatin1(parameter), kInfoText, kInfoName);
}

// clang-format off
QString CMediaFileInfo::GetCompleteName() { return Ask(kStreamGeneral, 0, "CompleteName"); }
QString CMediaFileInfo::GetFormat() { return Ask(kStreamGeneral, 0, "Format"); }
QString CMediaFileInfo::GetFileSize() { return Ask(kStreamGeneral, 0, "FileSize/String"); }
QString CMediaFileInfo::GetDuration() { return Ask(kStreamGeneral, 0, "Duration/String1"); }
QString CMediaFileInfo::GetVideoStreamCount() { return Ask(kStreamVideo, 0, "StreamCount"); }
QString CMediaFileInfo::GetAudioStreamCount() { return Ask(kStreamAudio, 0, "StreamCount"); }
QString CMediaFileInfo::GetTextCount() { return Ask(kStreamGeneral, 0, "TextCount"); }
QString CMediaFileInfo::GetVideoFormat(std::size_t n) { return Ask(kStreamVideo, n, "Format"); }
QString CMediaFileInfo::GetVideoFormatVersion(std::size_t n) { return Ask(kStreamVideo, n, "Format_Version"); }
QString CMediaFileInfo::GetVideoWidth(std::size_t n) { return Ask(kStreamVideo, n, "Width"); }
QString CMediaFileInfo::GetVideoHeight(std::size_t n) { return Ask(kStreamVideo, n, "Height"); }
QString CMediaFileInfo::GetVideoFrameRate(std::size_t n) { return Ask(kStreamVideo, n, "FrameRate"); }
QString CMediaFileInfo::GetVideoBitRate(std::size_t n) { return Ask(kStreamVideo, n, "BitRate"); }
QString CMediaFileInfo::GetVideoDisplayAspectRatio(std::size_t n) { return Ask(kStreamVideo, n, "DisplayAspectRatio/String"); }
QString CMediaFileInfo::GetVideoStandard(std::size_t n) { return Ask(kStreamVideo, n, "Standard"); }
QString CMediaFileInfo::GetAudioFormat(std::size_t n) { return Ask(kStreamAudio, n, "Format"); }
QString CMediaFileInfo::GetAudioBitRate(std::size_t n) { return Ask(kStreamAudio, n, "BitRate"); }
QString CMediaFileInfo::GetAudioChannels(std::size_t n) { return Ask(kStreamAudio, n, "Channel(s)"); }
QString CMediaFileInfo::GetAudioSamplingRate(std::size_t n) { return Ask(kStreamAudio, n, "SamplingRate"); }
QString CMediaFileInfo::GetAudioLanguage(std::size_t n) { return Ask(kStreamAudio, n, "Language"); }
QString CMediaFileInfo::GetAudioFormatVersion(std::size_t n) { return Ask(kStreamAudio, n, "Format_Version"); }
// clang-format on
