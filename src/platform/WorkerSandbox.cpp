#include "WorkerSandbox.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace kq::platform {

namespace {

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool Fail(QString* error, const char* what) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what), ErrnoText());
    return false;
}

// --- the system call filter ----------------------------------------------------------------

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

// Filled before the filter is loaded; read by the signal handler, which may only do
// async-signal-safe work.
constexpr int kMaxSyscall = 1024;
signed char g_blockedKind[kMaxSyscall];
const char* const kSignalling[] = {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"};
// Stands for the process number of a file's process in its filter, which is made before that
// process exists; no process has a number this high.
constexpr scmp_datum_t kSelfPlaceholder = 0x4b510000;
// What a file's process adds to the worker's confinement; set up by ConfineAnalysisWorker.
std::vector<sock_filter> g_fileFilter;
__u64 g_fileAccess = 0; // the Landlock rights a file's process restricts, when it can

void OnBlockedCall(int, siginfo_t* info, void*) {
    const int nr = info->si_syscall;
    const int kind = nr >= 0 && nr < kMaxSyscall && g_blockedKind[nr] >= 0 ? g_blockedKind[nr] : 0;
    ::_exit(kBlockedExitBase + kind);
}

int Nr(const char* name) {
    return seccomp_syscall_resolve_name(name);
}

bool InstallSystemCallFilter(int keepFd, QString* error) {
    struct sigaction action {};
    action.sa_sigaction = OnBlockedCall;
    action.sa_flags = SA_SIGINFO;
    if (::sigaction(SIGSYS, &action, nullptr) != 0)
        return Fail(error, "system call filter");
    // An unknown call fails; a call of another architecture (x32 among them) ends the process.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return Fail(error, "system call filter");
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    // A tree of the calls rather than a list: the filter runs on every read of a file.
    seccomp_attr_set(filter, SCMP_FLTATR_CTL_OPTIMIZE, 2);
    int failed = 0;
    const auto add = [&](uint32_t action, const char* name, unsigned count = 0, scmp_arg_cmp a = {},
                         scmp_arg_cmp b = {}) {
        const int nr = Nr(name);
        if (nr == __NR_SCMP_ERROR || nr < 0)
            return; // not a call of this architecture
        const int result = count == 0   ? seccomp_rule_add(filter, action, nr, 0)
                           : count == 1 ? seccomp_rule_add(filter, action, nr, 1, a)
                                        : seccomp_rule_add(filter, action, nr, 2, a, b);
        failed += result != 0;
    };
    const auto trap = [&](BlockedAttempt kind, const char* name, unsigned count = 0,
                          scmp_arg_cmp a = {}, scmp_arg_cmp b = {}) {
        if (const int nr = Nr(name); nr >= 0 && nr < kMaxSyscall)
            g_blockedKind[nr] = static_cast<signed char>(kind);
        add(SCMP_ACT_TRAP, name, count, a, b);
    };
    for (const char* name : kAllowed)
        add(SCMP_ACT_ALLOW, name);
    for (const Blocked& blocked : kBlocked)
        for (const char* name : blocked.names)
            if (name)
                trap(blocked.kind, name);
    // Files open for reading only; any flag that writes, creates or truncates is stopped.
    const scmp_datum_t writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | (O_TMPFILE & ~O_DIRECTORY);
    for (const auto& [name, arg] : {std::pair{"open", 1u}, {"openat", 2u}}) {
        add(SCMP_ACT_ALLOW, name, 1, {arg, SCMP_CMP_MASKED_EQ, writing, 0});
        for (scmp_datum_t flag :
             {scmp_datum_t(O_WRONLY), scmp_datum_t(O_RDWR), scmp_datum_t(O_CREAT),
              scmp_datum_t(O_TRUNC), scmp_datum_t(O_TMPFILE & ~O_DIRECTORY)})
            trap(BlockedAttempt::Write, name, 1, {arg, SCMP_CMP_MASKED_EQ, flag, flag});
    }
    // Writes go to standard output and error and a file's answer only; replies go out on
    // keepFd only.
    const auto fd = [](scmp_compare op, scmp_datum_t value) {
        return scmp_arg_cmp{0, op, value, 0};
    };
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime checks whether memory can be read by writing it into a pipe of
    // its own; checked builds allow that.
    for (const char* name : {"write", "writev", "pipe", "pipe2"})
        add(SCMP_ACT_ALLOW, name);
#else
    for (const char* name : {"write", "writev"}) {
        for (const int allowed : {1, 2, kAnswerFd})
            add(SCMP_ACT_ALLOW, name, 1, fd(SCMP_CMP_EQ, scmp_datum_t(allowed)));
        trap(BlockedAttempt::Write, name, 1, fd(SCMP_CMP_EQ, 0));
        trap(BlockedAttempt::Write, name, 1, fd(SCMP_CMP_EQ, scmp_datum_t(keepFd)));
        trap(BlockedAttempt::Write, name, 1, fd(SCMP_CMP_GT, kAnswerFd));
    }
#endif
    add(SCMP_ACT_ALLOW, "sendto", 1, fd(SCMP_CMP_EQ, scmp_datum_t(keepFd)));
    trap(BlockedAttempt::Network, "sendto", 1, fd(SCMP_CMP_NE, scmp_datum_t(keepFd)));
    // Signals: a file's process may signal itself only (abort() raises one), which its own
    // filter sees to; this one cannot know that process's number.
    for (const char* name : kSignalling)
        add(SCMP_ACT_ALLOW, name);
    // The handler that names a blocked call stays in place; limits can be read, not changed.
    add(SCMP_ACT_ALLOW, "rt_sigaction", 1, fd(SCMP_CMP_NE, SIGSYS));
    add(SCMP_ACT_ALLOW, "prlimit64", 2, fd(SCMP_CMP_EQ, 0), {2, SCMP_CMP_EQ, 0, 0});
    // Without clone3 the C library falls back to clone, whose flags the filter can see. The
    // worker forks the process that parses each file (whose own filter stops any further
    // process); a thread, which the library does not need, fails like any call outside the
    // list (the C library blocks every signal while it makes one, so a stop would end the
    // process with no word of what it tried).
    add(SCMP_ACT_ERRNO(ENOSYS), "clone3");
    add(SCMP_ACT_ALLOW, "clone", 1, {0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0});
    // What the worker needs to start and confine a file's process, and to wait for it.
    for (const char* name : {"wait4", "pipe2", "close_range", "landlock_create_ruleset",
                             "landlock_add_rule", "landlock_restrict_self"})
        add(SCMP_ACT_ALLOW, name);
    add(SCMP_ACT_ALLOW, "prctl", 1, fd(SCMP_CMP_EQ, PR_SET_PDEATHSIG));
    add(SCMP_ACT_ALLOW, "seccomp", 1, fd(SCMP_CMP_EQ, SECCOMP_SET_MODE_FILTER));
    const int loaded = failed == 0 ? seccomp_load(filter) : -EINVAL;
    seccomp_release(filter);
    if (loaded != 0) {
        errno = -loaded;
        return Fail(error, "system call filter");
    }
    return true;
}

// The filter that a file's process adds to the worker's: the calls that only the worker
// needs are taken away again. Made once, as BPF, so that each file costs one system call.
bool PrepareFileFilter(QString* error) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return Fail(error, "system call filter");
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    int failed = 0;
    const auto add = [&](uint32_t action, const char* name, BlockedAttempt kind,
                         std::initializer_list<scmp_arg_cmp> args = {}) {
        const int nr = Nr(name);
        if (nr < 0)
            return;
        if (action == SCMP_ACT_TRAP && nr < kMaxSyscall)
            g_blockedKind[nr] = static_cast<signed char>(kind);
        failed += seccomp_rule_add_array(filter, action, nr, static_cast<unsigned>(args.size()),
                                         args.begin()) != 0;
    };
    add(SCMP_ACT_TRAP, "clone", BlockedAttempt::Program,
        {{0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0}});
    add(SCMP_ACT_TRAP, "sendto", BlockedAttempt::Network);
    for (const char* name : kSignalling)
        add(SCMP_ACT_TRAP, name, BlockedAttempt::OtherProcess,
            {{0, SCMP_CMP_NE, kSelfPlaceholder, 0}});
    for (const char* name : {"wait4", "prctl", "seccomp", "landlock_create_ruleset",
                             "landlock_add_rule", "landlock_restrict_self"})
        add(SCMP_ACT_ERRNO(EPERM), name, BlockedAttempt::Program);
    int ends[2] = {-1, -1};
    bool exported = failed == 0 && ::pipe2(ends, O_CLOEXEC) == 0;
    exported = exported && seccomp_export_bpf(filter, ends[1]) == 0;
    seccomp_release(filter);
    if (ends[1] >= 0)
        ::close(ends[1]);
    sock_filter instructions[512];
    const ssize_t bytes = exported ? ::read(ends[0], instructions, sizeof instructions) : -1;
    if (ends[0] >= 0)
        ::close(ends[0]);
    if (bytes <= 0 || bytes % sizeof(sock_filter) != 0 || bytes == sizeof instructions) {
        errno = EINVAL;
        return Fail(error, "system call filter of a file's process");
    }
    g_fileFilter.assign(instructions, instructions + bytes / sizeof(sock_filter));
    return true;
}

