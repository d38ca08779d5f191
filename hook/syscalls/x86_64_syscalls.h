// The file-related x86_64 system calls that the ptrace backend watches, and
// how each one's arguments fill a sysev record.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "hook/syscalls/syscall_event.h"

// Where a sysev value comes from: a call argument (0 to 5) or a constant.
struct ArgSource {
    int8_t arg; // -1: the constant
    int64_t value;
};

// What needs reading from the process beyond plain arguments.
enum class ArgExtra : uint8_t {
    None,
    Iovec,        // a0, a1 from the iovec array (args 1 and 2)
    IovecAt,      //   and the position in arg 3
    IovecAtMaybe, //   and the position in arg 3, -1 meaning the current one
    Fcntl,        // dup or lock by the command in arg 1 (struct flock in arg 2)
    OpenHow,      // a0 flags, a1 mode from struct open_how (arg 2)
    ProcessName,  // prctl: no record; PR_SET_NAME renames the process
    Ioctl,        // FICLONE as a copy, FIOCLEX/FIONCLEX as close-on-exec; others none
    CopyRange,    // copy_file_range: offsets from the pointers in args 1 and 3
    Sendfile,     // sendfile: the source offset from the pointer in arg 2
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

// The watched calls, by number; nullptr for a call that is not watched.
const SyscallDecode* FindSyscallDecode(uint64_t nr);

// Every watched number, for the seccomp filter.
size_t WatchedSyscalls(const uint16_t** numbers);
