// The file-related system calls that the ptrace backend watches: one table
// per architecture (x86_64, i386) of how each call's arguments fill a sysev
// record, and the one decoder that reads them, arguments and the process's
// memory (names, iovecs, struct flock, msghdr) in the layout of the call's
// architecture.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <vector>

#include "hook/system/syscall_event.h"

// How a sysev value comes from a call's arguments.
enum ArgForm : uint8_t {
    kArgPlain,    // the argument as it is
    kArgPosition, // a file position: 32-bit calls split it, low word first, over arg and arg + 1
    kArgSigned,   // a signed long: 32-bit calls give 32 bits
};

// Where a sysev value comes from: a call argument (0 to 5) or a constant.
struct ArgSource {
    int8_t arg; // -1: the constant
    int64_t value;
    ArgForm form;
};

constexpr ArgSource A(int8_t i) {
    return {i, 0, kArgPlain};
}
constexpr ArgSource Pos(int8_t i) {
    return {i, 0, kArgPosition};
}
constexpr ArgSource Signed(int8_t i) {
    return {i, 0, kArgSigned};
}
constexpr ArgSource K(int64_t v) {
    return {-1, v, kArgPlain};
}

// What needs reading from the process beyond plain arguments.
enum class ArgExtra : uint8_t {
    None,
    Iovec,        // a0, a1 from the iovec array (args 1 and 2)
    IovecAt,      //   and the position from arg 3 (a kArgPosition), a3 1
    IovecAtMaybe, //   the same, -1 meaning the current position (not positional)
    Fcntl,        // dup or lock by the command in arg 1 (struct flock in arg 2)
    OpenHow,      // a0 flags, a1 mode from struct open_how (arg 2)
    ProcessName,  // prctl: no record; PR_SET_NAME renames the process
    Llseek,       // _llseek: a0 from args 1 (high) and 2 (low); the end reads *arg 3
    ReceiveMsg,   // recvmsg: the end reads the descriptors in the msghdr at arg 1
    ReceiveMmsg,  // recvmmsg: the same for each of the mmsghdrs at arg 1
    SocketCall,   // i386 socketcall: recvmsg or recvmmsg, by the number in arg 0
    Ioctl,        // FICLONE as a copy, FIOCLEX/FIONCLEX as close-on-exec; others none
    CopyRange,    // copy_file_range: offsets from the pointers in args 1 and 3
    Sendfile,     // sendfile: the source offset (64-bit) from the pointer in arg 2
    Sendfile32,   // i386 sendfile: the same, a 32-bit offset
};

constexpr int8_t kArgNone = -1;
constexpr int8_t kArgCwd = -2; // the working folder (SYSEV_AT_FDCWD)

struct SyscallDecode {
    uint16_t nr;
    uint16_t call; // enum sysev_call
    int8_t fd;     // argument index, kArgCwd or kArgNone
    int8_t path1;  // argument index of a name, or kArgNone
    int8_t fd2;
    int8_t path2;
    ArgSource a[4];
    ArgExtra extra;
};

struct SyscallTable {
    uint32_t arch; // AUDIT_ARCH_*
    bool wide;     // 64-bit layouts; else i386's (32-bit pointers, longs, split positions)
    const SyscallDecode* decodes; // by number
    size_t count;
};

const SyscallTable& X86_64Syscalls();
const SyscallTable& I386Syscalls();

// The table of an architecture (AUDIT_ARCH_*), nullptr for one not watched.
const SyscallTable* SyscallTableOf(uint32_t arch);

// A watched call by number; nullptr for a call that is not watched.
const SyscallDecode* FindSyscallDecode(const SyscallTable& table, uint64_t nr);

// Reads size bytes of the process's memory at address.
using ProcessMemory = std::function<bool(uint64_t address, void* out, size_t size)>;

// What the call's end still has to read from the process.
struct ExitRead {
    ArgExtra what = ArgExtra::None;
    uint64_t address = 0; // _llseek's result, the msghdr or the mmsghdr array
};

// Fills ev (call, descriptors, names, a[]) from a watched call's entry; false
// when the call turns out not to be one (an fcntl that neither locks nor
// duplicates, a socketcall that receives no message, prctl).
bool DecodeEntry(const SyscallTable& table, const SyscallDecode& d, const uint64_t* args,
                 const ProcessMemory& memory, sysev* ev, ExitRead* exit);

// At a call's end (result rval): _llseek's new position goes into ev->ret;
// the descriptors that a recvmsg or recvmmsg received (SCM_RIGHTS) are
// appended to *received.
void DecodeExit(const SyscallTable& table, const ExitRead& exit, int64_t rval,
                const ProcessMemory& memory, sysev* ev, std::vector<int32_t>* received);

// For the tables' static_assert: numbers strictly ascending.
constexpr bool IsSortedByNumber(const SyscallDecode* decodes, size_t count) {
    for (size_t i = 1; i < count; ++i) {
        if (decodes[i - 1].nr >= decodes[i].nr)
            return false;
    }
    return true;
}