// --- the read-only file system -------------------------------------------------------------

SandboxLayer RestrictFileSystem() {
    SandboxLayer layer{QStringLiteral("read-only file system"), false, {}};
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        layer.detail = QStringLiteral("this kernel has no Landlock (%1)").arg(ErrnoText());
        return layer;
    }
    const __u64 read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
    landlock_ruleset_attr ruleset{};
    ruleset.handled_access_fs =
        read | LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
        LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
        LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
        LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
        LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM |
        (abi >= 2 ? LANDLOCK_ACCESS_FS_REFER : 0) | (abi >= 3 ? LANDLOCK_ACCESS_FS_TRUNCATE : 0);
    const int rules =
        static_cast<int>(::syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0));
    if (rules < 0) {
        layer.detail = QStringLiteral("Landlock refused a ruleset (%1)").arg(ErrnoText());
        return layer;
    }
    // Media may be anywhere, so everything may be read, but for /proc: the memory and the
    // details of the user's other processes.
    const auto allow = [rules](const char* path, __u64 access) {
        landlock_path_beneath_attr rule{};
        rule.parent_fd = ::open(path, O_PATH | O_CLOEXEC);
        struct stat st {};
        if (rule.parent_fd < 0 || ::fstat(rule.parent_fd, &st) != 0)
            return;
        rule.allowed_access = S_ISDIR(st.st_mode) ? access : LANDLOCK_ACCESS_FS_READ_FILE;
        ::syscall(SYS_landlock_add_rule, rules, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(rule.parent_fd);
    };
    allow("/", LANDLOCK_ACCESS_FS_READ_DIR);
    if (DIR* root = ::opendir("/")) {
        while (const dirent* entry = ::readdir(root)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != ".." && name != "proc")
                allow(("/" + name).constData(), read);
        }
        ::closedir(root);
    }
    const bool restricted = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                            ::syscall(SYS_landlock_restrict_self, rules, 0) == 0;
    layer.detail = restricted ? QStringLiteral("Landlock ABI %1").arg(abi)
                              : QStringLiteral("Landlock refused (%1)").arg(ErrnoText());
    ::close(rules);
    layer.active = restricted;
    if (restricted)
        g_fileAccess = ruleset.handled_access_fs;
    return layer;
}

