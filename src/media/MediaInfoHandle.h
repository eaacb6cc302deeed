#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace kq {

// Run-time binding to the MediaInfo library's exported C interface.
//
// The library is loaded by its bare file name on the first construction of a handle object
// and stays loaded while handle objects hold it. Every reply of the library is copied at
// once: the library frees it on the next call on the same handle.

// Library stream kinds, info kinds and search kinds, as the library numbers them.
enum MediaStreamKind : int { kStreamGeneral = 0, kStreamVideo = 1, kStreamAudio = 2 };
enum MediaInfoKind : int { kInfoName = 0, kInfoText = 1 };

inline constexpr int kMediaEntryPointCount = 25;

// The exported names looked up at load time, in lookup order.
extern const char* const kMediaEntryPointNames[kMediaEntryPointCount];

// Loads the library (or counts one more load when it is loaded). Returns 1 on success,
// -1 on failure. A library that loads but lacks some names stays loaded with a count of 0.
int MediaLibrary_Load();
// Drops one load; the library file is released when the count comes back to 0.
void MediaLibrary_Unload();

// The library file name in use; "libmediainfo.so.0" unless changed. Changing it takes
// effect at the next load, so it is meant to be set before the first handle object.
QString MediaLibrary_FileName();
void MediaLibrary_SetFileName(const QString& fileName);
// "Unable to load " followed by the library file name in use.
QString MediaLibrary_FailureText();

// State of the process-wide binding, for diagnostics and tests.
unsigned MediaLibrary_LoadCount();
bool MediaLibrary_IsLoaded();

class CMediaInfoHandle {
public:
    CMediaInfoHandle();
    ~CMediaInfoHandle();
    CMediaInfoHandle(const CMediaInfoHandle&) = delete;
    CMediaInfoHandle& operator=(const CMediaInfoHandle&) = delete;

    // Usable: a library handle was obtained and every entry point these operations call
    // was found. When not ready, no call reaches the library.
    bool IsReady() const;
    // Why the handle is not ready: the failure text when the library could not be loaded, or
    // the entry points it lacks; empty when it is ready.
    QString Problem() const;

    std::size_t Open(const QString& path);
    // Parses bytes held in memory as a file of their own; non-zero when the library took them.
    // Not a condition of IsReady: a library without these entry points answers 0.
    std::size_t OpenBuffer(const QByteArray& bytes);
    void Close();
    QString Get(int streamKind, std::size_t streamNumber, const QString& parameter,
                int infoKind = kInfoText, int searchKind = kInfoName);
    QString Option(const QString& option, const QString& value);

private:
    void* m_handle = nullptr;
};

} // namespace kq
