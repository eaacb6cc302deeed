#include "WorkerSandbox.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kq::platform {

namespace {

#if defined(__x86_64__)
constexpr unsigned kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kAuditArch = AUDIT_ARCH_AARCH64;
#else
#error "the worker's system call filter knows x86-64 and AArch64 only"
#endif

bool Fail(QString* error, const char* what) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool InstallNetworkFilter(QString* error) {
    constexpr unsigned kArchOffset = offsetof(seccomp_data, arch);
    constexpr unsigned kNrOffset = offsetof(seccomp_data, nr);
    // The low 32 bits of the first argument (little-endian): socket()'s domain.
    constexpr unsigned kDomainOffset = offsetof(seccomp_data, args[0]);
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArchOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kNrOffset),
#if defined(__x86_64__)
        // x32 system calls would pass the number checks below under other numbers.
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
#endif
        // io_uring can open sockets without the socket system call.
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kDomainOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_UNIX, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    sock_fprog filter {static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return Fail(error, "no-new-privileges");
    if (::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter) != 0)
        return Fail(error, "system call filter");
    return true;
}

} // namespace

bool ConfineAnalysisWorker(long long addressSpaceBytes, long long parentPid, QString* error) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0)
        return Fail(error, "parent-death signal");
    // The parent may have gone before the signal was asked for.
    if (parentPid > 0 && ::getppid() != parentPid) {
        errno = ESRCH;
        return Fail(error, "parent process");
    }
    const rlimit noCore {0, 0};
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0)
        return Fail(error, "core file limit");
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of shadow address space up front; checked builds
    // run without this one limit.
    addressSpaceBytes = 0;
#endif
    if (addressSpaceBytes > 0) {
        const auto bytes = static_cast<rlim_t>(addressSpaceBytes);
        const rlimit space {bytes, bytes};
        if (::setrlimit(RLIMIT_AS, &space) != 0)
            return Fail(error, "address space limit");
    }
    return InstallNetworkFilter(error);
}

} // namespace kq::platform
