#include "hook/syscalls/seccomp_filter.h"

#include <errno.h>
#include <linux/audit.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

#include "hook/syscalls/syscall_decode.h"

namespace {

constexpr uint32_t kX32Bit = 0x40000000;

// One architecture's tests: its number loaded, one test per watched number,
// each jumping to the TRACE at `trace` (an index in code).
bool AddNumberTests(std::vector<sock_filter>* code, const SyscallTable& t, size_t trace,
                    size_t allow) {
    for (size_t i = 0; i < t.count; ++i) {
        const size_t at = code->size();
        if (trace - at - 1 > 255)
            return false; // the jump would not fit in a byte
        code->push_back(
            {BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint8_t>(trace - at - 1), 0, t.decodes[i].nr});
    }
    const size_t at = code->size();
    code->push_back({BPF_JMP | BPF_JA, 0, 0, static_cast<uint32_t>(allow - at - 1)});
    return true;
}

} // namespace

std::vector<sock_filter> TraceFilterProgram() {
    const SyscallTable& x64 = X86_64Syscalls();
    const SyscallTable& x86 = I386Syscalls();
    // 0 ld arch; 1 jeq x86_64; 2 jeq i386 ; 3 ret allow
    // 4 ld nr; 5 jge x32 -> allow; x86_64 tests; ja allow
    // ld nr; i386 tests; ja allow
    // allow: ret ALLOW; trace: ret TRACE
    const size_t x64Start = 4;
    const size_t x86Start = x64Start + 2 + x64.count + 1;
    const size_t allow = x86Start + 1 + x86.count + 1;
    const size_t trace = allow + 1;
    std::vector<sock_filter> code;
    const auto add = [&](uint16_t op, uint32_t k, uint8_t jt, uint8_t jf) {
        code.push_back({op, jt, jf, k});
    };
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch), 0, 0);
    add(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, static_cast<uint8_t>(x64Start - 2), 0);
    add(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, static_cast<uint8_t>(x86Start - 3), 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW, 0, 0);
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr), 0, 0);
    add(BPF_JMP | BPF_JGE | BPF_K, kX32Bit, static_cast<uint8_t>(allow - 6), 0);
    if (allow - 6 > 255 || !AddNumberTests(&code, x64, trace, allow))
        return {};
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr), 0, 0);
    if (!AddNumberTests(&code, x86, trace, allow))
        return {};
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW, 0, 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_TRACE, 0, 0);
    return code;
}

int InstallTraceFilter() {
    std::vector<sock_filter> code = TraceFilterProgram();
    if (code.empty())
        return E2BIG;
    sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    if (geteuid() != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) != 0)
        return errno;
    return 0;
}
