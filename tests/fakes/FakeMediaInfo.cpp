// A stand-in for the MediaInfo library, exporting its C entry points with the library's own
// signatures (wchar_t texts), so that the binding, the record and the report can be tested
// exactly and without real media.
//
// Media files are small text descriptions:
//
//     KQFAKEMEDIA
//     # a comment
//     0 0 Format=MPEG-4
//     1 0 StreamCount=2
//     1 1 Format=AVC
//
// The first line must be exactly "KQFAKEMEDIA"; every other line is empty, a comment, or
// "<stream kind> <stream number> <parameter>=<value>". The value runs to the end of the line,
// blanks included, and may hold the escapes \\ \n \t \r and \xHH (the character U+00HH);
// anything else is UTF-8. A file that does not start with the magic line, or that holds a
// line of another form, does not open (so a typo cannot go unnoticed).
//
// A line "!<behaviour>" makes Open misbehave the way hostile files make the real library
// misbehave: "!hang" never returns, "!crash" aborts the process, "!allocate" allocates
// (and touches) memory without bound, "!network" opens a TCP connection to 127.0.0.1
// before answering, "!sleep <ms>" takes that long before answering.
//
// MediaInfo_Open(path) returns 1 when the description opens, else 0. MediaInfo_Get answers
// the value given for (kind, number, parameter) when asked for text (info kind 1) by name
// (search kind 0); CompleteName of general stream 0 defaults to the path that was opened;
// everything else answers "". MediaInfo_Option answers "<option>=<value>".
//
// Every reply lives in a buffer of its handle that is overwritten and freed by the next call
// that replies, so a caller that keeps the library's pointer reads garbage, and
// AddressSanitizer reports it.
//
// When KQ_FAKE_MEDIAINFO_LOG names a file, every call is appended to it as one line:
//     New | Delete | Close | Open <path> | Get <kind> <number> <parameter> <info> <search>
//     Option <option> <value> | <full entry point name> for the entry points not listed
// An empty text shows as nothing, a null pointer as "<null>"; control characters and the
// backslash are escaped as in the descriptions, so every call stays on one line.
// When KQ_FAKE_MEDIAINFO_LOAD_LOG names a file, "Loaded" and "Unloaded" are appended to it
// when the library file is mapped and unmapped.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define KQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Key = std::tuple<int, std::size_t, std::wstring>;

struct FakeHandle;
void DropReply(FakeHandle* h);

struct FakeHandle {
    FakeHandle() = default;
    FakeHandle(const FakeHandle&) = delete;
    FakeHandle& operator=(const FakeHandle&) = delete;
    ~FakeHandle() { DropReply(this); }

    bool open = false;
    std::wstring path;
    std::map<Key, std::wstring> values;
    wchar_t* reply = nullptr;
    std::size_t replyLength = 0;
};

// Replies of calls made without a handle (the library allows options without one).
FakeHandle g_shared;

// --- text conversion ------------------------------------------------------------------------

