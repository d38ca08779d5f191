/* The watched system calls of x86_64 and i386, one row per call, in number
 * order: the one list that both backends' tables come from, the ptrace
 * backend's decode tables (hook/system/arch/syscall_tables.cpp) and the eBPF
 * kernel side's enter tables (hook/system/ebpf/talvek_hook.bpf.c). Plain C.
 *
 * TALVEK_X86_64_CALLS(CALL, PTRACE_ONLY) and TALVEK_I386_CALLS(CALL,
 * PTRACE_ONLY) expand each row to one of:
 *   CALL(nr, program, call, fd, path1, fd2, path2, a0, a1, a2, a3, extra)
 *   PTRACE_ONLY(nr, call, fd, path1, fd2, path2, a0, a1, a2, a3, extra)
 * nr       the call's number
 * program  the eBPF kernel side's program for it, enter_<program>
 * the rest the ptrace backend's SyscallDecode after the number
 *          (hook/system/arch/syscall_decode.h), in the short names of
 *          syscall_tables.cpp; extra an ArgExtra name
 * PTRACE_ONLY is prctl: ptrace follows a process's name through it, the
 * eBPF side reads the name at every call. */
#ifndef TALVEK_HOOK_WATCHED_CALLS_H
#define TALVEK_HOOK_WATCHED_CALLS_H

#include <asm/unistd_64.h>

#include "hook/system/arch/i386_syscall_nr.h"

