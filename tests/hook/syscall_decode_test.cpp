// The decoder on recorded calls: register sets and the process memory they
// point at, in each architecture's layout (i386's split positions, 32-bit
// iovec, struct flock and flock64, msghdr and cmsghdr, socketcall).
#include "hook/system/arch/syscall_decode.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/audit.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/socket.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "hook/system/arch/i386_syscall_nr.h"
#include "hook/system/ptrace/seccomp_filter.h"

namespace {

constexpr uint64_t kNone = ~0ull;       // no exit (rval) for the case
constexpr uint64_t kCwd32 = 0xFFFFFF9C; // AT_FDCWD as a 32-bit register

// Little-endian bytes: each value given with its width (1, 2, 4 or 8).
struct Bytes {
    std::string b;
    Bytes& W(uint64_t v, int width) {
        for (int i = 0; i < width; ++i)
            b += static_cast<char>(v >> (8 * i));
        return *this;
    }
    Bytes& S(const char* text) {
        b.append(text, std::strlen(text) + 1);
        return *this;
    }
};

struct Region {
    uint64_t address;
    std::string bytes;
};

struct Case {
    const char* what;
    uint32_t arch;
    uint64_t nr;
    uint64_t args[6];
    std::vector<Region> memory;
    bool decoded;
    uint16_t call;
    int32_t fd;
    uint64_t a[4];
    const char* path1;
    uint64_t rval; // kNone: no exit decoded
    int64_t ret;   // ev.ret after the exit
    std::vector<int32_t> received;
};

constexpr uint32_t k32 = AUDIT_ARCH_I386;
constexpr uint32_t k64 = AUDIT_ARCH_X86_64;

// msghdr (7 words) with its control buffer, in 4- or 8-byte words.
std::string Msghdr(int word, uint64_t control, uint64_t controlLength) {
    Bytes m;
    for (uint64_t v :
         {uint64_t{0}, uint64_t{0}, uint64_t{0}, uint64_t{0}, control, controlLength, uint64_t{0}})
        m.W(v, word);
    return m.b;
}

// One cmsghdr: len (a word), level, type, then the descriptors, padded.
std::string Cmsg(int word, int level, int type, std::initializer_list<int32_t> fds) {
    Bytes c;
    c.W(word + 8 + 4 * fds.size(), word).W(level, 4).W(type, 4);
    for (int32_t fd : fds)
        c.W(static_cast<uint32_t>(fd), 4);
    while (c.b.size() % word != 0)
        c.b += '\0';
    return c.b;
}

std::vector<Case> Cases() {
    const std::string lock32 = Bytes().W(F_WRLCK, 2).W(SEEK_SET, 2).W(16, 4).W(32, 4).b;
    const std::string lock64in32 =
        Bytes().W(F_RDLCK, 2).W(SEEK_CUR, 2).W(0x100000000, 8).W(5, 8).W(0, 4).b;
    const std::string lock64 = Bytes().W(F_WRLCK, 2).W(SEEK_SET, 2).W(0, 4).W(0x10, 8).W(0x20, 8).b;
    const std::string iov32 = Bytes().W(0x7000, 4).W(10, 4).W(0x8000, 4).W(20, 4).b;
    const std::string iov64 = Bytes().W(0x7000, 8).W(10, 8).W(0x8000, 8).W(20, 8).b;
    const std::string rights32 = Cmsg(4, SOL_SOCKET, SCM_RIGHTS, {9, 10});
    const std::string rights64 = Cmsg(8, SOL_SOCKET, 2 /* SCM_CREDENTIALS */, {1, 2, 3}) +
                                 Cmsg(8, SOL_SOCKET, SCM_RIGHTS, {11});
    const std::string name = Bytes().S("/x/y.dat").b;
    const Region nameAt{0x4000, name + std::string(256, '\0')}; // a mapped page
    // clang-format off
    // what, arch, nr, args, memory, decoded, call, fd, a0..a3, path1, rval, ret, received
    return {
        {"pread64: offset low, high", k32, NR32_pread64, {3, 0x1000, 200, 0x3E8, 1, 0}, {}, true,
         SYSEV_READ, 3, {0x1000, 200, 0x1000003E8, 1}, "", kNone, 0, {}},
        {"pwrite64", k32, NR32_pwrite64, {4, 0x1000, 200, 0x3E8, 0, 0}, {}, true, SYSEV_WRITE, 4,
         {0x1000, 200, 0x3E8, 1}, "", kNone, 0, {}},
        {"lseek: a signed 32-bit offset", k32, NR32_lseek, {3, 0xFFFFFFF6, SEEK_CUR}, {}, true,
         SYSEV_LSEEK, 3, {~0ull - 9, SEEK_CUR, 0, 0}, "", kNone, 0, {}},
        {"_llseek: offset high, low; the position from *result", k32, NR32_llseek, {3, 1, 0x3E8,
         0x2000, SEEK_SET}, {{0x2000, Bytes().W(0x1000003E8, 8).b}}, true, SYSEV_LSEEK, 3,
         {0x1000003E8, SEEK_SET, 0, 0}, "", 0, 0x1000003E8, {}},
        {"fcntl64 F_SETLK: struct flock of 32-bit numbers", k32, NR32_fcntl64, {3, F_SETLK,
         0x3000}, {{0x3000, lock32}}, true, SYSEV_FCNTL_LOCK, 3, {F_SETLK, F_WRLCK, 16, 32}, "",
         kNone, 0, {}},
        {"fcntl F_SETLKW64: struct flock64 packed at 4", k32, NR32_fcntl, {3, 14, 0x3000},
         {{0x3000, lock64in32}}, true, SYSEV_FCNTL_LOCK, 3, {F_SETLKW, F_RDLCK | SEEK_CUR << 16,
         0x100000000, 5}, "", kNone, 0, {}},
        {"fcntl64 F_OFD_SETLK: flock64", k32, NR32_fcntl64, {3, F_OFD_SETLK, 0x3000}, {{0x3000,
         lock64in32}}, true, SYSEV_FCNTL_LOCK, 3, {F_OFD_SETLK, F_RDLCK | SEEK_CUR << 16,
         0x100000000, 5}, "", kNone, 0, {}},
        {"fcntl64 F_DUPFD_CLOEXEC", k32, NR32_fcntl64, {3, F_DUPFD_CLOEXEC, 0}, {}, true,
         SYSEV_DUP, 3, {~0ull, O_CLOEXEC, 0, 0}, "", kNone, 0, {}},
        {"fcntl64 F_SETFD", k32, NR32_fcntl64, {3, F_SETFD, FD_CLOEXEC}, {}, true, SYSEV_SETFD, 3,
         {1, 0, 0, 0}, "", kNone, 0, {}},
        {"sendfile: a 32-bit offset by pointer", k32, NR32_sendfile, {5, 4, 0x3000, 100},
         {{0x3000, Bytes().W(0x10, 4).b}}, true, SYSEV_COPY, 4, {0x10, 0, 100, SYSEV_COPY_AT_IN},
         "", kNone, 0, {}},
        {"ioctl FICLONE: the whole of arg 2's file", k32, NR32_ioctl, {5, FICLONE, 4}, {}, true,
         SYSEV_COPY, 4, {0, 0, 0, SYSEV_COPY_WHOLE}, "", kNone, 0, {}},
        {"fcntl64 F_GETFL: not a watched call", k32, NR32_fcntl64, {3, F_GETFL}, {}, false, 0, 0,
         {}, "", kNone, 0, {}},
        {"stat64", k32, NR32_stat64, {0x4000, 0x5000}, {nameAt}, true, SYSEV_STAT, SYSEV_AT_FDCWD,
         {0, 0, 0, 0}, "/x/y.dat", kNone, 0, {}},
        {"fstatat64: AT_FDCWD as 32 bits, flags in arg 3", k32, NR32_fstatat64, {kCwd32, 0x4000,
         0x5000, AT_SYMLINK_NOFOLLOW}, {nameAt}, true, SYSEV_STAT, SYSEV_AT_FDCWD,
         {AT_SYMLINK_NOFOLLOW, 0, 0, 0}, "/x/y.dat", kNone, 0, {}},
        {"fstat64", k32, NR32_fstat64, {5, 0x5000}, {}, true, SYSEV_STAT, 5, {AT_EMPTY_PATH, 0, 0,
         0}, "", kNone, 0, {}},
        {"old getdents", k32, NR32_getdents, {5, 0x5000, 4096}, {}, true, SYSEV_GETDENTS, 5,
         {0x5000, 4096, 0, 0}, "", kNone, 0, {}},
        {"getdents64", k32, NR32_getdents64, {5, 0x5000, 4096}, {}, true, SYSEV_GETDENTS, 5,
         {0x5000, 4096, 0, 0}, "", kNone, 0, {}},
        {"statfs64(name, size, buf)", k32, NR32_statfs64, {0x4000, 84, 0x5000}, {nameAt}, true,
         SYSEV_STATFS, SYSEV_AT_FDCWD, {0, 0, 0, 0}, "/x/y.dat", kNone, 0, {}},
        {"fstatfs64(fd, size, buf)", k32, NR32_fstatfs64, {6, 84, 0x5000}, {}, true, SYSEV_FSTATFS,
         6, {0, 0, 0, 0}, "", kNone, 0, {}},
        {"openat", k32, NR32_openat, {kCwd32, 0x4000, O_RDWR | O_CREAT, 0644}, {nameAt}, true,
         SYSEV_OPEN, SYSEV_AT_FDCWD, {O_RDWR | O_CREAT, 0644, 0, 0}, "/x/y.dat", kNone, 0, {}},
        {"writev: 32-bit iovec", k32, NR32_writev, {3, 0x6000, 2}, {{0x6000, iov32}}, true,
         SYSEV_WRITE, 3, {0x7000, 30, 0, 0}, "", kNone, 0, {}},
        {"preadv: position low, high", k32, NR32_preadv, {3, 0x6000, 1, 5, 1}, {{0x6000, iov32}},
         true, SYSEV_READ, 3, {0x7000, 10, 0x100000005, 1}, "", kNone, 0, {}},
        {"preadv2 at -1: the current position", k32, NR32_preadv2, {3, 0x6000, 2, 0xFFFFFFFF,
         0xFFFFFFFF, 0}, {{0x6000, iov32}}, true, SYSEV_READ, 3, {0x7000, 30, 0, 0}, "", kNone, 0,
         {}},
        {"recvmsg: SCM_RIGHTS in a 32-bit msghdr", k32, NR32_recvmsg, {7, 0x9000, 0}, {{0x9000,
         Msghdr(4, 0xA000, rights32.size())}, {0xA000, rights32}}, true, SYSEV_RECEIVE_FD, 7, {0,
         0, 0, 0}, "", 1, 1, {9, 10}},
        {"socketcall(SYS_RECVMSG)", k32, NR32_socketcall, {17, 0xB000}, {{0xB000, Bytes().W(7,
         4).W(0x9000, 4).W(0, 4).b}, {0x9000, Msghdr(4, 0xA000, rights32.size())}, {0xA000,
         rights32}}, true, SYSEV_RECEIVE_FD, 7, {0, 0, 0, 0}, "", 1, 1, {9, 10}},
        {"socketcall(SYS_SENDMSG): not watched", k32, NR32_socketcall, {16, 0xB000}, {{0xB000,
         Bytes().W(7, 4).W(0x9000, 4).b}}, false, 0, 0, {}, "", kNone, 0, {}},
        {"recvmsg that failed: nothing received", k32, NR32_recvmsg, {7, 0x9000, 0}, {{0x9000,
         Msghdr(4, 0xA000, rights32.size())}, {0xA000, rights32}}, true, SYSEV_RECEIVE_FD, 7, {0,
         0, 0, 0}, "", static_cast<uint64_t>(-11), 0, {}},
        {"x86_64 recvmsg: credentials skipped, rights read", k64, 47, {7, 0x9000, 0}, {{0x9000,
         Msghdr(8, 0xA000, rights64.size())}, {0xA000, rights64}}, true, SYSEV_RECEIVE_FD, 7, {0,
         0, 0, 0}, "", 5, 5, {11}},
        {"x86_64 recvmmsg: each message", k64, 299, {7, 0x9000, 2, 0, 0}, {{0x9000, Msghdr(8,
         0xA000, rights64.size()) + std::string(8, '\0') + Msghdr(8, 0xB000, rights64.size())},
         {0xA000, rights64}, {0xB000, rights64}}, true, SYSEV_RECEIVE_FD, 7, {0, 0, 0, 0}, "", 2,
         2, {11, 11}},
        {"x86_64 pread64: one register", k64, 17, {3, 0x1000, 200, 0x1000003E8}, {}, true,
         SYSEV_READ, 3, {0x1000, 200, 0x1000003E8, 1}, "", kNone, 0, {}},
        {"x86_64 pwritev", k64, 296, {3, 0x6000, 2, 0x1000003E8}, {{0x6000, iov64}}, true,
         SYSEV_WRITE, 3, {0x7000, 30, 0x1000003E8, 1}, "", kNone, 0, {}},
        {"x86_64 fcntl F_SETLK: 64-bit struct flock", k64, 72, {3, F_SETLK, 0x3000}, {{0x3000,
         lock64}}, true, SYSEV_FCNTL_LOCK, 3, {F_SETLK, F_WRLCK, 0x10, 0x20}, "", kNone, 0, {}},
    };
    // clang-format on
}

TEST(SyscallDecode, RecordedCalls) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const SyscallTable* table = SyscallTableOf(c.arch);
        ASSERT_NE(table, nullptr);
        const SyscallDecode* d = FindSyscallDecode(*table, c.nr);
        ASSERT_NE(d, nullptr);
        const ProcessMemory memory = [&](uint64_t address, void* out, size_t size) {
            for (const Region& r : c.memory) {
                if (address >= r.address && address + size <= r.address + r.bytes.size()) {
                    std::memcpy(out, r.bytes.data() + (address - r.address), size);
                    return true;
                }
            }
            return false;
        };
        sysev ev{};
        ExitRead exit;
        ASSERT_EQ(DecodeEntry(*table, *d, c.args, memory, &ev, &exit), c.decoded);
        if (!c.decoded)
            continue;
        EXPECT_EQ(ev.call, c.call);
        EXPECT_EQ(ev.fd, c.fd);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ev.a[i], c.a[i]) << "a" << i;
        EXPECT_STREQ(ev.path1, c.path1);
        if (c.rval == kNone)
            continue;
        std::vector<int32_t> received;
        ev.ret = static_cast<int64_t>(c.rval);
        DecodeExit(*table, exit, ev.ret, memory, &ev, &received);
        EXPECT_EQ(ev.ret, static_cast<int64_t>(c.rval) < 0 ? static_cast<int64_t>(c.rval) : c.ret);
        EXPECT_EQ(received, c.received);
    }
    EXPECT_EQ(SyscallTableOf(0x4000003E /* x32 is not an AUDIT_ARCH */), nullptr);
}