// wchar_t is UTF-32 here; a plain conversion, independent of the process locale.
std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<unsigned long>(wc);
        if (c > 0x10FFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Decodes UTF-8; a malformed sequence gives U+FFFD.
std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2
                             : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        unsigned long c = extra == 0 ? b : b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Resolves the escapes of a description value; false on an unknown or cut-off escape.
bool Unescape(const std::string& text, std::wstring* out) {
    std::string plain;
    std::wstring result;
    auto flush = [&] {
        result += FromUtf8(plain);
        plain.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\': plain += '\\'; break;
        case 'n': plain += '\n'; break;
        case 't': plain += '\t'; break;
        case 'r': plain += '\r'; break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            flush();
            result += static_cast<wchar_t>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    flush();
    *out = result;
    return true;
}

// --- the call log ---------------------------------------------------------------------------

std::string EscapeForLog(const std::string& utf8) {
    std::string out;
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string LogText(const wchar_t* text) {
    return text ? EscapeForLog(ToUtf8(text)) : std::string("<null>");
}

void AppendLine(const char* variable, const std::string& line) {
    const char* file = std::getenv(variable);
    if (!file || !*file)
        return;
    const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void Log(const std::string& line) { AppendLine("KQ_FAKE_MEDIAINFO_LOG", line); }

// Handles still alive when the file is unmapped: a caller that unloads the library under a
// handle of its own cannot give that handle back, so the library frees it itself.
std::set<FakeHandle*>& LiveHandles() {
    static auto* live = new std::set<FakeHandle*>;
    return *live;
}

FakeHandle* NewHandle() {
    auto* handle = new FakeHandle;
    LiveHandles().insert(handle);
    return handle;
}

void DeleteHandle(void* handle) {
    auto* h = static_cast<FakeHandle*>(handle);
    if (LiveHandles().erase(h) != 0)
        delete h;
}

__attribute__((constructor)) void OnLoad() { AppendLine("KQ_FAKE_MEDIAINFO_LOAD_LOG", "Loaded"); }
__attribute__((destructor)) void OnUnload() {
    AppendLine("KQ_FAKE_MEDIAINFO_LOAD_LOG", "Unloaded");
    for (FakeHandle* handle : LiveHandles())
        delete handle;
    delete &LiveHandles();
}

// --- replies --------------------------------------------------------------------------------

FakeHandle* HandleOf(void* handle) {
    return handle ? static_cast<FakeHandle*>(handle) : &g_shared;
}

void DropReply(FakeHandle* h) {
    if (!h->reply)
        return;
    // Overwrite before freeing: a kept pointer then reads "####..." even without ASan.
    std::wmemset(h->reply, L'#', h->replyLength);
    std::free(h->reply);
    h->reply = nullptr;
    h->replyLength = 0;
}

const wchar_t* Reply(void* handle, const std::wstring& text) {
    FakeHandle* h = HandleOf(handle);
    DropReply(h);
    h->reply = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    if (!h->reply)
        return L"";
    std::wmemcpy(h->reply, text.c_str(), text.size() + 1);
    h->replyLength = text.size();
    return h->reply;
}

// --- descriptions ---------------------------------------------------------------------------

struct Behaviour {
    std::string name;
    long milliseconds = 0;
};

void Misbehave(const Behaviour& behaviour) {
    if (behaviour.name == "hang") {
        for (;;)
            ::pause();
    } else if (behaviour.name == "crash") {
        std::abort();
    } else if (behaviour.name == "allocate") {
        // Touched, so the pages are really taken; never freed, like a runaway parser.
        for (;;) {
            char* block = new char[64u << 20];
            std::memset(block, 1, 64u << 20);
        }
    } else if (behaviour.name == "network") {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        Log(fd >= 0 ? "Socket opened" : "Socket refused");
        if (fd >= 0) {
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons(9);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ::close(fd);
        }
    } else if (behaviour.name == "sleep") {
        timespec wait {behaviour.milliseconds / 1000, (behaviour.milliseconds % 1000) * 1000000};
        while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
    }
}

bool ParseBehaviour(const std::string& line, Behaviour* behaviour) {
    char name[16] = {};
    long milliseconds = 0;
    const int fields = std::sscanf(line.c_str(), "!%15s %ld", name, &milliseconds);
    const std::string text = name;
    if (fields < 1 || (text != "hang" && text != "crash" && text != "allocate" &&
                       text != "network" && text != "sleep"))
        return false;
    behaviour->name = text;
    behaviour->milliseconds = milliseconds;
    return true;
}

bool ReadDescription(const std::string& path, std::map<Key, std::wstring>* values,
                     Behaviour* behaviour) {
    // Never block on a pipe or a device: such a path must not reach the library at all,
    // and the log already shows that it did.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (1 << 20)) {
        ::close(fd);
        return false;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);

    std::map<Key, std::wstring> parsed;
    std::size_t start = 0;
    bool first = true;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first) {
            if (line != "KQFAKEMEDIA")
                return false;
            first = false;
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '!') {
            if (!ParseBehaviour(line, behaviour))
                return false;
            continue;
        }
        int kind = 0;
        unsigned long number = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%d %lu %n", &kind, &number, &consumed) != 2 ||
            consumed <= 0)
            return false;
        const std::string rest = line.substr(static_cast<std::size_t>(consumed));
        const std::size_t equals = rest.find('=');
        if (equals == std::string::npos || equals == 0)
            return false;
        std::wstring value;
        if (!Unescape(rest.substr(equals + 1), &value))
            return false;
        parsed[Key(kind, number, FromUtf8(rest.substr(0, equals)))] = value;
    }
    if (first)
        return false; // empty file
    *values = std::move(parsed);
    return true;
}

} // namespace

// --- the entry points that the program calls ------------------------------------------------

KQ_EXPORT void* MediaInfo_New() {
    Log("New");
    return NewHandle();
}

KQ_EXPORT void MediaInfo_Delete(void* handle) {
    Log("Delete");
    if (!handle)
        return;
    DeleteHandle(handle);
}

KQ_EXPORT std::size_t MediaInfo_Open(void* handle, const wchar_t* path) {
    Log("Open " + LogText(path));
    if (!handle || !path)
        return 0;
    auto* h = static_cast<FakeHandle*>(handle);
    h->open = false;
    h->values.clear();
    std::map<Key, std::wstring> values;
    Behaviour behaviour;
    if (!ReadDescription(ToUtf8(path), &values, &behaviour))
        return 0;
    Misbehave(behaviour);
    h->open = true;
    h->path = path;
    h->values = std::move(values);
    return 1;
}

