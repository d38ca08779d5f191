#include "hook/syscalls/seccomp_filter.h"

#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "hook/syscalls/x86_64_syscalls.h"

namespace {
bool g_limited = false;
std::vector<uint16_t> g_limit;
} // namespace

void LimitTraceFilter(std::vector<uint16_t> numbers) {
    g_limited = true;
    g_limit = std::move(numbers);
}

int InstallTraceFilter() {
    const uint16_t* numbers;
    size_t n = WatchedSyscalls(&numbers);
    if (g_limited) {
        numbers = g_limit.data();
        n = g_limit.size();
    }
    std::vector<sock_filter> code;
    const auto add = [&](uint16_t op, uint32_t k, uint8_t jt, uint8_t jf) {
        code.push_back({op, jt, jf, k});
    };
    // arch != x86_64: allow. nr >= 0x40000000 (x32): allow (jump over the n
    // tests to the ALLOW after them).
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch), 0, 0);
    add(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW, 0, 0);
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr), 0, 0);
    add(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, static_cast<uint8_t>(n), 0);
    // One test per watched number, each jumping to the TRACE at the end.
    for (size_t i = 0; i < n; ++i)
        add(BPF_JMP | BPF_JEQ | BPF_K, numbers[i], static_cast<uint8_t>(n - i), 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW, 0, 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_TRACE, 0, 0);
    if (n > 255)
        return E2BIG; // the jumps would not fit in a byte
    sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    if (geteuid() != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) != 0)
        return errno;
    return 0;
}
