#include "sandbox.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "unique_fd.h"

namespace platform {
namespace {

// Rights newer than the kernel headers of Debian 12 know.
constexpr uint64_t kTruncate = 1ULL << 14;  // ABI 3
constexpr uint64_t kIoctlDevice = 1ULL << 15;  // ABI 5
constexpr uint64_t kNetBindTcp = 1ULL << 0, kNetConnectTcp = 1ULL << 1;  // ABI 4
constexpr uint64_t kScopeAbstractSocket = 1ULL << 0, kScopeSignal = 1ULL << 1;  // ABI 6

// The ruleset attribute as of ABI 6; older kernels are given its first part.
struct RulesetAttributes {
    uint64_t handled_access_fs;
    uint64_t handled_access_net;
    uint64_t scoped;
};

constexpr uint64_t kReadRights =
    LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_EXECUTE;

uint64_t HandledFileRights(int abi) {
    uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // ABI 1: bits 0..12
    rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) rights |= kTruncate;
    if (abi >= 5) rights |= kIoctlDevice;
    return rights;
}

uint64_t WriteRights(int abi) {
    uint64_t rights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_WRITE_FILE |
                      LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_DIR |
                      LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SYM | LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) rights |= kTruncate;
    return rights;
}

bool AddRule(int ruleset, const std::string& path, uint64_t rights) {
    UniqueFd target(open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!target) return true;  // nothing that can be opened there: nothing to allow
    struct stat st {};
    if (fstat(target.Get(), &st) != 0) return false;
    // A rule on a file may only hold the rights that concern files.
    constexpr uint64_t kOnFiles = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = S_ISDIR(st.st_mode) ? rights : rights & kOnFiles;
    rule.parent_fd = target.Get();
    return syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

bool ApplyLandlock(const SandboxRules& rules, int abi) {
    RulesetAttributes attributes{HandledFileRights(abi), 0, 0};
    size_t size = offsetof(RulesetAttributes, handled_access_net);
    if (abi >= 4) {
        attributes.handled_access_net = kNetBindTcp | kNetConnectTcp;
        size = offsetof(RulesetAttributes, scoped);
    }
    if (abi >= 6) {
        attributes.scoped = kScopeAbstractSocket | kScopeSignal;
        size = sizeof attributes;
    }
    UniqueFd ruleset(static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, size, 0)));
    if (!ruleset) return false;
    for (const auto& path : rules.readable)
        if (!AddRule(ruleset.Get(), path, kReadRights)) return false;
    if (!rules.writable.empty() && !AddRule(ruleset.Get(), rules.writable, WriteRights(abi))) return false;
    return syscall(SYS_landlock_restrict_self, ruleset.Get(), 0) == 0;
}

#if defined(__x86_64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_AARCH64;
#endif

// Calls the worker never needs and that would help code running in it to
// reach further: other processes, other programs, the network, the kernel's
// less-guarded interfaces.
constexpr long kRefused[] = {
    SYS_execve, SYS_execveat, SYS_ptrace, SYS_process_vm_readv, SYS_process_vm_writev,
    SYS_socket, SYS_socketpair, SYS_io_uring_setup, SYS_io_uring_enter, SYS_io_uring_register,
    SYS_bpf, SYS_userfaultfd, SYS_perf_event_open, SYS_keyctl, SYS_add_key, SYS_request_key,
};

bool ApplySeccomp() {
#if defined(__x86_64__) || defined(__aarch64__)
    constexpr size_t kCount = sizeof kRefused / sizeof kRefused[0];
    sock_filter program[4 + 2 * kCount + 1];
    size_t n = 0;
    program[n++] = BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    // Another architecture's calling convention would bypass the list: end the process.
    program[n++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0);
    program[n++] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
    program[n++] = BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
    for (long call : kRefused) {
        program[n++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call), 0, 1);
        program[n++] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);
    }
    program[n++] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    sock_fprog filter{static_cast<unsigned short>(n), program};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
#else
    return false;
#endif
}

bool LimitMemory(uint64_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    (void)bytes;
    return false;  // AddressSanitizer reserves terabytes of address space for itself
#else
    rlimit limit{bytes, bytes};
    return bytes > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

}  // namespace

int LandlockAbi() {
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? static_cast<int>(abi) : 0;
}

SandboxLayers Confine(const SandboxRules& rules) {
    SandboxLayers layers;
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    layers.no_new_privileges = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    layers.landlock_abi = LandlockAbi();
    // ABI 1 cannot allow a rename or link between two folders at all.
    if (layers.no_new_privileges && layers.landlock_abi >= 2) layers.landlock = ApplyLandlock(rules, layers.landlock_abi);
    if (layers.no_new_privileges) layers.seccomp = ApplySeccomp();
    layers.memory_limit = LimitMemory(rules.memory_limit);
    return layers;
}

int TryRefused(const std::string& what, const std::string& path) {
    errno = 0;
    if (what == "try:exec") {
        char* const args[] = {const_cast<char*>("/bin/true"), nullptr};
        execve("/bin/true", args, environ);
    } else if (what == "try:socket") {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0) close(fd);
    } else if (what == "try:ptrace") {
        ptrace(PTRACE_ATTACH, getppid(), nullptr, nullptr);
    } else if (what == "try:memory") {
        // Touched, so that an allocator that hands out address space lazily still has to find it.
        auto* block = static_cast<char*>(std::malloc(3ULL << 30));
        if (block) std::memset(block, 1, 3ULL << 30);
        if (!block && errno == 0) errno = ENOMEM;
        std::free(block);
    } else if (what == "try:read") {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) close(fd);
    } else if (what == "try:write") {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }
    return errno;
}

}  // namespace platform
