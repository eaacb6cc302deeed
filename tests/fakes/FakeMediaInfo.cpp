// A stand-in for the MediaInfo library, exporting its 25 C entry points, so that the binding,
// the record and the report can be tested exactly and without real media.
//
// Media files are small text descriptions: a first line "KQFAKEMEDIA", then lines that are
// empty, a comment (#), "<stream kind> <stream number> <parameter>=<value>" (UTF-8; the value
// may hold the escapes \\ \n \t \r and \xHH) or "!<behaviour> [argument]". A file of another
// form does not open, so a typo cannot go unnoticed.
//
// Behaviours make Open misbehave the way hostile files make the real library misbehave:
// "!hang" never returns, "!crash" aborts, "!allocate" takes touched memory without bound,
// "!network" opens a TCP connection to 127.0.0.1, "!sleep <ms>" takes that long.
//
// Get answers the value given for (kind, number, parameter) when asked for text by name;
// CompleteName of general stream 0 defaults to the opened path; anything else is "". Option
// answers "<option>=<value>". A reply lives until the next call on its handle, which
// overwrites it first, so a caller that keeps the pointer reads garbage.
//
// KQ_FAKE_MEDIAINFO_LOG names a file that gets one line per call: "New", "Delete", "Close",
// "Open <path>", "Get <kind> <number> <parameter> <info> <search>", "Option <option> <value>",
// or the entry point's name. KQ_FAKE_MEDIAINFO_LOAD_LOG gets "Loaded" and "Unloaded".
// Built without MediaInfo_Close (KQ_FAKE_WITHOUT_CLOSE) or without
// MediaInfoList_Count_Get_Files (KQ_FAKE_WITHOUT_LIST_COUNT_GET_FILES) when asked to.

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#define KQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Key = std::tuple<int, std::size_t, std::wstring>;

struct FakeHandle {
    std::wstring path;
    std::map<Key, std::wstring> values;
    std::wstring reply;
    bool open = false;
};

// Conversions independent of the caller's locale: glibc always has C.UTF-8.
struct Utf8 {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::wstring Wide(const std::string& text) const {
        std::wstring out(text.size() + 1, L'\0');
        const locale_t old = uselocale(locale);
        const std::size_t n = std::mbstowcs(out.data(), text.c_str(), out.size());
        uselocale(old);
        out.resize(n == static_cast<std::size_t>(-1) ? 0 : n);
        return out;
    }
    std::string Narrow(const wchar_t* text) const {
        if (!text)
            return "<null>";
        std::string out(std::wcslen(text) * 4 + 1, '\0');
        const locale_t old = uselocale(locale);
        const std::size_t n = std::wcstombs(out.data(), text, out.size());
        uselocale(old);
        out.resize(n == static_cast<std::size_t>(-1) ? 0 : n);
        return out;
    }
};
const Utf8& Text() {
    static const Utf8 utf8;
    return utf8;
}

void Append(const char* variable, const std::string& line) {
    if (const char* file = std::getenv(variable); file && *file) {
        const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        const std::string text = line + "\n";
        if (fd >= 0 && ::write(fd, text.data(), text.size()) >= 0)
            ::close(fd);
    }
}
void Log(const std::string& line) { Append("KQ_FAKE_MEDIAINFO_LOG", line); }

// Handles still alive when the file is unmapped are freed with it.
std::set<FakeHandle*>* g_live = new std::set<FakeHandle*>;
FakeHandle g_shared; // replies of calls made without a handle

__attribute__((constructor)) void OnLoad() { Append("KQ_FAKE_MEDIAINFO_LOAD_LOG", "Loaded"); }
__attribute__((destructor)) void OnUnload() {
    Append("KQ_FAKE_MEDIAINFO_LOAD_LOG", "Unloaded");
    for (FakeHandle* handle : *g_live)
        delete handle;
    delete g_live;
}

const wchar_t* Reply(void* handle, const std::wstring& text) {
    FakeHandle* h = handle ? static_cast<FakeHandle*>(handle) : &g_shared;
    // Overwritten and freed: a kept pointer reads "###", or AddressSanitizer reports it.
    std::fill(h->reply.begin(), h->reply.end(), L'#');
    std::wstring().swap(h->reply);
    h->reply = text;
    return h->reply.c_str();
}

