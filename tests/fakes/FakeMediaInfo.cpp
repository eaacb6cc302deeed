// A stand-in for the MediaInfo library, exporting its 25 C entry points, so that the binding,
// the record and the report can be tested exactly and without real media.
//
// Media files are small text descriptions: a first line "KQFAKEMEDIA", then lines that are
// empty, a comment (#), "<stream kind> <stream number> <parameter>=<value>" (UTF-8; the value
// may hold the escapes \\ \n \t \r and \xHH) or "!<behaviour> [argument]". A file of another
// form does not open, so a typo cannot go unnoticed.
//
// Behaviours make Open misbehave the way hostile files make the real library misbehave:
// "!hang" never returns, "!crash" aborts, "!allocate" takes memory without bound (a limit on
// the address space stops it at once, as no page but the first of each 64 MiB is touched),
// "!sleep <ms>" takes that long. "!escape <kind> [path]" tries what a library taken over by a
// crafted file would try, and answers the outcome as the Format of general stream 0
// ("<kind>:<error name>" or "<kind>:succeeded"): network (TCP to 127.0.0.1), unix-connect (to
// a path socket), abstract-connect, write (creates path), delete (path), modify-media (opens
// the file itself for writing), exec, fork (a child in a session of its own, named
// "kqescaped", that never ends), thread, ptrace-parent, signal-parent (SIGSTOP),
// proc-mem-parent, proc-cmdline-parent, vm-read-parent, descriptors (answers the open ones),
// perf, userfaultfd, bpf, keyctl, io-uring, unshare, prctl, seccomp, wait, landlock, sendto,
// i386 (a call of the 32-bit kind), read
// (answers the first line of path), forge (reads the worker's next request), unusable (a
// reply that the library cannot be used), not-utf8 and nul (a report with such a value) and
// oversized (64 MiB) on every descriptor open for writing, print (lines like the tool's own).
//
// Get answers the value given for (kind, number, parameter) when asked for text by name;
// CompleteName of general stream 0 defaults to the opened path; anything else is "". Option
// answers "<option>=<value>" (Info_Version: $KQ_FAKE_MEDIAINFO_VERSION when set). A reply lives
// until the next call on its handle, which overwrites it first, so a caller that keeps the pointer
// reads garbage.
//
// KQ_FAKE_MEDIAINFO_LOG names a file (or "stderr": standard error, with lines that start
// "kqfake: ") that gets one line per call: "New", "Delete", "Close", "Open <path>",
// "Get <kind> <number> <parameter> <info> <search>", "Option <option> <value>", or the entry
// point's name; and "Loaded" and "Unloaded" when the library is mapped and unmapped. Variants
// that lack one entry point hide it when they are linked (tests/fakes/CMakeLists.txt).

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <pthread.h>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/un.h>
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
locale_t g_utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
template <typename To, typename From>
To Utf8(const From& text, std::size_t (*convert)(typename To::value_type*,
                                                 const typename From::value_type*, std::size_t)) {
    To out(text.size() * 4 + 1, 0);
    const locale_t old = ::uselocale(g_utf8);
    out.resize(std::min(out.size(), convert(out.data(), text.c_str(), out.size())));
    ::uselocale(old);
    return out;
}
std::wstring Wide(const std::string& text) {
    return Utf8<std::wstring>(text, std::mbstowcs);
}
std::string Narrow(const wchar_t* text) {
    return text ? Utf8<std::string>(std::wstring(text), std::wcstombs) : "<null>";
}

void Log(const std::string& line) {
    const char* file = std::getenv("KQ_FAKE_MEDIAINFO_LOG");
    if (!file || !*file)
        return;
    // A worker may write no file: there the log goes to standard error.
    const bool toError = std::strcmp(file, "stderr") == 0;
    const std::string text = (toError ? "kqfake: " : "") + line + "\n";
    const int fd = toError ? 2 : ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && ::write(fd, text.data(), text.size()) >= 0 && !toError)
        ::close(fd);
}

