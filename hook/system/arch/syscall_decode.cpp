#include "hook/system/arch/syscall_decode.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cstring>

namespace {

constexpr uint64_t kF_SETLK64 = 13; // i386: struct flock64
constexpr uint64_t kF_SETLKW64 = 14;
constexpr int kSolSocket = 1;
constexpr int kScmRights = 1;
constexpr uint64_t kSysRecvmsg = 17; // socketcall numbers
constexpr uint64_t kSysRecvmmsg = 19;
constexpr size_t kMaxIov = 64;
constexpr size_t kMaxControl = 4096;
constexpr uint64_t kMaxMessages = 64;

uint64_t ArgValue(const SyscallTable& t, const ArgSource& s, const uint64_t* args) {
    if (s.arg < 0)
        return static_cast<uint64_t>(s.value);
    const uint64_t v = args[s.arg];
    if (t.wide)
        return v;
    switch (s.form) {
    case kArgPosition:
        return (v & 0xFFFFFFFFu) | (args[s.arg + 1] & 0xFFFFFFFFu) << 32;
    case kArgSigned:
        return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(v)));
    case kArgPlain:
        break;
    }
    return v;
}

int32_t DescriptorArg(int8_t index, const uint64_t* args) {
    return index == kArgCwd ? SYSEV_AT_FDCWD : index >= 0 ? static_cast<int32_t>(args[index]) : -1;
}

// A pointer-sized or long-sized word of the process: 8 bytes, or 4 in i386.
bool ReadWord(const SyscallTable& t, const ProcessMemory& memory, uint64_t address, uint64_t* out) {
    if (t.wide)
        return memory(address, out, 8);
    uint32_t w = 0;
    if (!memory(address, &w, 4))
        return false;
    *out = w;
    return true;
}

// Reads a NUL-terminated name, page by page so that a name near the end of
// its mapping reads too. Sets the cut or unreadable flag bit.
void ReadName(const ProcessMemory& memory, uint64_t address, char* out, uint8_t* flags,
              uint8_t cutBit, uint8_t unreadableBit) {
    out[0] = '\0';
    size_t got = 0;
    while (got < SYSEV_PATH_SIZE - 1) {
        const uint64_t at = address + got;
        size_t chunk = 4096 - (at & 4095);
        if (chunk > SYSEV_PATH_SIZE - 1 - got)
            chunk = SYSEV_PATH_SIZE - 1 - got;
        if (!memory(at, out + got, chunk)) {
            out[got] = '\0';
            if (got == 0)
                *flags |= unreadableBit;
            return;
        }
        if (std::memchr(out + got, '\0', chunk) != nullptr)
            return;
        got += chunk;
    }
    out[SYSEV_PATH_SIZE - 1] = '\0';
    *flags |= cutBit;
}

// a0 the first buffer, a1 the bytes of all buffers (iovec: base and length,
// two words of the architecture's size).
void SumIovec(const SyscallTable& t, const ProcessMemory& memory, uint64_t vec, uint64_t count,
              sysev* ev) {
    const size_t word = t.wide ? 8 : 4;
    const size_t n = count < kMaxIov ? count : kMaxIov;
    uint8_t raw[kMaxIov * 16];
    if (n == 0 || !memory(vec, raw, n * 2 * word))
        return;
    for (size_t i = 0; i < n; ++i) {
        uint64_t base = 0;
        uint64_t length = 0;
        std::memcpy(&base, raw + i * 2 * word, word);
        std::memcpy(&length, raw + i * 2 * word + word, word);
        if (i == 0)
            ev->a[0] = base;
        ev->a[1] += length;
    }
}

// struct flock: l_type and l_whence (16 bits each), then l_start and l_len:
// 64-bit at 8 and 16; i386 32-bit at 4 and 8, or (struct flock64: the 64
// commands and the OFD ones) 64-bit at 4 and 12.
bool ReadLock(const SyscallTable& t, const ProcessMemory& memory, uint64_t address, bool wide,
              sysev* ev) {
    uint8_t raw[24] = {};
    if (!memory(address, raw, t.wide ? 24 : wide ? 20 : 12))
        return false;
    uint16_t type;
    uint16_t whence;
    std::memcpy(&type, raw, 2);
    std::memcpy(&whence, raw + 2, 2);
    int64_t start;
    int64_t length;
    if (t.wide || wide) {
        std::memcpy(&start, raw + (t.wide ? 8 : 4), 8);
        std::memcpy(&length, raw + (t.wide ? 16 : 12), 8);
    } else {
        int32_t s32[2];
        std::memcpy(s32, raw + 4, 8);
        start = s32[0];
        length = s32[1];
    }
    ev->a[1] = static_cast<uint64_t>(type) | static_cast<uint64_t>(whence) << 16;
    ev->a[2] = static_cast<uint64_t>(start);
    ev->a[3] = static_cast<uint64_t>(length);
    return true;
}