// The seccomp program run on (arch, nr), as the kernel runs it: the few
// instructions it is made of.
uint32_t RunFilter(const std::vector<sock_filter>& code, uint32_t arch, uint32_t nr) {
    uint32_t acc = 0;
    for (size_t pc = 0; pc < code.size(); ++pc) {
        const sock_filter& f = code[pc];
        switch (f.code) {
        case BPF_LD | BPF_W | BPF_ABS:
            acc = f.k == offsetof(seccomp_data, arch) ? arch
                  : f.k == offsetof(seccomp_data, nr) ? nr
                                                      : 0xDEAD;
            break;
        case BPF_JMP | BPF_JEQ | BPF_K:
            pc += acc == f.k ? f.jt : f.jf;
            break;
        case BPF_JMP | BPF_JGE | BPF_K:
            pc += acc >= f.k ? f.jt : f.jf;
            break;
        case BPF_JMP | BPF_JA:
            pc += f.k;
            break;
        case BPF_RET | BPF_K:
            return f.k;
        default:
            return 0xBAD;
        }
    }
    return 0xBAD; // ran off the end
}

// Each architecture's watched numbers stop for the tracer, nothing else does.
TEST(SyscallDecode, FilterTellsTheArchitecture) {
    const std::vector<sock_filter> code = TraceFilterProgram();
    ASSERT_FALSE(code.empty());
    for (const SyscallTable* t : {&X86_64Syscalls(), &I386Syscalls()}) {
        for (size_t i = 0; i < t->count; ++i)
            EXPECT_EQ(RunFilter(code, t->arch, t->decodes[i].nr), SECCOMP_RET_TRACE)
                << t->arch << " " << t->decodes[i].nr;
    }
    const struct {
        uint32_t arch;
        uint32_t nr;
        uint32_t action;
    } cases[] = {
        {k64, 39, SECCOMP_RET_ALLOW},                // getpid
        {k32, 20, SECCOMP_RET_ALLOW},                // getpid
        {k32, 47, SECCOMP_RET_ALLOW},                // getgid; x86_64's recvmsg
        {k64, 47, SECCOMP_RET_TRACE},                // recvmsg
        {k32, NR32_llseek, SECCOMP_RET_TRACE},       // x86_64's 140 is not watched
        {k64, 140, SECCOMP_RET_ALLOW},               // getpriority
        {k64, 0x40000000 | 2, SECCOMP_RET_ALLOW},    // x32 open
        {AUDIT_ARCH_AARCH64, 56, SECCOMP_RET_ALLOW}, // another architecture
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunFilter(code, c.arch, c.nr), c.action) << c.arch << " " << c.nr;
}

} // namespace
