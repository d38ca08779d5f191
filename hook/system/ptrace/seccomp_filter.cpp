#include "hook/system/ptrace/seccomp_filter.h"

#include <errno.h>
#include <linux/audit.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "hook/system/arch/syscall_decode.h"

namespace {

constexpr uint32_t kX32Bit = 0x40000000;

TracedCall g_traced; // the monitor's filter, when it limits the stops

// The numbers of a table's calls that stop.
std::vector<uint32_t> TracedNumbers(const SyscallTable& t, const TracedCall& traced) {
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < t.count; ++i) {
        if (!traced || traced(t.decodes[i]))
            numbers.push_back(t.decodes[i].nr);
    }
    return numbers;
}

// One architecture's tests: one per number, each jumping to the TRACE at
// `trace` (an index in code), then a jump to the ALLOW at `allow`.
bool AddNumberTests(std::vector<sock_filter>* code, const std::vector<uint32_t>& numbers,
                    size_t trace, size_t allow) {
    for (const uint32_t nr : numbers) {
        const size_t at = code->size();
        if (trace - at - 1 > 255)
            return false; // the jump would not fit in a byte
        code->push_back({BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint8_t>(trace - at - 1), 0, nr});
    }
    const size_t at = code->size();
    code->push_back({BPF_JMP | BPF_JA, 0, 0, static_cast<uint32_t>(allow - at - 1)});
    return true;
}

} // namespace

std::vector<sock_filter> TraceFilterProgram(const TracedCall& traced) {
    const std::vector<uint32_t> x64 = TracedNumbers(X86_64Syscalls(), traced);
    const std::vector<uint32_t> x86 = TracedNumbers(I386Syscalls(), traced);
    // 0 ld arch; 1 jeq x86_64; 2 jeq i386 ; 3 ret allow
    // 4 ld nr; 5 jge x32 -> allow; x86_64 tests; ja allow
    // ld nr; i386 tests; ja allow
    // allow: ret ALLOW; trace: ret TRACE
    const size_t x64Start = 4;
    const size_t x86Start = x64Start + 2 + x64.size() + 1;
    const size_t allow = x86Start + 1 + x86.size() + 1;
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

void LimitTraceFilter(TracedCall traced) {
    g_traced = std::move(traced);
}

int InstallTraceFilter() {
    std::vector<sock_filter> code = TraceFilterProgram(g_traced);
    if (code.empty())
        return E2BIG;
    sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    if (geteuid() != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) != 0)
        return errno;
    return 0;
}