SandboxLayer IsolateNetwork() {
    SandboxLayer layer{QStringLiteral("network namespace"), true, {}};
    // Root may have a namespace of its own directly; anybody else through a user namespace.
    if (::unshare(CLONE_NEWNET) == 0)
        layer.detail = QStringLiteral("no network, no abstract sockets");
    else if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0)
        layer.detail = QStringLiteral("no network, no abstract sockets; in a user namespace");
    else
        layer = {layer.name, false, QStringLiteral("not permitted here (%1)").arg(ErrnoText())};
    return layer;
}

} // namespace

bool ConfineAnalysisWorker(long long addressSpaceBytes, long long parentPid, int keepFd,
                           QList<SandboxLayer>* layers, QString* error) {
    const SandboxLayer network = IsolateNetwork();
    // After the namespace, which may reset it.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0)
        return Fail(error, "parent-death signal");
    // The parent may have gone before the signal was asked for.
    if (parentPid > 0 && ::getppid() != parentPid) {
        errno = ESRCH;
        return Fail(error, "parent process");
    }
    const rlimit noCore{0, 0};
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0)
        return Fail(error, "core file limit");
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of shadow address space up front; checked builds
    // run without this one limit.
    addressSpaceBytes = 0;
#endif
    if (addressSpaceBytes > 0) {
        const auto bytes = static_cast<rlim_t>(addressSpaceBytes);
        const rlimit space{bytes, bytes};
        if (::setrlimit(RLIMIT_AS, &space) != 0)
            return Fail(error, "address space limit");
    }
    if ((keepFd > 3 && ::close_range(3, keepFd - 1, 0) != 0) ||
        ::close_range(keepFd + 1, ~0U, 0) != 0)
        return Fail(error, "closing inherited descriptors");
    const SandboxLayer files = RestrictFileSystem();
    std::memset(g_blockedKind, -1, sizeof g_blockedKind);
    if (!PrepareFileFilter(error) || !InstallSystemCallFilter(keepFd, error))
        return false;
    const QString limits =
        addressSpaceBytes > 0
            ? QStringLiteral("address space %1 MiB, no core files").arg(addressSpaceBytes >> 20)
            : QStringLiteral("no core files; address space unlimited");
    *layers = {{QStringLiteral("system call filter"), true,
                QStringLiteral("allow-list; no sockets, programs, writes or other processes")},
               files,
               network,
               {QStringLiteral("descriptors closed"), true,
                QStringLiteral("only standard input, output, error and the reply channel")},
               {QStringLiteral("resource limits"), addressSpaceBytes > 0, limits},
               {QStringLiteral("reads limited to the analysed file"), files.active,
                files.active ? QStringLiteral("each file is parsed in a process of its own "
                                              "that can open that file only")
                             : QStringLiteral("needs the read-only file system")}};
    return true;
}

