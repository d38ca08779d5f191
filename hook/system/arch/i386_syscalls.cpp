// The watched i386 calls (32-bit programs, and int 0x80 from any): the same
// calls as x86_64's under the numbers of hook/system/arch/i386_syscall_nr.h, plus
// the 32-bit ones (_llseek, fcntl64, stat64, fstatat64, statfs64, socketcall,
// sendfile with a 32-bit offset).
// Positions split over two arguments and 32-bit structures are the decoder's
// part (SyscallTable::wide false).
#include <fcntl.h>
#include <linux/audit.h>

#include "hook/system/arch/i386_syscall_nr.h"
#include "hook/system/arch/syscall_decode.h"

namespace {

constexpr ArgSource Z = K(0);
constexpr int8_t N = kArgNone;
constexpr int8_t Cwd = kArgCwd;
constexpr ArgExtra No = ArgExtra::None;
constexpr uint16_t kCreat = O_CREAT | O_WRONLY | O_TRUNC;

// nr, call, fd, path1, fd2, path2, a0..a3, extra
constexpr SyscallDecode kDecodes[] = {
    {NR32_read, SYSEV_READ, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_write, SYSEV_WRITE, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_open, SYSEV_OPEN, Cwd, 0, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_close, SYSEV_CLOSE, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_creat, SYSEV_OPEN, Cwd, 0, N, N, {K(kCreat), A(1), Z, Z}, No},
    {NR32_unlink, SYSEV_UNLINK, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_chdir, SYSEV_CHDIR, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_chmod, SYSEV_CHMOD, Cwd, 0, N, N, {A(1), Z, Z, Z}, No},
    {NR32_lseek, SYSEV_LSEEK, 0, N, N, N, {Signed(1), A(2), Z, Z}, No},
    {NR32_utime, SYSEV_UTIMENS, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_access, SYSEV_ACCESS, Cwd, 0, N, N, {A(1), Z, Z, Z}, No},
    {NR32_sync, SYSEV_SYNC, N, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_rename, SYSEV_RENAME, Cwd, 0, Cwd, 1, {Z, Z, Z, Z}, No},
    {NR32_mkdir, SYSEV_MKDIR, Cwd, 0, N, N, {A(1), Z, Z, Z}, No},
    {NR32_rmdir, SYSEV_RMDIR, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_dup, SYSEV_DUP, 0, N, N, N, {K(-1), Z, Z, Z}, No},
    {NR32_ioctl, SYSEV_NONE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Ioctl},
    {NR32_fcntl, SYSEV_NONE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Fcntl},
    {NR32_dup2, SYSEV_DUP, 0, N, N, N, {A(1), Z, Z, Z}, No},
    {NR32_fchmod, SYSEV_CHMOD, 0, N, N, N, {A(1), Z, Z, Z}, No},
    {NR32_statfs, SYSEV_STATFS, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_fstatfs, SYSEV_FSTATFS, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_socketcall, SYSEV_RECEIVE_FD, N, N, N, N, {Z, Z, Z, Z}, ArgExtra::SocketCall},
    {NR32_stat, SYSEV_STAT, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_lstat, SYSEV_STAT, Cwd, 0, N, N, {K(AT_SYMLINK_NOFOLLOW), Z, Z, Z}, No},
    {NR32_fstat, SYSEV_STAT, 0, N, N, N, {K(AT_EMPTY_PATH), Z, Z, Z}, No},
    {NR32_fsync, SYSEV_FSYNC, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_fchdir, SYSEV_FCHDIR, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_llseek, SYSEV_LSEEK, 0, N, N, N, {Z, A(4), Z, Z}, ArgExtra::Llseek},
    {NR32_getdents, SYSEV_GETDENTS, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_flock, SYSEV_FLOCK, 0, N, N, N, {A(1), Z, Z, Z}, No},
    {NR32_readv, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Iovec},
    {NR32_writev, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Iovec},
    {NR32_fdatasync, SYSEV_FSYNC, 0, N, N, N, {K(1), Z, Z, Z}, No},
    {NR32_prctl, SYSEV_NONE, N, N, N, N, {Z, Z, Z, Z}, ArgExtra::ProcessName},
    {NR32_pread64, SYSEV_READ, 0, N, N, N, {A(1), A(2), Pos(3), K(1)}, No},
    {NR32_pwrite64, SYSEV_WRITE, 0, N, N, N, {A(1), A(2), Pos(3), K(1)}, No},
    {NR32_sendfile, SYSEV_COPY, 1, N, 0, N, {Z, Z, A(3), Z}, ArgExtra::Sendfile32},
    {NR32_stat64, SYSEV_STAT, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_lstat64, SYSEV_STAT, Cwd, 0, N, N, {K(AT_SYMLINK_NOFOLLOW), Z, Z, Z}, No},
    {NR32_fstat64, SYSEV_STAT, 0, N, N, N, {K(AT_EMPTY_PATH), Z, Z, Z}, No},
    {NR32_getdents64, SYSEV_GETDENTS, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_fcntl64, SYSEV_NONE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Fcntl},
    {NR32_sendfile64, SYSEV_COPY, 1, N, 0, N, {Z, Z, A(3), Z}, ArgExtra::Sendfile},
    {NR32_statfs64, SYSEV_STATFS, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_fstatfs64, SYSEV_FSTATFS, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_utimes, SYSEV_UTIMENS, Cwd, 0, N, N, {Z, Z, Z, Z}, No},
    {NR32_openat, SYSEV_OPEN, 0, 1, N, N, {A(2), A(3), Z, Z}, No},
    {NR32_mkdirat, SYSEV_MKDIR, 0, 1, N, N, {A(2), Z, Z, Z}, No},
    {NR32_futimesat, SYSEV_UTIMENS, 0, 1, N, N, {Z, Z, Z, Z}, No},
    {NR32_fstatat64, SYSEV_STAT, 0, 1, N, N, {A(3), Z, Z, Z}, No},
    {NR32_unlinkat, SYSEV_UNLINK, 0, 1, N, N, {A(2), Z, Z, Z}, No},
    {NR32_renameat, SYSEV_RENAME, 0, 1, 2, 3, {Z, Z, Z, Z}, No},
    {NR32_fchmodat, SYSEV_CHMOD, 0, 1, N, N, {A(2), Z, Z, Z}, No},
    {NR32_faccessat, SYSEV_ACCESS, 0, 1, N, N, {A(2), Z, Z, Z}, No},
    {NR32_utimensat, SYSEV_UTIMENS, 0, 1, N, N, {A(3), Z, Z, Z}, No},
    {NR32_dup3, SYSEV_DUP, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_preadv, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAt},
    {NR32_pwritev, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAt},
    {NR32_recvmmsg, SYSEV_RECEIVE_FD, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::ReceiveMmsg},
    {NR32_syncfs, SYSEV_SYNCFS, 0, N, N, N, {Z, Z, Z, Z}, No},
    {NR32_renameat2, SYSEV_RENAME, 0, 1, 2, 3, {A(4), Z, Z, Z}, No},
    {NR32_recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::ReceiveMsg},
    {NR32_copy_file_range, SYSEV_COPY, 0, N, 2, N, {Z, Z, A(4), Z}, ArgExtra::CopyRange},
    {NR32_preadv2, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAtMaybe},
    {NR32_pwritev2, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAtMaybe},
    {NR32_statx, SYSEV_STAT, 0, 1, N, N, {A(2), Z, Z, Z}, No},
    {NR32_utimensat_time64, SYSEV_UTIMENS, 0, 1, N, N, {A(3), Z, Z, Z}, No},
    {NR32_recvmmsg_time64, SYSEV_RECEIVE_FD, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::ReceiveMmsg},
    {NR32_close_range, SYSEV_CLOSE_RANGE, 0, N, N, N, {A(1), A(2), Z, Z}, No},
    {NR32_openat2, SYSEV_OPEN, 0, 1, N, N, {Z, Z, Z, Z}, ArgExtra::OpenHow},
    {NR32_faccessat2, SYSEV_ACCESS, 0, 1, N, N, {A(2), A(3), Z, Z}, No},
    {NR32_fchmodat2, SYSEV_CHMOD, 0, 1, N, N, {A(2), Z, Z, Z}, No},
};
constexpr size_t kDecodeCount = sizeof kDecodes / sizeof kDecodes[0];

static_assert(IsSortedByNumber(kDecodes, kDecodeCount));

} // namespace

const SyscallTable& I386Syscalls() {
    static constexpr SyscallTable kTable{AUDIT_ARCH_I386, false, kDecodes, kDecodeCount};
    return kTable;
}
