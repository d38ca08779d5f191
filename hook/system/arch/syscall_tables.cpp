// The ptrace backend's tables of the watched x86_64 and i386 calls, made
// from the one list (hook/system/arch/watched_calls.h) that the eBPF kernel
// side's tables come from too. Positions split over two arguments and
// 32-bit structures are the decoder's part (SyscallTable::wide false).
#include <fcntl.h>
#include <linux/audit.h>

#include "hook/system/arch/syscall_decode.h"
#include "hook/system/arch/watched_calls.h"

namespace {

// The short names of the list's rows.
constexpr ArgSource Z = K(0);
constexpr int8_t N = kArgNone;
constexpr int8_t Cwd = kArgCwd;
constexpr uint16_t kCreat = O_CREAT | O_WRONLY | O_TRUNC;

#define DECODE(nr, call, fd, path1, fd2, path2, a0, a1, a2, a3, extra)                             \
    {nr, call, fd, path1, fd2, path2, {a0, a1, a2, a3}, ArgExtra::extra},
#define CALL_ROW(nr, program, ...) DECODE(nr, __VA_ARGS__)

constexpr SyscallDecode kX86_64[] = {TALVEK_X86_64_CALLS(CALL_ROW, DECODE)};
constexpr SyscallDecode kI386[] = {TALVEK_I386_CALLS(CALL_ROW, DECODE)};

static_assert(IsSortedByNumber(kX86_64, sizeof kX86_64 / sizeof kX86_64[0]));
static_assert(IsSortedByNumber(kI386, sizeof kI386 / sizeof kI386[0]));

} // namespace

const SyscallTable& X86_64Syscalls() {
    static constexpr SyscallTable kTable{AUDIT_ARCH_X86_64, true, kX86_64,
                                         sizeof kX86_64 / sizeof kX86_64[0]};
    return kTable;
}

const SyscallTable& I386Syscalls() {
    static constexpr SyscallTable kTable{AUDIT_ARCH_I386, false, kI386,
                                         sizeof kI386 / sizeof kI386[0]};
    return kTable;
}