bool DecodeFcntl(const SyscallTable& t, const uint64_t* args, const ProcessMemory& memory,
                 sysev* ev) {
    uint64_t cmd = args[1] & 0xFFFFFFFFu;
    if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) {
        ev->call = SYSEV_DUP;
        ev->a[0] = static_cast<uint64_t>(-1);
        ev->a[1] = cmd == F_DUPFD_CLOEXEC ? O_CLOEXEC : 0;
        return true;
    }
    if (cmd == F_SETFD) {
        ev->call = SYSEV_SETFD;
        ev->a[0] = args[2] & FD_CLOEXEC;
        return true;
    }
    const bool wide = cmd != F_SETLK && cmd != F_SETLKW; // flock64 in i386
    if (!t.wide && (cmd == kF_SETLK64 || cmd == kF_SETLKW64))
        cmd = cmd == kF_SETLK64 ? F_SETLK : F_SETLKW;
    if (cmd != F_SETLK && cmd != F_SETLKW && cmd != F_OFD_SETLK && cmd != F_OFD_SETLKW)
        return false;
    ev->call = SYSEV_FCNTL_LOCK;
    ev->a[0] = cmd;
    return ReadLock(t, memory, args[2], wide, ev);
}

// ioctl: FICLONE copies the whole of arg 2's file into arg 0's; FIOCLEX and
// FIONCLEX set and clear close-on-exec. Other requests are no file calls.
bool DecodeIoctl(const uint64_t* args, sysev* ev) {
    const uint64_t request = args[1] & 0xFFFFFFFFu;
    if (request == FICLONE) {
        ev->call = SYSEV_COPY;
        ev->fd = static_cast<int32_t>(args[2]);
        ev->fd2 = static_cast<int32_t>(args[0]);
        ev->a[3] = SYSEV_COPY_WHOLE;
        return true;
    }
    if (request == FIOCLEX || request == FIONCLEX) {
        ev->call = SYSEV_SETFD;
        ev->a[0] = request == FIOCLEX ? 1 : 0;
        return true;
    }
    return false;
}

// copy_file_range and sendfile: an offset given by pointer is the call's own
// (a0 the source's, a1 the destination's); without one the position counts.
void DecodeCopyOffsets(ArgExtra extra, const uint64_t* args, const ProcessMemory& memory,
                       sysev* ev) {
    const bool sendfile = extra != ArgExtra::CopyRange;
    const int8_t pointers[2] = {static_cast<int8_t>(sendfile ? 2 : 1),
                                static_cast<int8_t>(sendfile ? -1 : 3)};
    const size_t size = extra == ArgExtra::Sendfile32 ? 4 : 8;
    for (int i = 0; i < 2; ++i) {
        if (pointers[i] < 0 || args[pointers[i]] == 0)
            continue;
        int64_t offset = 0;
        int32_t offset32 = 0;
        if (!memory(args[pointers[i]], size == 4 ? static_cast<void*>(&offset32) : &offset, size))
            continue;
        ev->a[i] = static_cast<uint64_t>(size == 4 ? offset32 : offset);
        ev->a[3] |= i == 0 ? SYSEV_COPY_AT_IN : SYSEV_COPY_AT_OUT;
    }
}

// The SCM_RIGHTS descriptors of one received msghdr.
void ReceivedInMessage(const SyscallTable& t, const ProcessMemory& memory, uint64_t msghdr,
                       std::vector<int32_t>* received) {
    const size_t word = t.wide ? 8 : 4;
    // msghdr: name, namelen, iov, iovlen, control, controllen, flags.
    uint64_t control = 0;
    uint64_t controlLength = 0;
    if (!ReadWord(t, memory, msghdr + 4 * word, &control) ||
        !ReadWord(t, memory, msghdr + 5 * word, &controlLength) || control == 0)
        return;
    uint8_t buffer[kMaxControl];
    const size_t size = controlLength < kMaxControl ? controlLength : kMaxControl;
    if (!memory(control, buffer, size))
        return;
    // cmsghdr: len (a word), level, type; data after it; each aligned to a word.
    const size_t header = word + 8;
    for (size_t at = 0; at + header <= size;) {
        uint64_t length = 0;
        int32_t level;
        int32_t type;
        std::memcpy(&length, buffer + at, word);
        std::memcpy(&level, buffer + at + word, 4);
        std::memcpy(&type, buffer + at + word + 4, 4);
        if (length < header || length > size - at)
            break;
        if (level == kSolSocket && type == kScmRights) {
            for (size_t d = header; d + 4 <= length; d += 4) {
                int32_t fd;
                std::memcpy(&fd, buffer + at + d, 4);
                received->push_back(fd);
            }
        }
        at += (length + word - 1) / word * word;
    }
}

} // namespace

const SyscallTable* SyscallTableOf(uint32_t arch) {
    if (arch == AUDIT_ARCH_X86_64)
        return &X86_64Syscalls();
    if (arch == AUDIT_ARCH_I386)
        return &I386Syscalls();
    return nullptr;
}

