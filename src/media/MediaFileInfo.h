#pragma once

#include "MediaFields.h"
#include "MediaInfoHandle.h"

#include <QString>

#include <cstddef>
#include <memory>

namespace kq {

// Answers the fixed questions of the report about one open media file at a time. Each
// answer is the library's own text for one parameter, unchanged.
class CMediaFileInfo {
public:
    // The one record of the process; created (and the library bound) on the first call.
    static CMediaFileInfo& GetInstance();

    CMediaFileInfo();
    virtual ~CMediaFileInfo();
    CMediaFileInfo(const CMediaFileInfo&) = delete;
    CMediaFileInfo& operator=(const CMediaFileInfo&) = delete;

    // Why no file can be opened (the library is missing or unusable); empty when it is usable.
    QString Problem() const { return m_handle->Problem(); }
    // The library's version, as it states it ("MediaInfoLib - v23.04").
    QString LibraryVersion() { return m_handle->Option(QStringLiteral("Info_Version"), QString()); }

    // Non-zero when the library opened the file.
    std::size_t Open(const QString& path);
    void Close();
    // Has the library load the tables that it otherwise loads while it parses a file: what
    // every parse needs then costs nothing more than a look-up.
    void LoadTables();
    // Opens bytes held in memory instead of a file (see CMediaInfoHandle::OpenBuffer).
    std::size_t OpenBuffer(const QByteArray& bytes) { return m_handle->OpenBuffer(bytes); }

    // The field-th value of section (of its n-th stream), and how many streams a section's
    // kind has: what the getters below ask, by the tables of MediaFields.h.
    QString Value(const MediaSection& section, int field, std::size_t n);
    QString StreamCount(const MediaSection& section);

    QString GetCompleteName();
    QString GetFormat();
    QString GetFileSize();
    QString GetDuration();
    QString GetVideoStreamCount();
    QString GetAudioStreamCount();
    QString GetTextCount();
    QString GetVideoFormat(std::size_t n);
    QString GetVideoFormatVersion(std::size_t n);
    QString GetVideoWidth(std::size_t n);
    QString GetVideoHeight(std::size_t n);
    QString GetVideoFrameRate(std::size_t n);
    QString GetVideoBitRate(std::size_t n);
    QString GetVideoDisplayAspectRatio(std::size_t n);
    QString GetVideoStandard(std::size_t n);
    QString GetAudioFormat(std::size_t n);
    QString GetAudioBitRate(std::size_t n);
    QString GetAudioChannels(std::size_t n);
    QString GetAudioSamplingRate(std::size_t n);
    QString GetAudioLanguage(std::size_t n);
    QString GetAudioFormatVersion(std::size_t n);

private:
    QString Ask(int streamKind, std::size_t n, const char* parameter);

    std::unique_ptr<CMediaInfoHandle> m_handle;
};

} // namespace kq