// Handles still alive when the file is unmapped are freed with it.
std::set<FakeHandle*>* g_live = new std::set<FakeHandle*>;
FakeHandle g_shared; // replies of calls made without a handle

__attribute__((constructor)) void OnLoad() {
    Log("Loaded");
}
__attribute__((destructor)) void OnUnload() {
    Log("Unloaded");
    for (FakeHandle* handle : *g_live)
        delete handle;
    delete g_live;
    ::freelocale(g_utf8);
}

const wchar_t* Reply(void* handle, const std::wstring& text) {
    FakeHandle* h = handle ? static_cast<FakeHandle*>(handle) : &g_shared;
    // Overwritten and freed: a kept pointer reads "###", or AddressSanitizer reports it.
    std::fill(h->reply.begin(), h->reply.end(), L'#');
    std::wstring().swap(h->reply);
    h->reply = text;
    return h->reply.c_str();
}

std::string Escape(const std::string& kind, const std::string& path, const std::string& self) {
    const pid_t parent = ::getppid();
    long result = -1;
    char byte = 0;
    pthread_t thread{};
    iovec local{&byte, 1}, remote{reinterpret_cast<void*>(0x400000), 1};
    // A call and its first argument: what the worker may do (end its death signal, add a
    // filter, wait, use Landlock, send on its reply channel) a file's process may not.
    // clang-format off
    const std::map<std::string, std::pair<long, long>> calls = {
        {"perf", {SYS_perf_event_open, 0}}, {"userfaultfd", {SYS_userfaultfd, 0}}, {"bpf", {SYS_bpf, 0}},
        {"keyctl", {SYS_keyctl, 0}}, {"io-uring", {SYS_io_uring_setup, 0}}, {"unshare", {SYS_unshare, 0}},
        {"prctl", {SYS_prctl, PR_SET_PDEATHSIG}}, {"seccomp", {SYS_seccomp, 1}}, // SECCOMP_SET_MODE_FILTER
        {"wait", {SYS_wait4, -1}}, {"landlock", {SYS_landlock_create_ruleset, 0}}, {"sendto", {SYS_sendto, 3}}};
    // clang-format on
    errno = 0;
    if (const bool named = kind == "unix-connect" || kind == "abstract-connect";
        named || kind == "network") { // to path, or to a port on this machine
        sockaddr_un socketPath{AF_UNIX, {}};
        path.copy(socketPath.sun_path + (kind[0] == 'a'), sizeof socketPath.sun_path - 2);
        sockaddr_in inet{AF_INET, htons(9), {htonl(INADDR_LOOPBACK)}, {}};
        const int fd = ::socket(named ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
        result = named ? ::connect(fd, reinterpret_cast<sockaddr*>(&socketPath), sizeof socketPath)
                       : ::connect(fd, reinterpret_cast<sockaddr*>(&inet), sizeof inet);
    } else if (kind == "write" || kind == "modify-media")
        result = kind == "write" ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                                 : ::open(self.c_str(), O_RDWR);
    else if (kind == "delete")
        result = ::unlink(path.c_str());
    else if (kind == "exec")
        result = ::execl("/bin/true", "true", nullptr);
    else if (kind == "fork" && (result = ::fork()) == 0) {
        ::setsid();
        ::prctl(PR_SET_NAME, "kqescaped");
        for (;;)
            ::pause();
    } else if (kind == "ptrace-parent")
        result = ::ptrace(PTRACE_ATTACH, parent, nullptr, nullptr);
    else if (kind == "signal-parent")
        result = ::kill(parent, SIGSTOP);
    else if (kind == "proc-mem-parent" || kind == "proc-cmdline-parent")
        result = ::open(
            ("/proc/" + std::to_string(parent) + (kind[5] == 'm' ? "/mem" : "/cmdline")).c_str(),
            O_RDONLY);
    else if (kind == "thread" &&
             !(errno = ::pthread_create(
                   &thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr)))
        result = 0;
    else if (kind == "vm-read-parent")
        result = ::process_vm_readv(parent, &local, 1, &remote, 1, 0);
    else if (kind == "i386") // a call of another architecture
        asm volatile("int $0x80" : "=a"(result) : "a"(20L));
    else if (calls.count(kind))
        result = ::syscall(calls.at(kind).first, calls.at(kind).second, 0, 0, 0, 0);
    else if (kind == "read" && (result = ::open(path.c_str(), O_RDONLY)) >= 0) {
        std::string line(256, '\0');
        line.resize(std::max<ssize_t>(0, ::read(int(result), line.data(), line.size())));
        return kind + ":" + line.substr(0, line.find('\n'));
    } else if (kind == "forge") // the worker's next request, to answer it in its stead
        result = ::read(0, &byte, 1);
    else if (kind == "print") // lines that look like the tool's own, on standard error
        std::fputs("kqmediareport: left out /x: forged\r\033[K[1/1] x\n", stderr),
            std::fflush(stderr), result = std::puts("plain"), std::fflush(stdout);
    else if (kind == "unusable" || kind == "oversized" || kind == "not-utf8" || kind == "nul") {
        // On every descriptor it may write to, a framed reply on a socket, the bare reply on a
        // pipe; then nothing more. A report whose name is a stray byte, or holds U+0000.
        // A name of three bytes, six empty values, no streams.
        const std::string report = std::string("\x28\0\0\0\x01\x03\0\0\0", 9) +
                                   (kind == "nul" ? std::string("a\0b", 3) : "ab\xff") +
                                   std::string(32, '\0');
        const std::string frame = kind == "oversized" ? std::string(64 << 20, 'Z')
                                  : kind == "unusable"
                                      ? std::string("\x0b\0\0\0\x02\x06\0\0\0forged", 15)
                                      : report;
        struct stat st {};
        for (int fd = 3; fd < 1024; ++fd)
            if (const int flags = ::fcntl(fd, F_GETFL);
                flags >= 0 && (flags & O_ACCMODE) != O_RDONLY)
                result = ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode)
                             ? ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL)
                             : ::write(fd, frame.data() + 4 * (kind != "oversized"),
                                       frame.size() - 4 * (kind != "oversized"));
        if (kind != "oversized")
            ::_exit(0);
    }
    std::string open; // the descriptors, as "0,1,2"
    for (int fd = 0; kind == "descriptors" && fd < 1024; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0)
            open += (open.empty() ? "" : ",") + std::to_string(fd);
    return kind + ":" + (!open.empty() ? open : result >= 0 ? "succeeded" : strerrorname_np(errno));
}