bool ConfineToFile(const char* path, pid_t worker) {
    // The worker may be killed (a file that took too long): its file's process goes with it.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || ::getppid() != worker)
        return false;
    if (g_fileAccess != 0) {
        landlock_ruleset_attr ruleset{};
        ruleset.handled_access_fs = g_fileAccess;
        const int rules =
            static_cast<int>(::syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0));
        landlock_path_beneath_attr rule{LANDLOCK_ACCESS_FS_READ_FILE,
                                        ::open(path, O_PATH | O_CLOEXEC)};
        struct stat st {};
        const bool restricted =
            rules >= 0 && rule.parent_fd >= 0 && ::fstat(rule.parent_fd, &st) == 0 &&
            S_ISREG(st.st_mode) &&
            ::syscall(SYS_landlock_add_rule, rules, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0 &&
            ::syscall(SYS_landlock_restrict_self, rules, 0) == 0;
        ::close(rule.parent_fd);
        ::close(rules);
        if (!restricted)
            return false;
    }
    for (sock_filter& instruction : g_fileFilter)
        if (instruction.code == (BPF_JMP | BPF_JEQ | BPF_K) && instruction.k == kSelfPlaceholder)
            instruction.k = static_cast<__u32>(::getpid());
    const sock_fprog filter{static_cast<unsigned short>(g_fileFilter.size()), g_fileFilter.data()};
    return !g_fileFilter.empty() &&
           ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter) == 0;
}

} // namespace kq::platform
