#include "ConfinementPolicy.h"

#include "WorkerExit.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace kq::platform {

namespace {

// What a process gets of a call.
enum class Grant {
    Allow,   // the call runs
    Fail,    // it fails with EPERM, as every call in no row does
    Absent,  // it fails with ENOSYS, as on a kernel without it
    Stop,    // the process ends, giving the row's attempt as the reason
    AllowIf, // runs when the row's condition holds; else the process is stopped
    OnlyIf,  // runs when the row's condition holds; else it fails
    StopIf,  // the process is stopped when the row's condition holds; else it fails
};

// A condition on a call's arguments.
enum class Condition {
    None,
    ReadOnly,       // open(2)'s flags: nothing that writes, creates or truncates
    ReadOnlyAt,     // the same for openat(2)
    OwnOutputs,     // writes to standard output, error or kFileAnswerFd
    ReplyChannel,   // sends on kWorkerReplyFd
    Itself,         // signals the calling process (a file's process: its number is patched in)
    KeepsSigsys,    // leaves the handler of SIGSYS, which names a stopped call, in place
    ReadsOwnLimits, // reads, never sets, its own resource limits
    NewProcess,     // clone(2) of a process, not of a thread
    ParentDeath,    // prctl(2) sets the parent-death signal
    FilterMode,     // seccomp(2) adds a filter
};

// The address and thread sanitizers' runtime checks whether memory can be read by writing it
// into a pipe of its own: checked builds let any write through.
#if defined(__SANITIZE_ADDRESS__)
constexpr Grant kWrites = Grant::Allow;
#else
constexpr Grant kWrites = Grant::AllowIf;
#endif

// Architectures with the generic system call table, which lacks the calls that newer calls
// replace (open, stat, fork, ...).
constexpr const char* kGeneric = "aarch64 riscv64";

using A = BlockedAttempt;
using G = Grant;
using C = Condition;

struct Row {
    const char* calls; // separated by spaces
    Grant worker;      // what the worker gets
    Grant file;        // what a file's process gets
    Condition when = C::None;
    BlockedAttempt stops = A::Network; // the reason given when a process is stopped
    const char* absentOn = "";         // architectures that lack some of the calls
    const char* why = "";
};

// The policy. The calls a parse needs were found by tracing the worker on the samples, damaged
// copies of them and the hostile files.
const Row kPolicy[] = {
    {.calls = "read readv pread64 preadv preadv2 lseek close fstat newfstatat statx fstatfs statfs "
              "faccessat faccessat2 readlinkat getdents64 getcwd fcntl dup dup3 fadvise64",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "reading: which files may be opened is Landlock's and open's to say"},
    {.calls = "stat lstat access readlink dup2",
     .worker = G::Allow,
     .file = G::Allow,
     .absentOn = kGeneric,
     .why = "reading, through the older calls"},
    {.calls = "open",
     .worker = G::AllowIf,
     .file = G::AllowIf,
     .when = C::ReadOnly,
     .stops = A::Write,
     .absentOn = kGeneric,
     .why = "files open for reading only"},
    {.calls = "openat",
     .worker = G::AllowIf,
     .file = G::AllowIf,
     .when = C::ReadOnlyAt,
     .stops = A::Write,
     .why = "files open for reading only"},
    {.calls = "mmap munmap mprotect mremap madvise brk",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "memory, within the address space limit"},
    {.calls = "futex set_robust_list rseq membarrier sched_yield sched_getaffinity",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "the C library's and the media library's own bookkeeping"},
    {.calls = "rt_sigprocmask rt_sigreturn sigaltstack restart_syscall",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "signals within the process"},
    {.calls = "pause",
     .worker = G::Allow,
     .file = G::Allow,
     .absentOn = kGeneric,
     .why = "signals within the process"},
    {.calls = "rt_sigaction",
     .worker = G::OnlyIf,
     .file = G::OnlyIf,
     .when = C::KeepsSigsys,
     .why = "handlers, but not the one that names a stopped call"},
    {.calls = "exit exit_group", .worker = G::Allow, .file = G::Allow, .why = "ending"},
    {.calls = "getpid gettid getppid getuid geteuid getgid getegid uname sysinfo getrlimit "
              "getrusage getrandom",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "facts about the process and the machine"},
    {.calls = "prlimit64",
     .worker = G::OnlyIf,
     .file = G::OnlyIf,
     .when = C::ReadsOwnLimits,
     .why = "limits can be read, not changed"},
    {.calls = "clock_gettime clock_getres gettimeofday nanosleep clock_nanosleep ppoll",
     .worker = G::Allow,
     .file = G::Allow,
     .why = "time and waiting"},
    {.calls = "time poll",
     .worker = G::Allow,
     .file = G::Allow,
     .absentOn = kGeneric,
     .why = "time and waiting"},
    {.calls = "write writev",
     .worker = kWrites,
     .file = kWrites,
     .when = C::OwnOutputs,
     .stops = A::Write,
     .why =
         "standard output and error, and a file's answer; never the worker's requests or replies"},
    {.calls = "sendto",
     .worker = G::AllowIf,
     .file = G::Stop,
     .when = C::ReplyChannel,
     .stops = A::Network,
     .why = "the worker replies on its channel; a file's process answers through a pipe"},
    {.calls = "socket socketpair connect bind listen accept accept4 sendmsg sendmmsg recvfrom "
              "recvmsg recvmmsg shutdown getsockopt setsockopt getsockname getpeername",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::Network,
     .why = "no network, no local sockets"},
    {.calls = "execve execveat",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::Program,
     .why = "no program"},
    {.calls = "fork vfork",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::Program,
     .absentOn = kGeneric,
     .why = "processes only through clone, whose flags a filter can see"},
    {.calls = "clone",
     .worker = G::OnlyIf,
     .file = G::StopIf,
     .when = C::NewProcess,
     .stops = A::Program,
     .why = "the worker forks a process per file; that process starts none. A thread, which the "
            "library does not need, fails: the C library blocks every signal while it makes one, "
            "so a stop would end the process with no word of what it tried"},
    {.calls = "clone3",
     .worker = G::Absent,
     .file = G::Absent,
     .why = "its flags are out of a filter's sight; the C library then falls back to clone"},
    {.calls = "wait4 landlock_create_ruleset landlock_add_rule landlock_restrict_self",
     .worker = G::Allow,
     .file = G::Fail,
     .why = "the worker confines the process of each file and waits for it"},
    {.calls = "prctl",
     .worker = G::OnlyIf,
     .file = G::Fail,
     .when = C::ParentDeath,
     .why = "a file's process dies with its worker; it sets that before its filter"},
    {.calls = "seccomp",
     .worker = G::OnlyIf,
     .file = G::Fail,
     .when = C::FilterMode,
     .why = "a file's process adds its filter; nothing can take a filter away"},
    {.calls = "pipe2 close_range",
     .worker = G::Allow,
     .file = G::Allow,
     .why =
         "the worker's pipes to a file's process; within a process they reach nothing outside it"},
#if defined(__SANITIZE_ADDRESS__)
    {.calls = "pipe",
     .worker = G::Allow,
     .file = G::Allow,
     .absentOn = kGeneric,
     .why = "the address sanitizer's memory checks"},
#endif
    {.calls = "creat unlink rename mkdir rmdir link symlink chmod chown lchown mknod utime utimes "
              "futimesat",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::Write,
     .absentOn = kGeneric,
     .why = "a read-only file system"},
    {.calls =
         "unlinkat renameat renameat2 mkdirat linkat symlinkat fchmod fchmodat fchown fchownat "
         "truncate ftruncate mknodat utimensat setxattr lsetxattr fsetxattr removexattr "
         "lremovexattr fremovexattr fallocate pwrite64 pwritev pwritev2 copy_file_range sendfile",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::Write,
     .why = "a read-only file system"},
    {.calls = "kill tgkill rt_sigqueueinfo rt_tgsigqueueinfo",
     .worker = G::Allow,
     .file = G::AllowIf,
     .when = C::Itself,
     .stops = A::OtherProcess,
     .why = "a file's process signals itself only (abort() raises a signal); the worker's filter, "
            "made before that process exists, cannot know its number"},
    {.calls = "ptrace process_vm_readv process_vm_writev pidfd_open pidfd_getfd pidfd_send_signal "
              "kcmp tkill",
     .worker = G::Stop,
     .file = G::Stop,
     .stops = A::OtherProcess,
     .why = "no other process"},
};

// Stands for the number of a file's process in its filter, which is made before that process
// exists; no process has a number this high.
constexpr scmp_datum_t kSelfPlaceholder = 0x4b510000;

using Args = std::vector<scmp_arg_cmp>;

scmp_arg_cmp Arg(unsigned index, scmp_compare op, scmp_datum_t value, scmp_datum_t mask = 0) {
    return {index, op, value, mask};
}

// The argument sets under which condition holds, and those under which it fails: each a list
// of alternatives.
void Alternatives(Condition condition, std::vector<Args>* holds, std::vector<Args>* fails) {
    const auto d = [](auto value) { return static_cast<scmp_datum_t>(value); };
    switch (condition) {
    case C::None:
        break;
    case C::ReadOnly:
    case C::ReadOnlyAt: {
        const unsigned flags = condition == C::ReadOnly ? 1 : 2;
        const scmp_datum_t writing[] = {d(O_WRONLY), d(O_RDWR), d(O_CREAT), d(O_TRUNC),
                                        d(O_TMPFILE & ~O_DIRECTORY)};
        scmp_datum_t any = 0;
        for (scmp_datum_t flag : writing) {
            fails->push_back({Arg(flags, SCMP_CMP_MASKED_EQ, flag, flag)});
            any |= flag;
        }
        holds->push_back({Arg(flags, SCMP_CMP_MASKED_EQ, any, 0)});
        break;
    }
    case C::OwnOutputs:
        for (int fd : kFileProcessDescriptors)
            holds->push_back({Arg(0, SCMP_CMP_EQ, d(fd))});
        *fails = {{Arg(0, SCMP_CMP_EQ, 0)},
                  {Arg(0, SCMP_CMP_EQ, d(kWorkerReplyFd))},
                  {Arg(0, SCMP_CMP_GT, d(kFileAnswerFd))}};
        break;
    case C::ReplyChannel:
        *holds = {{Arg(0, SCMP_CMP_EQ, d(kWorkerReplyFd))}};
        *fails = {{Arg(0, SCMP_CMP_NE, d(kWorkerReplyFd))}};
        break;
    case C::Itself:
        *holds = {{Arg(0, SCMP_CMP_EQ, kSelfPlaceholder)}};
        *fails = {{Arg(0, SCMP_CMP_NE, kSelfPlaceholder)}};
        break;
    case C::KeepsSigsys:
        *holds = {{Arg(0, SCMP_CMP_NE, d(SIGSYS))}};
        *fails = {{Arg(0, SCMP_CMP_EQ, d(SIGSYS))}};
        break;
    case C::ReadsOwnLimits:
        *holds = {{Arg(0, SCMP_CMP_EQ, 0), Arg(2, SCMP_CMP_EQ, 0)}};
        *fails = {{Arg(0, SCMP_CMP_NE, 0)}, {Arg(2, SCMP_CMP_NE, 0)}};
        break;
    case C::NewProcess:
        *holds = {{Arg(0, SCMP_CMP_MASKED_EQ, d(CLONE_THREAD), 0)}};
        *fails = {{Arg(0, SCMP_CMP_MASKED_EQ, d(CLONE_THREAD), d(CLONE_THREAD))}};
        break;
    case C::ParentDeath:
        *holds = {{Arg(0, SCMP_CMP_EQ, d(PR_SET_PDEATHSIG))}};
        *fails = {{Arg(0, SCMP_CMP_NE, d(PR_SET_PDEATHSIG))}};
        break;
    case C::FilterMode:
        *holds = {{Arg(0, SCMP_CMP_EQ, d(SECCOMP_SET_MODE_FILTER))}};
        *fails = {{Arg(0, SCMP_CMP_NE, d(SECCOMP_SET_MODE_FILTER))}};
        break;
    }
}

// The names of a row.
QList<QByteArray> Calls(const Row& row) {
    return QByteArray(row.calls).split(' ');
}

// Filled before a filter is loaded; read by the signal handler, which may only do
// async-signal-safe work, hence a table of its own rather than a look into kPolicy.
constexpr int kMaxSyscall = 1024;
signed char g_stoppedAttempt[kMaxSyscall];

void OnBlockedCall(int, siginfo_t* info, void*) {
    const int nr = info->si_syscall;
    const int attempt =
        nr >= 0 && nr < kMaxSyscall && g_stoppedAttempt[nr] >= 0 ? g_stoppedAttempt[nr] : 0;
    // Straight to the kernel: the blocked call may come from inside a sanitizer's fork(), which
    // holds the locks that the sanitizer's _exit() would wait for.
    ::syscall(SYS_exit_group, kBlockedExitBase + attempt);
}

// The filter of one column of the policy over defaultAction: the worker's (EPERM) or the one a
// file's process adds to it (ALLOW), which holds only the rows where the two differ. A call
// of another architecture (x32 among them) ends the process. Null when a rule is refused.
scmp_filter_ctx MakeFilter(bool fileProcess) {
    const uint32_t defaultAction = fileProcess ? SCMP_ACT_ALLOW : SCMP_ACT_ERRNO(EPERM);
    scmp_filter_ctx filter = seccomp_init(defaultAction);
    if (!filter)
        return nullptr;
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    // A tree of the calls rather than a list: the filter runs on every read of a file.
    seccomp_attr_set(filter, SCMP_FLTATR_CTL_OPTIMIZE, 2);
    int failed = 0;
    for (const Row& row : kPolicy) {
        const Grant grant = fileProcess ? row.file : row.worker;
        if (fileProcess && grant == row.worker)
            continue;
        std::vector<Args> holds, fails;
        Alternatives(row.when, &holds, &fails);
        const uint32_t stop = SCMP_ACT_TRAP, fail = SCMP_ACT_ERRNO(EPERM);
        // (action, argument alternatives) pairs of the grant; none means any arguments.
        std::vector<std::pair<uint32_t, std::vector<Args>>> rules;
        switch (grant) {
        case G::Allow:
            rules = {{SCMP_ACT_ALLOW, {{}}}};
            break;
        case G::Fail:
            rules = {{fail, {{}}}};
            break;
        case G::Absent:
            rules = {{SCMP_ACT_ERRNO(ENOSYS), {{}}}};
            break;
        case G::Stop:
            rules = {{stop, {{}}}};
            break;
        case G::AllowIf:
            rules = {{SCMP_ACT_ALLOW, holds}, {stop, fails}};
            break;
        case G::OnlyIf:
            rules = {{SCMP_ACT_ALLOW, holds}, {fail, fails}};
            break;
        case G::StopIf:
            rules = {{stop, holds}, {fail, fails}};
            break;
        }
        for (const QByteArray& name : Calls(row)) {
            const int nr = seccomp_syscall_resolve_name(name.constData());
            if (nr < 0)
                continue; // not a call of this architecture (UnknownSystemCalls checks names)
            for (const auto& [action, alternatives] : rules) {
                if (action == defaultAction)
                    continue; // libseccomp refuses a rule that repeats the default
                if (action == SCMP_ACT_TRAP && nr < kMaxSyscall)
                    g_stoppedAttempt[nr] = static_cast<signed char>(row.stops);
                for (const Args& args : alternatives)
                    failed += seccomp_rule_add_array(filter, action, nr,
                                                     static_cast<unsigned>(args.size()),
                                                     args.data()) != 0;
            }
        }
    }
    if (failed == 0)
        return filter;
    seccomp_release(filter);
    return nullptr;
}

// The file process's filter as BPF, through a pipe: libseccomp gives it no other way.
bool ExportFileProcessFilter(std::vector<sock_filter>* program) {
    scmp_filter_ctx filter = MakeFilter(true);
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
    program->assign(instructions, instructions + bytes / sizeof(sock_filter));
    return true;
}

} // namespace