bool Unescape(const std::string& text, std::string* out) {
    static const std::string escapes = "\\ntr", meanings = "\\\n\t\r";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = text[i] != '\\' ? 0 : ++i < text.size() ? text[i] : '?';
        if (next == 'x') { // the character U+00HH, in UTF-8
            const long c = std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16);
            *out += c < 0x80 ? std::string(1, char(c))
                             : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
            i += 2;
        } else if (next && escapes.find(next) == std::string::npos)
            return false;
        else
            *out += next ? meanings[escapes.find(next)] : text[i];
    }
    return true;
}

// Reads a description; false when the file is not one. Never blocks on a pipe or device.
bool Describe(const std::string& path, FakeHandle* h) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream file(path);
    std::string line, behaviour, argument, target;
    if (!std::getline(file, line) || line != "KQFAKEMEDIA")
        return false;
    while (std::getline(file, line)) {
        std::istringstream fields(line.substr(0, line.find_last_not_of('\r') + 1));
        int kind = 0;
        std::size_t number = 0;
        std::string rest, value;
        if (line[0] == '!')
            fields.ignore(1) >> behaviour >> argument >> target;
        else if (!line.empty() && line[0] != '#' &&
                 (!(fields >> kind >> number >> std::ws) || !std::getline(fields, rest) ||
                  rest.find('=') == 0 || rest.find('=') == std::string::npos ||
                  !Unescape(rest.substr(rest.find('=') + 1), &value)))
            return false;
        else if (!rest.empty())
            h->values[Key(kind, number, Wide(rest.substr(0, rest.find('='))))] = Wide(value);
    }
    file.close(); // before an escape counts the descriptors
    if (behaviour == "hang")
        for (;;)
            ::pause();
    if (behaviour == "crash")
        std::abort();
    for (; behaviour == "allocate";)
        *static_cast<volatile char*>(new char[64 << 20]) = 1;
    if (behaviour == "sleep")
        ::usleep(static_cast<useconds_t>(std::stol(argument) * 1000));
    if (behaviour == "escape")
        h->values[Key(0, 0, L"Format")] = Wide(Escape(argument, target, path));
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
    Log("Open " + Narrow(path));
    auto* h = static_cast<FakeHandle*>(handle);
    if (!h || !path)
        return 0;
    h->values.clear();
    h->path = path;
    h->open = Describe(Narrow(path), h);
    return h->open ? 1 : 0;
}

