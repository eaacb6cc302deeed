#include "WorkerSandbox.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// --- the read-only file system -------------------------------------------------------------

// handled receives the rights that the layer handles, when it is set up.
SandboxLayer RestrictFileSystem(__u64* handled) {
    SandboxLayer layer{QStringLiteral("read-only file system"), false, {}};
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        layer.detail = QStringLiteral("this kernel has no Landlock (%1)").arg(ErrnoText());
        return layer;
    }
    const __u64 read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
    landlock_ruleset_attr ruleset{};
    ruleset.handled_access_fs = HandledFileSystemRights(abi);
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
        *handled = ruleset.handled_access_fs;
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

bool ConfineAnalysisWorker(long long addressSpaceBytes, long long parentPid,
                           QList<SandboxLayer>* layers, FileProcessConfinement* files,
                           QString* error) {
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
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The address and thread sanitizers reserve terabytes of shadow address space up front;
    // checked builds run without this one limit.
    addressSpaceBytes = 0;
#endif
    if (addressSpaceBytes > 0) {
        const auto bytes = static_cast<rlim_t>(addressSpaceBytes);
        const rlimit space{bytes, bytes};
        if (::setrlimit(RLIMIT_AS, &space) != 0)
            return Fail(error, "address space limit");
    }
    if (::close_range(kWorkerReplyFd + 1, ~0U, 0) != 0)
        return Fail(error, "closing inherited descriptors");
    *files = FileProcessConfinement();
    const SandboxLayer fileSystem = RestrictFileSystem(&files->handledRights);
    if (!InstallWorkerFilter(files, error))
        return false;
    const QString limits =
        addressSpaceBytes > 0
            ? QStringLiteral("address space %1 MiB, no core files").arg(addressSpaceBytes >> 20)
            : QStringLiteral("no core files; address space unlimited");
    *layers = {{QStringLiteral("system call filter"), true,
                QStringLiteral("allow-list; no sockets, programs, writes or other processes")},
               fileSystem,
               network,
               {QStringLiteral("descriptors closed"), true,
                QStringLiteral("only standard input, output, error and the reply channel")},
               {QStringLiteral("resource limits"), addressSpaceBytes > 0, limits},
               {QStringLiteral("reads limited to the analysed file"), fileSystem.active,
                fileSystem.active ? QStringLiteral("each file is parsed in a process of its own "
                                                   "that can open that file only")
                                  : QStringLiteral("needs the read-only file system")}};
    return true;
}

bool ConfineToFile(const char* path, pid_t worker, const FileProcessConfinement& confinement) {
    // The worker may be killed (a file that took too long): its file's process goes with it.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || ::getppid() != worker)
        return false;
    if (confinement.handledRights != 0) {
        landlock_ruleset_attr ruleset{};
        ruleset.handled_access_fs = confinement.handledRights;
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
    return InstallFileProcessFilter(confinement);
}

} // namespace kq::platform