#ifndef KQ_FAKE_WITHOUT_CLOSE
KQ_EXPORT void MediaInfo_Close(void* handle) {
    Log("Close");
    if (!handle)
        return;
    auto* h = static_cast<FakeHandle*>(handle);
    h->open = false;
    h->values.clear();
    h->path.clear();
}
#endif

KQ_EXPORT const wchar_t* MediaInfo_Get(void* handle, int streamKind, std::size_t streamNumber,
                                       const wchar_t* parameter, int infoKind, int searchKind) {
    Log("Get " + std::to_string(streamKind) + " " + std::to_string(streamNumber) + " " +
        LogText(parameter) + " " + std::to_string(infoKind) + " " + std::to_string(searchKind));
    if (!handle || !parameter)
        return Reply(handle, std::wstring());
    const FakeHandle* h = static_cast<FakeHandle*>(handle);
    if (!h->open || infoKind != 1 || searchKind != 0)
        return Reply(handle, std::wstring());
    const auto found = h->values.find(Key(streamKind, streamNumber, parameter));
    if (found != h->values.end())
        return Reply(handle, found->second);
    if (streamKind == 0 && streamNumber == 0 && std::wcscmp(parameter, L"CompleteName") == 0)
        return Reply(handle, h->path);
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfo_Option(void* handle, const wchar_t* option,
                                          const wchar_t* value) {
    Log("Option " + LogText(option) + " " + LogText(value));
    std::wstring reply = option ? option : L"";
    reply += L"=";
    reply += value ? value : L"";
    return Reply(handle, reply);
}

// --- the entry points that the program only looks up ----------------------------------------

KQ_EXPORT void* MediaInfoList_New() {
    Log("MediaInfoList_New");
    return NewHandle();
}

KQ_EXPORT void MediaInfoList_Delete(void* handle) {
    Log("MediaInfoList_Delete");
    if (!handle)
        return;
    DeleteHandle(handle);
}

KQ_EXPORT std::size_t MediaInfoList_Open(void*, const wchar_t*, int) {
    Log("MediaInfoList_Open");
    return 0;
}

KQ_EXPORT std::size_t MediaInfo_Open_Buffer_Init(void*, unsigned long long, unsigned long long) {
    Log("MediaInfo_Open_Buffer_Init");
    return 0;
}

KQ_EXPORT std::size_t MediaInfo_Open_Buffer_Continue(void*, unsigned char*, std::size_t) {
    Log("MediaInfo_Open_Buffer_Continue");
    return 0;
}

KQ_EXPORT unsigned long long MediaInfo_Open_Buffer_Continue_GoTo_Get(void*) {
    Log("MediaInfo_Open_Buffer_Continue_GoTo_Get");
    return static_cast<unsigned long long>(-1);
}

KQ_EXPORT std::size_t MediaInfo_Open_Buffer_Finalize(void*) {
    Log("MediaInfo_Open_Buffer_Finalize");
    return 0;
}

KQ_EXPORT void MediaInfoList_Close(void*, std::size_t) { Log("MediaInfoList_Close"); }

KQ_EXPORT const wchar_t* MediaInfo_Inform(void* handle, std::size_t) {
    Log("MediaInfo_Inform");
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfoList_Inform(void* handle, std::size_t, std::size_t) {
    Log("MediaInfoList_Inform");
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfo_GetI(void* handle, int, std::size_t, std::size_t, int) {
    Log("MediaInfo_GetI");
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfoList_GetI(void* handle, std::size_t, int, std::size_t,
                                            std::size_t, int) {
    Log("MediaInfoList_GetI");
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfoList_Get(void* handle, std::size_t, int, std::size_t,
                                           const wchar_t*, int, int) {
    Log("MediaInfoList_Get");
    return Reply(handle, std::wstring());
}

KQ_EXPORT const wchar_t* MediaInfoList_Option(void* handle, const wchar_t*, const wchar_t*) {
    Log("MediaInfoList_Option");
    return Reply(handle, std::wstring());
}

KQ_EXPORT std::size_t MediaInfo_State_Get(void*) {
    Log("MediaInfo_State_Get");
    return 0;
}

KQ_EXPORT std::size_t MediaInfoList_State_Get(void*) {
    Log("MediaInfoList_State_Get");
    return 0;
}

KQ_EXPORT std::size_t MediaInfo_Count_Get(void*, int, std::size_t) {
    Log("MediaInfo_Count_Get");
    return 0;
}

KQ_EXPORT std::size_t MediaInfoList_Count_Get(void*, std::size_t, int, std::size_t) {
    Log("MediaInfoList_Count_Get");
    return 0;
}

#ifndef KQ_FAKE_WITHOUT_LIST_COUNT_GET_FILES
KQ_EXPORT std::size_t MediaInfoList_Count_Get_Files(void*) {
    Log("MediaInfoList_Count_Get_Files");
    return 0;
}
#endif
