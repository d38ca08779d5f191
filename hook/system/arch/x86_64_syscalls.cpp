// The watched x86_64 calls.
#include <fcntl.h>
#include <linux/audit.h>

#include "hook/system/arch/syscall_decode.h"

namespace {

constexpr ArgSource Z = K(0);
constexpr int8_t N = kArgNone;
constexpr int8_t Cwd = kArgCwd;

// nr, call, fd, path1, fd2, path2, a0..a3, extra
constexpr SyscallDecode kDecodes[] = {
    {0, SYSEV_READ, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},                  // read
    {1, SYSEV_WRITE, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},                 // write
    {2, SYSEV_OPEN, Cwd, 0, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},                // open
    {3, SYSEV_CLOSE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},                       // close
    {4, SYSEV_STAT, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},                      // stat
    {5, SYSEV_STAT, 0, N, N, N, {K(AT_EMPTY_PATH), Z, Z, Z}, ArgExtra::None},         // fstat
    {6, SYSEV_STAT, Cwd, 0, N, N, {K(AT_SYMLINK_NOFOLLOW), Z, Z, Z}, ArgExtra::None}, // lstat
    {8, SYSEV_LSEEK, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},                 // lseek
    {16, SYSEV_NONE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Ioctl},                      // ioctl
    {17, SYSEV_READ, 0, N, N, N, {A(1), A(2), A(3), K(1)}, ArgExtra::None},           // pread64
    {18, SYSEV_WRITE, 0, N, N, N, {A(1), A(2), A(3), K(1)}, ArgExtra::None},          // pwrite64
    {19, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Iovec},                      // readv
    {20, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Iovec},                     // writev
    {21, SYSEV_ACCESS, Cwd, 0, N, N, {A(1), Z, Z, Z}, ArgExtra::None},                // access
    {32, SYSEV_DUP, 0, N, N, N, {K(-1), Z, Z, Z}, ArgExtra::None},                    // dup
    {33, SYSEV_DUP, 0, N, N, N, {A(1), Z, Z, Z}, ArgExtra::None},                     // dup2
    {40, SYSEV_COPY, 1, N, 0, N, {Z, Z, A(3), Z}, ArgExtra::Sendfile},                // sendfile
    {47, SYSEV_RECEIVE_FD, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::ReceiveMsg},           // recvmsg
    {72, SYSEV_NONE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::Fcntl},                      // fcntl
    {73, SYSEV_FLOCK, 0, N, N, N, {A(1), Z, Z, Z}, ArgExtra::None},                   // flock
    {74, SYSEV_FSYNC, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},                      // fsync
    {75, SYSEV_FSYNC, 0, N, N, N, {K(1), Z, Z, Z}, ArgExtra::None},                   // fdatasync
    {78, SYSEV_GETDENTS, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},             // getdents
    {80, SYSEV_CHDIR, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},                    // chdir
    {81, SYSEV_FCHDIR, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},                     // fchdir
    {82, SYSEV_RENAME, Cwd, 0, Cwd, 1, {Z, Z, Z, Z}, ArgExtra::None},                 // rename
    {83, SYSEV_MKDIR, Cwd, 0, N, N, {A(1), Z, Z, Z}, ArgExtra::None},                 // mkdir
    {84, SYSEV_RMDIR, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},                    // rmdir
    {85,
     SYSEV_OPEN,
     Cwd,
     0,
     N,
     N,
     {K(O_CREAT | O_WRONLY | O_TRUNC), A(1), Z, Z},
     ArgExtra::None},                                                         // creat
    {87, SYSEV_UNLINK, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},           // unlink
    {90, SYSEV_CHMOD, Cwd, 0, N, N, {A(1), Z, Z, Z}, ArgExtra::None},         // chmod
    {91, SYSEV_CHMOD, 0, N, N, N, {A(1), Z, Z, Z}, ArgExtra::None},           // fchmod
    {132, SYSEV_UTIMENS, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},         // utime
    {137, SYSEV_STATFS, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},          // statfs
    {138, SYSEV_FSTATFS, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},           // fstatfs
    {157, SYSEV_NONE, N, N, N, N, {Z, Z, Z, Z}, ArgExtra::ProcessName},       // prctl
    {162, SYSEV_SYNC, N, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},              // sync
    {217, SYSEV_GETDENTS, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},    // getdents64
    {235, SYSEV_UTIMENS, Cwd, 0, N, N, {Z, Z, Z, Z}, ArgExtra::None},         // utimes
    {257, SYSEV_OPEN, 0, 1, N, N, {A(2), A(3), Z, Z}, ArgExtra::None},        // openat
    {258, SYSEV_MKDIR, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},          // mkdirat
    {261, SYSEV_UTIMENS, 0, 1, N, N, {Z, Z, Z, Z}, ArgExtra::None},           // futimesat
    {262, SYSEV_STAT, 0, 1, N, N, {A(3), Z, Z, Z}, ArgExtra::None},           // newfstatat
    {263, SYSEV_UNLINK, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},         // unlinkat
    {264, SYSEV_RENAME, 0, 1, 2, 3, {Z, Z, Z, Z}, ArgExtra::None},            // renameat
    {268, SYSEV_CHMOD, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},          // fchmodat
    {269, SYSEV_ACCESS, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},         // faccessat
    {280, SYSEV_UTIMENS, 0, 1, N, N, {A(3), Z, Z, Z}, ArgExtra::None},        // utimensat
    {292, SYSEV_DUP, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None},         // dup3
    {295, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAt},           // preadv
    {296, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAt},          // pwritev
    {299, SYSEV_RECEIVE_FD, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::ReceiveMmsg}, // recvmmsg
    {306, SYSEV_SYNCFS, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::None},            // syncfs
    {316, SYSEV_RENAME, 0, 1, 2, 3, {A(4), Z, Z, Z}, ArgExtra::None},         // renameat2
    {326, SYSEV_COPY, 0, N, 2, N, {Z, Z, A(4), Z}, ArgExtra::CopyRange},      // copy_file_range
    {327, SYSEV_READ, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAtMaybe},      // preadv2
    {328, SYSEV_WRITE, 0, N, N, N, {Z, Z, Z, Z}, ArgExtra::IovecAtMaybe},     // pwritev2
    {332, SYSEV_STAT, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},           // statx
    {436, SYSEV_CLOSE_RANGE, 0, N, N, N, {A(1), A(2), Z, Z}, ArgExtra::None}, // close_range
    {437, SYSEV_OPEN, 0, 1, N, N, {Z, Z, Z, Z}, ArgExtra::OpenHow},           // openat2
    {439, SYSEV_ACCESS, 0, 1, N, N, {A(2), A(3), Z, Z}, ArgExtra::None},      // faccessat2
    {452, SYSEV_CHMOD, 0, 1, N, N, {A(2), Z, Z, Z}, ArgExtra::None},          // fchmodat2
};
constexpr size_t kDecodeCount = sizeof kDecodes / sizeof kDecodes[0];

static_assert(IsSortedByNumber(kDecodes, kDecodeCount));

} // namespace

const SyscallTable& X86_64Syscalls() {
    static constexpr SyscallTable kTable{AUDIT_ARCH_X86_64, true, kDecodes, kDecodeCount};
    return kTable;
}
