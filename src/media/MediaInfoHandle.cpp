#include "MediaInfoHandle.h"

#include "platform/SharedLibrary.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <cwchar>
#include <string>

namespace kq {

const char* const kMediaEntryPointNames[kMediaEntryPointCount] = {
    "MediaInfo_New",
    "MediaInfoList_New",
    "MediaInfo_Delete",
    "MediaInfoList_Delete",
    "MediaInfo_Open",
    "MediaInfoList_Open",
    "MediaInfo_Open_Buffer_Init",
    "MediaInfo_Open_Buffer_Continue",
    "MediaInfo_Open_Buffer_Continue_GoTo_Get",
    "MediaInfo_Open_Buffer_Finalize",
    "MediaInfo_Close",
    "MediaInfoList_Close",
    "MediaInfo_Inform",
    "MediaInfoList_Inform",
    "MediaInfo_GetI",
    "MediaInfoList_GetI",
    "MediaInfo_Get",
    "MediaInfoList_Get",
    "MediaInfo_Option",
    "MediaInfoList_Option",
    "MediaInfo_State_Get",
    "MediaInfoList_State_Get",
    "MediaInfo_Count_Get",
    "MediaInfoList_Count_Get",
    "MediaInfoList_Count_Get_Files",
};

namespace {

// Slots of the entry points that are called.
enum : int {
    kNew = 0,
    kDelete = 2,
    kOpen = 4,
    kBufferInit = 6,
    kBufferContinue = 7,
    kBufferFinalize = 9,
    kClose = 10,
    kGet = 16,
    kOption = 18
};

using NewFn = void* (*)();
using DeleteFn = void (*)(void*);
using OpenFn = std::size_t (*)(void*, const wchar_t*);
using CloseFn = void (*)(void*);
using BufferInitFn = std::size_t (*)(void*, std::uint64_t, std::uint64_t);
using BufferContinueFn = std::size_t (*)(void*, const std::uint8_t*, std::size_t);
using BufferFinalizeFn = std::size_t (*)(void*);
using GetFn = const wchar_t* (*)(void*, int, std::size_t, const wchar_t*, int, int);
using OptionFn = const wchar_t* (*)(void*, const wchar_t*, const wchar_t*);

struct Binding {
    kq::platform::LibraryHandle module = nullptr;
    unsigned loadCount = 0;
    std::array<void*, kMediaEntryPointCount> entryPoints{};
    QString fileName = QStringLiteral("libmediainfo.so.0");
};

Binding& State() {
    static Binding binding;
    return binding;
}

template <typename Fn> Fn Slot(int index) {
    return reinterpret_cast<Fn>(State().entryPoints[static_cast<std::size_t>(index)]);
}

// The library's wchar_t is UTF-32 here; the returned buffer is NUL-terminated.
std::wstring Wide(const QString& text) {
    return text.toStdWString();
}

QString CopyReply(const wchar_t* reply) {
    if (!reply)
        return QString();
    return QString::fromWCharArray(reply, static_cast<qsizetype>(std::wcslen(reply)));
}

} // namespace

int MediaLibrary_Load() {
    Binding& b = State();
    if (b.loadCount != 0) {
        ++b.loadCount;
        return 1;
    }
    b.module = kq::platform::LoadSharedLibrary(b.fileName);
    if (!b.module)
        return -1;
    int misses = 0;
    for (int i = 0; i < kMediaEntryPointCount; ++i) {
        void* address = kq::platform::ResolveSymbol(b.module, kMediaEntryPointNames[i]);
        b.entryPoints[static_cast<std::size_t>(i)] = address;
        if (!address)
            ++misses;
    }
    if (misses != 0)
        return -1; // partly resolved: the module stays loaded with a count of 0
    b.loadCount = 1;
    return 1;
}

void MediaLibrary_Unload() {
    Binding& b = State();
    if (b.loadCount == 0)
        return; // nothing counted to drop (a partly resolved library is never released)
    if (--b.loadCount == 0) {
        kq::platform::FreeSharedLibrary(b.module);
        b.module = nullptr;
        b.entryPoints.fill(nullptr);
    }
}

QString MediaLibrary_FileName() {
    return State().fileName;
}

void MediaLibrary_SetFileName(const QString& fileName) {
    State().fileName = fileName;
}

QString MediaLibrary_FailureText() {
    return QStringLiteral("Unable to load ") + State().fileName;
}

unsigned MediaLibrary_LoadCount() {
    return State().loadCount;
}

bool MediaLibrary_IsLoaded() {
    return State().module != nullptr;
}

CMediaInfoHandle::CMediaInfoHandle() {
    if (!State().module)
        MediaLibrary_Load();
    if (!State().module)
        return;
    if (auto create = Slot<NewFn>(kNew))
        m_handle = create();
}

CMediaInfoHandle::~CMediaInfoHandle() {
    if (!m_handle || !State().module)
        return;
    // Also a handle that lacks some other entry point is given back to the library.
    if (auto destroy = Slot<DeleteFn>(kDelete))
        destroy(m_handle);
    MediaLibrary_Unload();
}

namespace {
constexpr int kCalledSlots[] = {kNew, kDelete, kOpen, kClose, kGet, kOption};
}

bool CMediaInfoHandle::IsReady() const {
    // A library lacking any entry point that the handle calls is treated as absent, so
    // no call ever goes through an empty slot.
    const Binding& b = State();
    if (!m_handle || !b.module)
        return false;
    for (int slot : kCalledSlots)
        if (!b.entryPoints[static_cast<std::size_t>(slot)])
            return false;
    return true;
}

QString CMediaInfoHandle::Problem() const {
    if (IsReady())
        return QString(); // one rule decides, so a handle that calls is one that works
    const Binding& b = State();
    if (!b.module)
        return MediaLibrary_FailureText();
    QStringList missing;
    for (int slot : kCalledSlots)
        if (!b.entryPoints[static_cast<std::size_t>(slot)])
            missing << QLatin1String(kMediaEntryPointNames[slot]);
    if (!missing.isEmpty())
        return QStringLiteral("%1 has no %2").arg(b.fileName, missing.join(QStringLiteral(", ")));
    return QStringLiteral("%1 gave no media handle").arg(b.fileName);
}

std::size_t CMediaInfoHandle::Open(const QString& path) {
    if (!IsReady())
        return 0;
    const std::wstring wide = Wide(path);
    return Slot<OpenFn>(kOpen)(m_handle, wide.c_str());
}

std::size_t CMediaInfoHandle::OpenBuffer(const QByteArray& bytes) {
    const auto init = Slot<BufferInitFn>(kBufferInit);
    const auto next = Slot<BufferContinueFn>(kBufferContinue);
    const auto finish = Slot<BufferFinalizeFn>(kBufferFinalize);
    if (!IsReady() || !init || !next || !finish ||
        init(m_handle, static_cast<std::uint64_t>(bytes.size()), 0) == 0)
        return 0;
    next(m_handle, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
         static_cast<std::size_t>(bytes.size()));
    return finish(m_handle);
}

void CMediaInfoHandle::Close() {
    if (IsReady())
        Slot<CloseFn>(kClose)(m_handle);
}

QString CMediaInfoHandle::Get(int streamKind, std::size_t streamNumber, const QString& parameter,
                              int infoKind, int searchKind) {
    if (!IsReady())
        return MediaLibrary_FailureText();
    const std::wstring wide = Wide(parameter);
    return CopyReply(
        Slot<GetFn>(kGet)(m_handle, streamKind, streamNumber, wide.c_str(), infoKind, searchKind));
}

QString CMediaInfoHandle::Option(const QString& option, const QString& value) {
    if (!IsReady())
        return MediaLibrary_FailureText();
    const std::wstring wideOption = Wide(option);
    const std::wstring wideValue = Wide(value);
    return CopyReply(Slot<OptionFn>(kOption)(m_handle, wideOption.c_str(), wideValue.c_str()));
}

} // namespace kq