const SyscallDecode* FindSyscallDecode(const SyscallTable& table, uint64_t nr) {
    size_t lo = 0;
    size_t hi = table.count;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (table.decodes[mid].nr < nr)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < table.count && table.decodes[lo].nr == nr ? &table.decodes[lo] : nullptr;
}

bool DecodeEntry(const SyscallTable& t, const SyscallDecode& d, const uint64_t* args,
                 const ProcessMemory& memory, sysev* ev, ExitRead* exit) {
    *exit = {};
    ev->call = d.call;
    ev->fd = DescriptorArg(d.fd, args);
    ev->fd2 = DescriptorArg(d.fd2, args);
    for (int i = 0; i < 4; ++i)
        ev->a[i] = ArgValue(t, d.a[i], args);
    if (d.path1 >= 0) {
        // utimensat and futimesat take a null name for the descriptor itself.
        if (args[d.path1] == 0 && d.call == SYSEV_UTIMENS)
            ev->path1[0] = '\0';
        else
            ReadName(memory, args[d.path1], ev->path1, &ev->flags, SYSEV_PATH1_CUT,
                     SYSEV_PATH1_UNREADABLE);
    }
    if (d.path2 >= 0)
        ReadName(memory, args[d.path2], ev->path2, &ev->flags, SYSEV_PATH2_CUT,
                 SYSEV_PATH2_UNREADABLE);
    switch (d.extra) {
    case ArgExtra::None:
        return true;
    case ArgExtra::Iovec:
        SumIovec(t, memory, args[1], args[2], ev);
        return true;
    case ArgExtra::IovecAt:
    case ArgExtra::IovecAtMaybe: {
        SumIovec(t, memory, args[1], args[2], ev);
        const uint64_t pos = ArgValue(t, Pos(3), args);
        const bool at = d.extra == ArgExtra::IovecAt || static_cast<int64_t>(pos) != -1;
        ev->a[2] = at ? pos : 0;
        ev->a[3] = at ? 1 : 0;
        return true;
    }
    case ArgExtra::Fcntl:
        return DecodeFcntl(t, args, memory, ev);
    case ArgExtra::OpenHow: {
        uint64_t how[3] = {0, 0, 0}; // flags, mode, resolve
        memory(args[2], how, sizeof how);
        ev->a[0] = how[0];
        ev->a[1] = how[1];
        ev->a[2] = how[2];
        return true;
    }
    case ArgExtra::ProcessName:
        return false;
    case ArgExtra::Llseek:
        ev->a[0] = (args[1] & 0xFFFFFFFFu) << 32 | (args[2] & 0xFFFFFFFFu);
        *exit = {ArgExtra::Llseek, args[3]};
        return true;
    case ArgExtra::ReceiveMsg:
    case ArgExtra::ReceiveMmsg:
        *exit = {d.extra, args[1]};
        return true;
    case ArgExtra::Ioctl:
        return DecodeIoctl(args, ev);
    case ArgExtra::CopyRange:
    case ArgExtra::Sendfile:
    case ArgExtra::Sendfile32:
        DecodeCopyOffsets(d.extra, args, memory, ev);
        return true;
    case ArgExtra::SocketCall: {
        uint32_t callArgs[2] = {0, 0}; // the socket and the msghdr (or mmsghdr array)
        if ((args[0] != kSysRecvmsg && args[0] != kSysRecvmmsg) ||
            !memory(args[1], callArgs, sizeof callArgs))
            return false;
        ev->fd = static_cast<int32_t>(callArgs[0]);
        *exit = {args[0] == kSysRecvmsg ? ArgExtra::ReceiveMsg : ArgExtra::ReceiveMmsg,
                 callArgs[1]};
        return true;
    }
    }
    return true;
}

void DecodeExit(const SyscallTable& t, const ExitRead& exit, int64_t rval,
                const ProcessMemory& memory, sysev* ev, std::vector<int32_t>* received) {
    if (rval < 0)
        return;
    switch (exit.what) {
    case ArgExtra::Llseek: {
        uint64_t position = 0;
        if (rval == 0 && memory(exit.address, &position, 8))
            ev->ret = static_cast<int64_t>(position);
        break;
    }
    case ArgExtra::ReceiveMsg:
        ReceivedInMessage(t, memory, exit.address, received);
        break;
    case ArgExtra::ReceiveMmsg: {
        // mmsghdr: a msghdr (7 words, in 64-bit namelen and flags padded) and msg_len.
        const uint64_t size = t.wide ? 64 : 32;
        const uint64_t n = static_cast<uint64_t>(rval) < kMaxMessages ? rval : kMaxMessages;
        for (uint64_t i = 0; i < n; ++i)
            ReceivedInMessage(t, memory, exit.address + i * size, received);
        break;
    }
    default:
        break;
    }
}