// clang-format off
#define TALVEK_X86_64_CALLS(CALL, PTRACE_ONLY)                                                     \
    CALL(__NR_read, read, SYSEV_READ, 0, N, N, N, A(1), A(2), Z, Z, None)                          \
    CALL(__NR_write, write, SYSEV_WRITE, 0, N, N, N, A(1), A(2), Z, Z, None)                       \
    CALL(__NR_open, open, SYSEV_OPEN, Cwd, 0, N, N, A(1), A(2), Z, Z, None)                        \
    CALL(__NR_close, close, SYSEV_CLOSE, 0, N, N, N, Z, Z, Z, Z, None)                             \
    CALL(__NR_stat, newstat, SYSEV_STAT, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(__NR_fstat, newfstat, SYSEV_STAT, 0, N, N, N, K(AT_EMPTY_PATH), Z, Z, Z, None)            \
    CALL(__NR_lstat, newlstat, SYSEV_STAT, Cwd, 0, N, N, K(AT_SYMLINK_NOFOLLOW), Z, Z, Z, None)    \
    CALL(__NR_lseek, lseek, SYSEV_LSEEK, 0, N, N, N, A(1), A(2), Z, Z, None)                       \
    CALL(__NR_ioctl, ioctl, SYSEV_NONE, 0, N, N, N, Z, Z, Z, Z, Ioctl)                             \
    CALL(__NR_pread64, pread64, SYSEV_READ, 0, N, N, N, A(1), A(2), A(3), K(1), None)              \
    CALL(__NR_pwrite64, pwrite64, SYSEV_WRITE, 0, N, N, N, A(1), A(2), A(3), K(1), None)           \
    CALL(__NR_readv, readv, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, Iovec)                             \
    CALL(__NR_writev, writev, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, Iovec)                          \
    CALL(__NR_access, access, SYSEV_ACCESS, Cwd, 0, N, N, A(1), Z, Z, Z, None)                     \
    CALL(__NR_dup, dup, SYSEV_DUP, 0, N, N, N, K(-1), Z, Z, Z, None)                               \
    CALL(__NR_dup2, dup2, SYSEV_DUP, 0, N, N, N, A(1), Z, Z, Z, None)                              \
    CALL(__NR_sendfile, sendfile64, SYSEV_COPY, 1, N, 0, N, Z, Z, A(3), Z, Sendfile)               \
    CALL(__NR_recvmsg, recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, Z, Z, Z, Z, ReceiveMsg)              \
    CALL(__NR_fcntl, fcntl, SYSEV_NONE, 0, N, N, N, Z, Z, Z, Z, Fcntl)                             \
    CALL(__NR_flock, flock, SYSEV_FLOCK, 0, N, N, N, A(1), Z, Z, Z, None)                          \
    CALL(__NR_fsync, fsync, SYSEV_FSYNC, 0, N, N, N, Z, Z, Z, Z, None)                             \
    CALL(__NR_fdatasync, fdatasync, SYSEV_FSYNC, 0, N, N, N, K(1), Z, Z, Z, None)                  \
    CALL(__NR_getdents, getdents, SYSEV_GETDENTS, 0, N, N, N, A(1), A(2), Z, Z, None)              \
    CALL(__NR_chdir, chdir, SYSEV_CHDIR, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(__NR_fchdir, fchdir, SYSEV_FCHDIR, 0, N, N, N, Z, Z, Z, Z, None)                          \
    CALL(__NR_rename, rename, SYSEV_RENAME, Cwd, 0, Cwd, 1, Z, Z, Z, Z, None)                      \
    CALL(__NR_mkdir, mkdir, SYSEV_MKDIR, Cwd, 0, N, N, A(1), Z, Z, Z, None)                        \
    CALL(__NR_rmdir, rmdir, SYSEV_RMDIR, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(__NR_creat, creat, SYSEV_OPEN, Cwd, 0, N, N, K(kCreat), A(1), Z, Z, None)                 \
    CALL(__NR_unlink, unlink, SYSEV_UNLINK, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(__NR_chmod, chmod, SYSEV_CHMOD, Cwd, 0, N, N, A(1), Z, Z, Z, None)                        \
    CALL(__NR_fchmod, fchmod, SYSEV_CHMOD, 0, N, N, N, A(1), Z, Z, Z, None)                        \
    CALL(__NR_utime, utime, SYSEV_UTIMENS, Cwd, 0, N, N, Z, Z, Z, Z, None)                         \
    CALL(__NR_statfs, statfs, SYSEV_STATFS, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(__NR_fstatfs, fstatfs, SYSEV_FSTATFS, 0, N, N, N, Z, Z, Z, Z, None)                       \
    PTRACE_ONLY(__NR_prctl, SYSEV_NONE, N, N, N, N, Z, Z, Z, Z, ProcessName)                       \
    CALL(__NR_sync, sync, SYSEV_SYNC, N, N, N, N, Z, Z, Z, Z, None)                                \
    CALL(__NR_getdents64, getdents64, SYSEV_GETDENTS, 0, N, N, N, A(1), A(2), Z, Z, None)          \
    CALL(__NR_utimes, utime, SYSEV_UTIMENS, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(__NR_openat, openat, SYSEV_OPEN, 0, 1, N, N, A(2), A(3), Z, Z, None)                      \
    CALL(__NR_mkdirat, mkdirat, SYSEV_MKDIR, 0, 1, N, N, A(2), Z, Z, Z, None)                      \
    CALL(__NR_futimesat, futimesat, SYSEV_UTIMENS, 0, 1, N, N, Z, Z, Z, Z, None)                   \
    CALL(__NR_newfstatat, newfstatat, SYSEV_STAT, 0, 1, N, N, A(3), Z, Z, Z, None)                 \
    CALL(__NR_unlinkat, unlinkat, SYSEV_UNLINK, 0, 1, N, N, A(2), Z, Z, Z, None)                   \
    CALL(__NR_renameat, renameat, SYSEV_RENAME, 0, 1, 2, 3, Z, Z, Z, Z, None)                      \
    CALL(__NR_fchmodat, fchmodat, SYSEV_CHMOD, 0, 1, N, N, A(2), Z, Z, Z, None)                    \
    CALL(__NR_faccessat, faccessat, SYSEV_ACCESS, 0, 1, N, N, A(2), Z, Z, Z, None)                 \
    CALL(__NR_utimensat, utimensat, SYSEV_UTIMENS, 0, 1, N, N, A(3), Z, Z, Z, None)                \
    CALL(__NR_dup3, dup3, SYSEV_DUP, 0, N, N, N, A(1), A(2), Z, Z, None)                           \
    CALL(__NR_preadv, preadv, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, IovecAt)                         \
    CALL(__NR_pwritev, pwritev, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, IovecAt)                      \
    CALL(__NR_recvmmsg, recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, Z, Z, Z, Z, ReceiveMmsg)            \
    CALL(__NR_syncfs, syncfs, SYSEV_SYNCFS, 0, N, N, N, Z, Z, Z, Z, None)                          \
    CALL(__NR_renameat2, renameat2, SYSEV_RENAME, 0, 1, 2, 3, A(4), Z, Z, Z, None)                 \
    CALL(__NR_copy_file_range, copy_file_range, SYSEV_COPY, 0, N, 2, N, Z, Z, A(4), Z, CopyRange)  \
    CALL(__NR_preadv2, preadv2, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, IovecAtMaybe)                  \
    CALL(__NR_pwritev2, pwritev2, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, IovecAtMaybe)               \
    CALL(__NR_statx, statx, SYSEV_STAT, 0, 1, N, N, A(2), Z, Z, Z, None)                           \
    CALL(__NR_close_range, close_range, SYSEV_CLOSE_RANGE, 0, N, N, N, A(1), A(2), Z, Z, None)     \
    CALL(__NR_openat2, openat2, SYSEV_OPEN, 0, 1, N, N, Z, Z, Z, Z, OpenHow)                       \
    CALL(__NR_faccessat2, faccessat2, SYSEV_ACCESS, 0, 1, N, N, A(2), A(3), Z, Z, None)            \
    CALL(452 /* fchmodat2 */, fchmodat, SYSEV_CHMOD, 0, 1, N, N, A(2), Z, Z, Z, None)

/* 32-bit programs and int 0x80: x86_64's calls under i386 numbers, and the
 * 32-bit ones (_llseek, fcntl64, stat64, fstatat64, statfs64, socketcall,
 * sendfile with a 32-bit offset). */
#define TALVEK_I386_CALLS(CALL, PTRACE_ONLY)                                                       \
    CALL(NR32_read, read, SYSEV_READ, 0, N, N, N, A(1), A(2), Z, Z, None)                          \
    CALL(NR32_write, write, SYSEV_WRITE, 0, N, N, N, A(1), A(2), Z, Z, None)                       \
    CALL(NR32_open, open, SYSEV_OPEN, Cwd, 0, N, N, A(1), A(2), Z, Z, None)                        \
    CALL(NR32_close, close, SYSEV_CLOSE, 0, N, N, N, Z, Z, Z, Z, None)                             \
    CALL(NR32_creat, creat, SYSEV_OPEN, Cwd, 0, N, N, K(kCreat), A(1), Z, Z, None)                 \
    CALL(NR32_unlink, unlink, SYSEV_UNLINK, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(NR32_chdir, chdir, SYSEV_CHDIR, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(NR32_chmod, chmod, SYSEV_CHMOD, Cwd, 0, N, N, A(1), Z, Z, Z, None)                        \
    CALL(NR32_lseek, lseek, SYSEV_LSEEK, 0, N, N, N, Signed(1), A(2), Z, Z, None)                  \
    CALL(NR32_utime, utime, SYSEV_UTIMENS, Cwd, 0, N, N, Z, Z, Z, Z, None)                         \
    CALL(NR32_access, access, SYSEV_ACCESS, Cwd, 0, N, N, A(1), Z, Z, Z, None)                     \
    CALL(NR32_sync, sync, SYSEV_SYNC, N, N, N, N, Z, Z, Z, Z, None)                                \
    CALL(NR32_rename, rename, SYSEV_RENAME, Cwd, 0, Cwd, 1, Z, Z, Z, Z, None)                      \
    CALL(NR32_mkdir, mkdir, SYSEV_MKDIR, Cwd, 0, N, N, A(1), Z, Z, Z, None)                        \
    CALL(NR32_rmdir, rmdir, SYSEV_RMDIR, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(NR32_dup, dup, SYSEV_DUP, 0, N, N, N, K(-1), Z, Z, Z, None)                               \
    CALL(NR32_ioctl, ioctl, SYSEV_NONE, 0, N, N, N, Z, Z, Z, Z, Ioctl)                             \
    CALL(NR32_fcntl, fcntl, SYSEV_NONE, 0, N, N, N, Z, Z, Z, Z, Fcntl)                             \
    CALL(NR32_dup2, dup2, SYSEV_DUP, 0, N, N, N, A(1), Z, Z, Z, None)                              \
    CALL(NR32_fchmod, fchmod, SYSEV_CHMOD, 0, N, N, N, A(1), Z, Z, Z, None)                        \
    CALL(NR32_statfs, statfs, SYSEV_STATFS, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(NR32_fstatfs, fstatfs, SYSEV_FSTATFS, 0, N, N, N, Z, Z, Z, Z, None)                       \
    CALL(NR32_socketcall, socketcall32, SYSEV_RECEIVE_FD, N, N, N, N, Z, Z, Z, Z, SocketCall)      \
    CALL(NR32_stat, newstat, SYSEV_STAT, Cwd, 0, N, N, Z, Z, Z, Z, None)                           \
    CALL(NR32_lstat, newlstat, SYSEV_STAT, Cwd, 0, N, N, K(AT_SYMLINK_NOFOLLOW), Z, Z, Z, None)    \
    CALL(NR32_fstat, newfstat, SYSEV_STAT, 0, N, N, N, K(AT_EMPTY_PATH), Z, Z, Z, None)            \
    CALL(NR32_fsync, fsync, SYSEV_FSYNC, 0, N, N, N, Z, Z, Z, Z, None)                             \
    CALL(NR32_fchdir, fchdir, SYSEV_FCHDIR, 0, N, N, N, Z, Z, Z, Z, None)                          \
    CALL(NR32_llseek, llseek32, SYSEV_LSEEK, 0, N, N, N, Z, A(4), Z, Z, Llseek)                    \
    CALL(NR32_getdents, getdents, SYSEV_GETDENTS, 0, N, N, N, A(1), A(2), Z, Z, None)              \
    CALL(NR32_flock, flock, SYSEV_FLOCK, 0, N, N, N, A(1), Z, Z, Z, None)                          \
    CALL(NR32_readv, readv, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, Iovec)                             \
    CALL(NR32_writev, writev, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, Iovec)                          \
    CALL(NR32_fdatasync, fdatasync, SYSEV_FSYNC, 0, N, N, N, K(1), Z, Z, Z, None)                  \
    PTRACE_ONLY(NR32_prctl, SYSEV_NONE, N, N, N, N, Z, Z, Z, Z, ProcessName)                       \
    CALL(NR32_pread64, pread64, SYSEV_READ, 0, N, N, N, A(1), A(2), Pos(3), K(1), None)            \
    CALL(NR32_pwrite64, pwrite64, SYSEV_WRITE, 0, N, N, N, A(1), A(2), Pos(3), K(1), None)         \
    CALL(NR32_sendfile, sendfile, SYSEV_COPY, 1, N, 0, N, Z, Z, A(3), Z, Sendfile32)               \
    CALL(NR32_stat64, newstat, SYSEV_STAT, Cwd, 0, N, N, Z, Z, Z, Z, None)                         \
    CALL(NR32_lstat64, newlstat, SYSEV_STAT, Cwd, 0, N, N, K(AT_SYMLINK_NOFOLLOW), Z, Z, Z, None)  \
    CALL(NR32_fstat64, newfstat, SYSEV_STAT, 0, N, N, N, K(AT_EMPTY_PATH), Z, Z, Z, None)          \
    CALL(NR32_getdents64, getdents64, SYSEV_GETDENTS, 0, N, N, N, A(1), A(2), Z, Z, None)          \
    CALL(NR32_fcntl64, fcntl, SYSEV_NONE, 0, N, N, N, Z, Z, Z, Z, Fcntl)                           \
    CALL(NR32_sendfile64, sendfile64, SYSEV_COPY, 1, N, 0, N, Z, Z, A(3), Z, Sendfile)             \
    CALL(NR32_statfs64, statfs, SYSEV_STATFS, Cwd, 0, N, N, Z, Z, Z, Z, None)                      \
    CALL(NR32_fstatfs64, fstatfs, SYSEV_FSTATFS, 0, N, N, N, Z, Z, Z, Z, None)                     \
    CALL(NR32_utimes, utime, SYSEV_UTIMENS, Cwd, 0, N, N, Z, Z, Z, Z, None)                        \
    CALL(NR32_openat, openat, SYSEV_OPEN, 0, 1, N, N, A(2), A(3), Z, Z, None)                      \
    CALL(NR32_mkdirat, mkdirat, SYSEV_MKDIR, 0, 1, N, N, A(2), Z, Z, Z, None)                      \
    CALL(NR32_futimesat, futimesat, SYSEV_UTIMENS, 0, 1, N, N, Z, Z, Z, Z, None)                   \
    CALL(NR32_fstatat64, newfstatat, SYSEV_STAT, 0, 1, N, N, A(3), Z, Z, Z, None)                  \
    CALL(NR32_unlinkat, unlinkat, SYSEV_UNLINK, 0, 1, N, N, A(2), Z, Z, Z, None)                   \
    CALL(NR32_renameat, renameat, SYSEV_RENAME, 0, 1, 2, 3, Z, Z, Z, Z, None)                      \
    CALL(NR32_fchmodat, fchmodat, SYSEV_CHMOD, 0, 1, N, N, A(2), Z, Z, Z, None)                    \
    CALL(NR32_faccessat, faccessat, SYSEV_ACCESS, 0, 1, N, N, A(2), Z, Z, Z, None)                 \
    CALL(NR32_utimensat, utimensat, SYSEV_UTIMENS, 0, 1, N, N, A(3), Z, Z, Z, None)                \
    CALL(NR32_dup3, dup3, SYSEV_DUP, 0, N, N, N, A(1), A(2), Z, Z, None)                           \
    CALL(NR32_preadv, preadv, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, IovecAt)                         \
    CALL(NR32_pwritev, pwritev, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, IovecAt)                      \
    CALL(NR32_recvmmsg, recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, Z, Z, Z, Z, ReceiveMmsg)            \
    CALL(NR32_syncfs, syncfs, SYSEV_SYNCFS, 0, N, N, N, Z, Z, Z, Z, None)                          \
    CALL(NR32_renameat2, renameat2, SYSEV_RENAME, 0, 1, 2, 3, A(4), Z, Z, Z, None)                 \
    CALL(NR32_recvmsg, recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, Z, Z, Z, Z, ReceiveMsg)              \
    CALL(NR32_copy_file_range, copy_file_range, SYSEV_COPY, 0, N, 2, N, Z, Z, A(4), Z, CopyRange)  \
    CALL(NR32_preadv2, preadv2, SYSEV_READ, 0, N, N, N, Z, Z, Z, Z, IovecAtMaybe)                  \
    CALL(NR32_pwritev2, pwritev2, SYSEV_WRITE, 0, N, N, N, Z, Z, Z, Z, IovecAtMaybe)               \
    CALL(NR32_statx, statx, SYSEV_STAT, 0, 1, N, N, A(2), Z, Z, Z, None)                           \
    CALL(NR32_utimensat_time64, utimensat, SYSEV_UTIMENS, 0, 1, N, N, A(3), Z, Z, Z, None)         \
    CALL(NR32_recvmmsg_time64, recvmsg, SYSEV_RECEIVE_FD, 0, N, N, N, Z, Z, Z, Z, ReceiveMmsg)     \
    CALL(NR32_close_range, close_range, SYSEV_CLOSE_RANGE, 0, N, N, N, A(1), A(2), Z, Z, None)     \
    CALL(NR32_openat2, openat2, SYSEV_OPEN, 0, 1, N, N, Z, Z, Z, Z, OpenHow)                       \
    CALL(NR32_faccessat2, faccessat2, SYSEV_ACCESS, 0, 1, N, N, A(2), A(3), Z, Z, None)            \
    CALL(NR32_fchmodat2, fchmodat, SYSEV_CHMOD, 0, 1, N, N, A(2), Z, Z, Z, None)
// clang-format on

#endif