KQ_EXPORT void MediaInfo_Close(void* handle) {
    Log("Close");
    if (handle)
        static_cast<FakeHandle*>(handle)->open = false;
}

KQ_EXPORT const wchar_t* MediaInfo_Get(void* handle, int kind, std::size_t number,
                                       const wchar_t* parameter, int infoKind, int searchKind) {
    Log("Get " + std::to_string(kind) + " " + std::to_string(number) + " " + Narrow(parameter) +
        " " + std::to_string(infoKind) + " " + std::to_string(searchKind));
    const auto* h = static_cast<FakeHandle*>(handle);
    if (!h || !parameter || !h->open || infoKind != 1 || searchKind != 0)
        return Reply(handle, L"");
    if (const auto found = h->values.find(Key(kind, number, parameter)); found != h->values.end())
        return Reply(handle, found->second);
    const bool completeName =
        kind == 0 && number == 0 && std::wcscmp(parameter, L"CompleteName") == 0;
    return Reply(handle, completeName ? h->path : L"");
}

KQ_EXPORT const wchar_t* MediaInfo_Option(void* handle, const wchar_t* option,
                                          const wchar_t* value) {
    Log("Option " + Narrow(option) + " " + Narrow(value));
    const char* version = std::getenv("KQ_FAKE_MEDIAINFO_VERSION");
    if (version && option && std::wcscmp(option, L"Info_Version") == 0)
        return Reply(handle, Wide(version));
    return Reply(handle, std::wstring(option ? option : L"") + L"=" + (value ? value : L""));
}

// The entry points that the program only looks up.
#define KQ_UNCALLED(name)                                                                          \
    KQ_EXPORT void* name() {                                                                       \
        Log(#name);                                                                                \
        return nullptr;                                                                            \
    }
// clang-format off
KQ_UNCALLED(MediaInfoList_New) KQ_UNCALLED(MediaInfoList_Delete) KQ_UNCALLED(MediaInfoList_Open)
KQ_UNCALLED(MediaInfo_Open_Buffer_Init) KQ_UNCALLED(MediaInfo_Open_Buffer_Continue)
KQ_UNCALLED(MediaInfo_Open_Buffer_Continue_GoTo_Get) KQ_UNCALLED(MediaInfo_Open_Buffer_Finalize)
KQ_UNCALLED(MediaInfoList_Close) KQ_UNCALLED(MediaInfo_Inform) KQ_UNCALLED(MediaInfoList_Inform)
KQ_UNCALLED(MediaInfo_GetI) KQ_UNCALLED(MediaInfoList_GetI) KQ_UNCALLED(MediaInfoList_Get)
KQ_UNCALLED(MediaInfoList_Option) KQ_UNCALLED(MediaInfo_State_Get)
KQ_UNCALLED(MediaInfoList_State_Get) KQ_UNCALLED(MediaInfo_Count_Get)
KQ_UNCALLED(MediaInfoList_Count_Get)
KQ_UNCALLED(MediaInfoList_Count_Get_Files)
