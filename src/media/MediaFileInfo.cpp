#include "MediaFileInfo.h"

namespace kq {

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

QString CMediaFileInfo::Value(const MediaSection& section, int field, std::size_t n) {
    return Ask(section.streamKind, n, section.fields[field].parameter);
}

QString CMediaFileInfo::StreamCount(const MediaSection& section) {
    return Ask(section.streamKind, 0, kStreamCountParameter);
}

QString CMediaFileInfo::Ask(int streamKind, std::size_t n, const char* parameter) {
    return m_handle->Get(streamKind, n, QString::fromLatin1(parameter), kInfoText, kInfoName);
}

// clang-format off
QString CMediaFileInfo::GetCompleteName() { return Value(kGeneralSection, 0, 0); }
QString CMediaFileInfo::GetFormat() { return Value(kGeneralSection, 1, 0); }
QString CMediaFileInfo::GetFileSize() { return Value(kGeneralSection, 2, 0); }
QString CMediaFileInfo::GetDuration() { return Value(kGeneralSection, 3, 0); }
QString CMediaFileInfo::GetTextCount() { return Value(kGeneralSection, 4, 0); }
QString CMediaFileInfo::GetVideoStreamCount() { return StreamCount(kVideoSection); }
QString CMediaFileInfo::GetAudioStreamCount() { return StreamCount(kAudioSection); }
QString CMediaFileInfo::GetVideoFormat(std::size_t n) { return Value(kVideoSection, 0, n); }
QString CMediaFileInfo::GetVideoFormatVersion(std::size_t n) { return Value(kVideoSection, 1, n); }
QString CMediaFileInfo::GetVideoWidth(std::size_t n) { return Value(kVideoSection, 2, n); }
QString CMediaFileInfo::GetVideoHeight(std::size_t n) { return Value(kVideoSection, 3, n); }
QString CMediaFileInfo::GetVideoFrameRate(std::size_t n) { return Value(kVideoSection, 4, n); }
QString CMediaFileInfo::GetVideoBitRate(std::size_t n) { return Value(kVideoSection, 5, n); }
QString CMediaFileInfo::GetVideoDisplayAspectRatio(std::size_t n) { return Value(kVideoSection, 6, n); }
QString CMediaFileInfo::GetVideoStandard(std::size_t n) { return Value(kVideoSection, 7, n); }
QString CMediaFileInfo::GetAudioFormat(std::size_t n) { return Value(kAudioSection, 0, n); }
QString CMediaFileInfo::GetAudioBitRate(std::size_t n) { return Value(kAudioSection, 1, n); }
QString CMediaFileInfo::GetAudioChannels(std::size_t n) { return Value(kAudioSection, 2, n); }
QString CMediaFileInfo::GetAudioSamplingRate(std::size_t n) { return Value(kAudioSection, 3, n); }
QString CMediaFileInfo::GetAudioFormatVersion(std::size_t n) { return Value(kAudioSection, 4, n); }
QString CMediaFileInfo::GetAudioLanguage(std::size_t n) { return Value(kAudioSection, 5, n); }
// clang-format on

} // namespace kq
