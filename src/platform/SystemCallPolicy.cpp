#include "SystemCallPolicy.h"

#include "WorkerExit.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kq::platform {

namespace {

// The calls a parse needs (found by tracing the worker on the samples, damaged copies of them
// and the hostile files) and that touch nothing outside the process.
const char* const kAllowed[] = {
    "read",
    "readv",
    "pread64",
    "preadv",
    "preadv2",
    "lseek",
    "close",
    "fstat",
    "newfstatat",
    "statx",
    "stat",
    "lstat",
    "access",
    "faccessat",
    "faccessat2",
    "readlink",
    "readlinkat",
    "getdents64",
    "getcwd",
    "fcntl",
    "dup",
    "dup2",
    "dup3",
    "fstatfs",
    "statfs",
    "fadvise64",
    "mmap",
    "munmap",
    "mprotect",
    "mremap",
    "madvise",
    "brk",
    "futex",
    "set_robust_list",
    "rseq",
    "rt_sigprocmask",
    "rt_sigreturn",
    "sigaltstack",
    "exit",
    "exit_group",
    "restart_syscall",
    "getpid",
    "gettid",
    "getppid",
    "getuid",
    "geteuid",
    "getgid",
    "getegid",
    "clock_gettime",
    "clock_getres",
    "gettimeofday",
    "time",
    "nanosleep",
    "clock_nanosleep",
    "pause",
    "sched_yield",
    "poll",
    "ppoll",
    "sched_getaffinity",
    "getrandom",
    "uname",
    "sysinfo",
    "getrlimit",
    "getrusage",
    "membarrier",
};

// Calls that stop the process with the reason of their kind.
struct Blocked {
    BlockedAttempt kind;
    const char* names[40];
};
const Blocked kBlocked[] = {
    {BlockedAttempt::Network,
     {"socket", "socketpair", "connect", "bind", "listen", "accept", "accept4", "sendmsg",
      "sendmmsg", "recvfrom", "recvmsg", "recvmmsg", "shutdown", "getsockopt", "setsockopt",
      "getsockname", "getpeername"}},
    {BlockedAttempt::Program, {"execve", "execveat", "fork", "vfork"}},
    {BlockedAttempt::Write,
     {"creat",     "unlink",      "unlinkat",        "rename",       "renameat",  "renameat2",
      "mkdir",     "mkdirat",     "rmdir",           "link",         "linkat",    "symlink",
      "symlinkat", "chmod",       "fchmod",          "fchmodat",     "chown",     "fchown",
      "lchown",    "fchownat",    "truncate",        "ftruncate",    "mknod",     "mknodat",
      "utime",     "utimes",      "utimensat",       "futimesat",    "setxattr",  "lsetxattr",
      "fsetxattr", "removexattr", "lremovexattr",    "fremovexattr", "fallocate", "pwrite64",
      "pwritev",   "pwritev2",    "copy_file_range", "sendfile"}},
    {BlockedAttempt::OtherProcess,
     {"ptrace", "process_vm_readv", "process_vm_writev", "pidfd_open", "pidfd_getfd",
      "pidfd_send_signal", "kcmp", "tkill"}},
};

// What a rule does with a call that matches it.
enum class Act { Allow, Trap, Fail, NoSystemCall };

// A rule of a filter: the call, what is done with it, the reason a trap gives, and up to two
// conditions on its arguments.
struct Rule {
    const char* name;
    Act act;
    BlockedAttempt kind = BlockedAttempt::Network;
    std::vector<scmp_arg_cmp> args = {};
};

scmp_arg_cmp Arg(unsigned index, scmp_compare op, scmp_datum_t value, scmp_datum_t mask = 0) {
    return {index, op, value, mask};
}

const char* const kSignalling[] = {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"};
// What only the worker needs: to start and confine a file's process, and to wait for it.
const char* const kStartingFileProcesses[] = {"wait4",
                                              "pipe2",
                                              "close_range",
                                              "landlock_create_ruleset",
                                              "landlock_add_rule",
                                              "landlock_restrict_self"};
// Stands for the process number of a file's process in its filter, which is made before that
// process exists; no process has a number this high.
constexpr scmp_datum_t kSelfPlaceholder = 0x4b510000;

// Opening, writing and sending: files for reading only, writes to standard output and error
// and a file's answer, replies on keepFd.
void AddFileRules(std::vector<Rule>& rules, int keepFd) {
    // Files open for reading only; any flag that writes, creates or truncates is stopped.
    const scmp_datum_t writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | (O_TMPFILE & ~O_DIRECTORY);
    for (const auto& [name, arg] : {std::pair{"open", 1u}, {"openat", 2u}}) {
        rules.push_back({name, Act::Allow, {}, {Arg(arg, SCMP_CMP_MASKED_EQ, writing, 0)}});
        for (scmp_datum_t flag :
             {scmp_datum_t(O_WRONLY), scmp_datum_t(O_RDWR), scmp_datum_t(O_CREAT),
              scmp_datum_t(O_TRUNC), scmp_datum_t(O_TMPFILE & ~O_DIRECTORY)})
            rules.push_back({name,
                             Act::Trap,
                             BlockedAttempt::Write,
                             {Arg(arg, SCMP_CMP_MASKED_EQ, flag, flag)}});
    }
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime checks whether memory can be read by writing it into a pipe of
    // its own; checked builds allow that.
    for (const char* name : {"write", "writev", "pipe"})
        rules.push_back({name, Act::Allow});
#else
    // Writes go to standard output and error and a file's answer only.
    for (const char* name : {"write", "writev"}) {
        for (const int allowed : {1, 2, kAnswerFd})
            rules.push_back({name, Act::Allow, {}, {Arg(0, SCMP_CMP_EQ, scmp_datum_t(allowed))}});
        for (const auto& [op, fd] :
             {std::pair{SCMP_CMP_EQ, 0}, {SCMP_CMP_EQ, keepFd}, {SCMP_CMP_GT, kAnswerFd}})
            rules.push_back(
                {name, Act::Trap, BlockedAttempt::Write, {Arg(0, op, scmp_datum_t(fd))}});
    }
#endif
    // Replies go out on keepFd only.
    rules.push_back({"sendto", Act::Allow, {}, {Arg(0, SCMP_CMP_EQ, scmp_datum_t(keepFd))}});
    rules.push_back({"sendto",
                     Act::Trap,
                     BlockedAttempt::Network,
                     {Arg(0, SCMP_CMP_NE, scmp_datum_t(keepFd))}});
}

// The worker's allow-list: unknown calls fail; keepFd is its reply channel.
std::vector<Rule> WorkerRules(int keepFd) {
    std::vector<Rule> rules;
    for (const char* name : kAllowed)
        rules.push_back({name, Act::Allow});
    for (const Blocked& blocked : kBlocked)
        for (const char* name : blocked.names)
            if (name)
                rules.push_back({name, Act::Trap, blocked.kind});
    AddFileRules(rules, keepFd);
    // Signals: a file's process may signal itself only (abort() raises one), which its own
    // filter sees to; this one cannot know that process's number.
    for (const char* name : kSignalling)
        rules.push_back({name, Act::Allow});
    // The handler that names a blocked call stays in place; limits can be read, not changed.
    rules.push_back({"rt_sigaction", Act::Allow, {}, {Arg(0, SCMP_CMP_NE, SIGSYS)}});
    rules.push_back(
        {"prlimit64", Act::Allow, {}, {Arg(0, SCMP_CMP_EQ, 0), Arg(2, SCMP_CMP_EQ, 0)}});
    // Without clone3 the C library falls back to clone, whose flags the filter can see. The
    // worker forks the process that parses each file (whose own filter stops any further
    // process); a thread, which the library does not need, fails like any call outside the
    // list (the C library blocks every signal while it makes one, so a stop would end the
    // process with no word of what it tried).
    rules.push_back({"clone3", Act::NoSystemCall});
    rules.push_back({"clone", Act::Allow, {}, {Arg(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)}});
    for (const char* name : kStartingFileProcesses)
        rules.push_back({name, Act::Allow});
    rules.push_back({"prctl", Act::Allow, {}, {Arg(0, SCMP_CMP_EQ, PR_SET_PDEATHSIG)}});
    rules.push_back({"seccomp", Act::Allow, {}, {Arg(0, SCMP_CMP_EQ, SECCOMP_SET_MODE_FILTER)}});
    return rules;
}

// What a file's process adds to the worker's filter: it takes back what only the worker
// needs. Everything else is as the worker's filter has it.
std::vector<Rule> FileProcessRules() {
    std::vector<Rule> rules = {{"clone",
                                Act::Trap,
                                BlockedAttempt::Program,
                                {Arg(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)}},
                               {"sendto", Act::Trap, BlockedAttempt::Network},
                               {"prctl", Act::Fail},
                               {"seccomp", Act::Fail}};
    for (const char* name : kSignalling)
        rules.push_back({name,
                         Act::Trap,
                         BlockedAttempt::OtherProcess,
                         {Arg(0, SCMP_CMP_NE, kSelfPlaceholder)}});
    for (const char* name : kStartingFileProcesses)
        if (std::strcmp(name, "pipe2") != 0 && std::strcmp(name, "close_range") != 0)
            rules.push_back({name, Act::Fail});
    return rules;
}

// Filled before a filter is loaded; read by the signal handler, which may only do
// async-signal-safe work.
constexpr int kMaxSyscall = 1024;
signed char g_blockedKind[kMaxSyscall];
// The file process's filter, made once as BPF so that each file costs one system call.
std::vector<sock_filter> g_fileFilter;

void OnBlockedCall(int, siginfo_t* info, void*) {
    const int nr = info->si_syscall;
    const int kind = nr >= 0 && nr < kMaxSyscall && g_blockedKind[nr] >= 0 ? g_blockedKind[nr] : 0;
    // Straight to the kernel: the blocked call may come from inside a sanitizer's fork(), which
    // holds the locks that the sanitizer's _exit() would wait for.
    ::syscall(SYS_exit_group, kBlockedExitBase + kind);
}

// A filter of rules over defaultAction; a call of another architecture (x32 among them)
// ends the process. Null when a rule is refused.
scmp_filter_ctx MakeFilter(uint32_t defaultAction, const std::vector<Rule>& rules) {
    scmp_filter_ctx filter = seccomp_init(defaultAction);
    if (!filter)
        return nullptr;
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    // A tree of the calls rather than a list: the filter runs on every read of a file.
    seccomp_attr_set(filter, SCMP_FLTATR_CTL_OPTIMIZE, 2);
    int failed = 0;
    for (const Rule& rule : rules) {
        const int nr = seccomp_syscall_resolve_name(rule.name);
        if (nr == __NR_SCMP_ERROR || nr < 0)
            continue; // not a call of this architecture
        const uint32_t action = rule.act == Act::Allow  ? SCMP_ACT_ALLOW
                                : rule.act == Act::Trap ? SCMP_ACT_TRAP
                                : rule.act == Act::Fail ? SCMP_ACT_ERRNO(EPERM)
                                                        : SCMP_ACT_ERRNO(ENOSYS);
        if (rule.act == Act::Trap && nr < kMaxSyscall)
            g_blockedKind[nr] = static_cast<signed char>(rule.kind);
        failed +=
            seccomp_rule_add_array(filter, action, nr, static_cast<unsigned>(rule.args.size()),
                                   rule.args.data()) != 0;
    }
    if (failed == 0)
        return filter;
    seccomp_release(filter);
    return nullptr;
}

// The file process's filter as BPF, through a pipe: libseccomp gives it no other way.
bool ExportFileFilter() {
    scmp_filter_ctx filter = MakeFilter(SCMP_ACT_ALLOW, FileProcessRules());
    int ends[2] = {-1, -1};
    const bool exported =
        filter && ::pipe2(ends, O_CLOEXEC) == 0 && seccomp_export_bpf(filter, ends[1]) == 0;
    seccomp_release(filter);
    ::close(ends[1]);
    sock_filter instructions[512];
    const ssize_t bytes = exported ? ::read(ends[0], instructions, sizeof instructions) : -1;
    ::close(ends[0]);
    if (bytes <= 0 || bytes % sizeof(sock_filter) != 0 || bytes == sizeof instructions)
        return false;
    g_fileFilter.assign(instructions, instructions + bytes / sizeof(sock_filter));
    return true;
}

} // namespace

bool InstallWorkerFilter(int keepFd, QString* error) {
    std::memset(g_blockedKind, -1, sizeof g_blockedKind);
    struct sigaction action {};
    action.sa_sigaction = OnBlockedCall;
    action.sa_flags = SA_SIGINFO;
    bool ok = ::sigaction(SIGSYS, &action, nullptr) == 0 && ExportFileFilter();
    if (scmp_filter_ctx filter =
            ok ? MakeFilter(SCMP_ACT_ERRNO(EPERM), WorkerRules(keepFd)) : nullptr) {
        const int loaded = seccomp_load(filter);
        seccomp_release(filter);
        errno = -loaded;
        ok = loaded == 0;
    } else {
        ok = false;
    }
    if (!ok && error)
        *error = QStringLiteral("system call filter: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EINVAL)));
    return ok;
}

bool InstallFileFilter() {
    for (sock_filter& instruction : g_fileFilter)
        if (instruction.code == (BPF_JMP | BPF_JEQ | BPF_K) && instruction.k == kSelfPlaceholder)
            instruction.k = static_cast<__u32>(::getpid());
    const sock_fprog filter{static_cast<unsigned short>(g_fileFilter.size()), g_fileFilter.data()};
    return !g_fileFilter.empty() &&
           ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter) == 0;
}

} // namespace kq::platform