bool Unescape(const std::string& text, std::string* out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        switch (++i < text.size() ? text[i] : '?') {
        case '\\': *out += '\\'; break;
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case 'r': *out += '\r'; break;
        case 'x': { // the character U+00HH, in UTF-8
            const long c = std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16);
            *out += c < 0x80 ? std::string(1, char(c)) : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

void Misbehave(const std::string& name, long argument) {
    if (name == "hang")
        for (;;)
            ::pause();
    if (name == "crash")
        std::abort();
    if (name == "allocate")
        for (;;)
            std::memset(new char[64 << 20], 1, 64 << 20);
    if (name == "sleep")
        ::usleep(static_cast<useconds_t>(argument * 1000));
    if (name == "network") {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        Log(fd >= 0 ? "Socket opened" : "Socket refused");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(9);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
}

// Reads a description; false when the file is not one. Never blocks on a pipe or device.
bool Describe(const std::string& path, FakeHandle* h) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line) || line != "KQFAKEMEDIA")
        return false;
    std::string behaviour;
    long argument = 0;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream fields(line);
        int kind = 0;
        std::size_t number = 0;
        std::string rest, value;
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '!') {
            fields.ignore(1) >> behaviour >> argument;
            continue;
        }
        if (!(fields >> kind >> number >> std::ws) || !std::getline(fields, rest))
            return false;
        const std::size_t equals = rest.find('=');
        if (equals == std::string::npos || equals == 0 || !Unescape(rest.substr(equals + 1), &value))
            return false;
        h->values[Key(kind, number, Text().Wide(rest.substr(0, equals)))] = Text().Wide(value);
    }
    Misbehave(behaviour, argument);
    return true;
}

} // namespace

KQ_EXPORT void* MediaInfo_New() {
    Log("New");
    return *g_live->insert(new FakeHandle).first;
}

KQ_EXPORT void MediaInfo_Delete(void* handle) {
    Log("Delete");
    if (g_live->erase(static_cast<FakeHandle*>(handle)) != 0)
        delete static_cast<FakeHandle*>(handle);
}

KQ_EXPORT std::size_t MediaInfo_Open(void* handle, const wchar_t* path) {
    Log("Open " + Text().Narrow(path));
    auto* h = static_cast<FakeHandle*>(handle);
    if (!h || !path)
        return 0;
    h->values.clear();
    h->path = path;
    h->open = Describe(Text().Narrow(path), h);
    return h->open ? 1 : 0;
}

#ifndef KQ_FAKE_WITHOUT_CLOSE
KQ_EXPORT void MediaInfo_Close(void* handle) {
    Log("Close");
    if (handle)
        static_cast<FakeHandle*>(handle)->open = false;
}
#endif

KQ_EXPORT const wchar_t* MediaInfo_Get(void* handle, int kind, std::size_t number,
                                       const wchar_t* parameter, int infoKind, int searchKind) {
    Log("Get " + std::to_string(kind) + " " + std::to_string(number) + " " +
        Text().Narrow(parameter) + " " + std::to_string(infoKind) + " " +
        std::to_string(searchKind));
    const auto* h = static_cast<FakeHandle*>(handle);
    if (!h || !parameter || !h->open || infoKind != 1 || searchKind != 0)
        return Reply(handle, L"");
    if (const auto found = h->values.find(Key(kind, number, parameter)); found != h->values.end())
        return Reply(handle, found->second);
    const bool completeName = kind == 0 && number == 0 && std::wcscmp(parameter, L"CompleteName") == 0;
    return Reply(handle, completeName ? h->path : L"");
}

KQ_EXPORT const wchar_t* MediaInfo_Option(void* handle, const wchar_t* option,
                                          const wchar_t* value) {
    Log("Option " + Text().Narrow(option) + " " + Text().Narrow(value));
    return Reply(handle, std::wstring(option ? option : L"") + L"=" + (value ? value : L""));
}

// The entry points that the program only looks up.
#define KQ_UNCALLED(name)                                                                          \
    KQ_EXPORT void* name() {                                                                       \
        Log(#name);                                                                                \
        return nullptr;                                                                            \
    }
KQ_UNCALLED(MediaInfoList_New)
KQ_UNCALLED(MediaInfoList_Delete)
KQ_UNCALLED(MediaInfoList_Open)
KQ_UNCALLED(MediaInfo_Open_Buffer_Init)
KQ_UNCALLED(MediaInfo_Open_Buffer_Continue)
KQ_UNCALLED(MediaInfo_Open_Buffer_Continue_GoTo_Get)
KQ_UNCALLED(MediaInfo_Open_Buffer_Finalize)
KQ_UNCALLED(MediaInfoList_Close)
KQ_UNCALLED(MediaInfo_Inform)
KQ_UNCALLED(MediaInfoList_Inform)
KQ_UNCALLED(MediaInfo_GetI)
KQ_UNCALLED(MediaInfoList_GetI)
KQ_UNCALLED(MediaInfoList_Get)
KQ_UNCALLED(MediaInfoList_Option)
KQ_UNCALLED(MediaInfo_State_Get)
KQ_UNCALLED(MediaInfoList_State_Get)
KQ_UNCALLED(MediaInfo_Count_Get)
KQ_UNCALLED(MediaInfoList_Count_Get)
#ifndef KQ_FAKE_WITHOUT_LIST_COUNT_GET_FILES
KQ_UNCALLED(MediaInfoList_Count_Get_Files)
#endif