__u64 HandledFileSystemRights(long abi) {
    return LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_EXECUTE |
           LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
           LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
           LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
           LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
           LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM |
           (abi >= 2 ? LANDLOCK_ACCESS_FS_REFER : 0) | (abi >= 3 ? LANDLOCK_ACCESS_FS_TRUNCATE : 0);
}

bool InstallWorkerFilter(FileProcessConfinement* files, QString* error) {
    std::memset(g_stoppedAttempt, -1, sizeof g_stoppedAttempt);
    struct sigaction action {};
    action.sa_sigaction = OnBlockedCall;
    action.sa_flags = SA_SIGINFO;
    bool ok = ::sigaction(SIGSYS, &action, nullptr) == 0 && ExportFileProcessFilter(&files->filter);
    if (scmp_filter_ctx filter = ok ? MakeFilter(false) : nullptr) {
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

bool InstallFileProcessFilter(const FileProcessConfinement& confinement) {
    std::vector<sock_filter> program = confinement.filter;
    for (sock_filter& instruction : program)
        if (instruction.code == (BPF_JMP | BPF_JEQ | BPF_K) && instruction.k == kSelfPlaceholder)
            instruction.k = static_cast<__u32>(::getpid());
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return !program.empty() && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter) == 0;
}

QStringList UnknownSystemCalls() {
    utsname machine{};
    ::uname(&machine);
    QStringList unknown;
    for (const Row& row : kPolicy)
        for (const QByteArray& name : Calls(row))
            if (seccomp_syscall_resolve_name(name.constData()) < 0 &&
                !QByteArray(row.absentOn).split(' ').contains(machine.machine))
                unknown << QString::fromLatin1(name);
    return unknown;
}

} // namespace kq::platform
