// Confinement of a process that reads untrusted data (the archive worker).
#ifndef KELVORA_PLATFORM_SANDBOX_H
#define KELVORA_PLATFORM_SANDBOX_H

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SandboxRules {
    std::vector<std::string> readable;  // files, and folders with all beneath them
    std::string writable;               // a folder the process may change beneath; empty: none
    uint64_t memory_limit = 0;          // bytes of address space; 0: no limit
};

// The layers that Confine put in place.
struct SandboxLayers {
    bool no_new_privileges = false;
    int landlock_abi = 0;  // 0: the kernel has no Landlock (or it is off)
    bool landlock = false;
    bool seccomp = false;
    bool memory_limit = false;
};

// Confines the calling process for the rest of its life, irreversibly:
// no new privileges; Landlock (when the kernel offers ABI 2 or later) lets
// it read only `readable` and write only beneath `writable`, with no TCP
// and no signals to processes outside; a seccomp filter refuses sockets,
// exec, ptrace and the like; the address space is limited. Layers the
// kernel lacks are left out and reported so.
SandboxLayers Confine(const SandboxRules& rules);

// The Landlock ABI this kernel offers, 0 when none.
int LandlockAbi();

// Tries one thing that Confine should refuse, so that a check can see it is
// refused: "try:exec" (run /bin/true in place of this process), "try:socket"
// (a TCP socket), "try:ptrace" (attach to the parent), "try:memory" (use 3 GiB),
// "try:read" and "try:write" (open `path`). Returns the error (errno) it met,
// 0 when it was let through; "try:exec" does not come back when it is.
int TryRefused(const std::string& what, const std::string& path);

}  // namespace platform

#endif
