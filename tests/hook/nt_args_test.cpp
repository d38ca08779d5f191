// The arguments of an NT call as both Windows-view backends read them
// (hook/windows/nt_args.h), in each calling convention: the same
// NtCreateFile laid out as Wine 8 x86_64 (Microsoft), Wine 10 x86_64
// (System V) and i386 (stdcall) make it gives the same record, and its
// return the handle at the width of the process. The i386 layout is checked
// here on a recorded stack where no 32-bit code runs.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {
std::map<uint64_t, uint8_t> g_memory; // the calling thread's memory, byte by byte
}

static int nt_read_user(void* dst, uint32_t size, uint64_t addr) {
    for (uint32_t i = 0; i < size; ++i) {
        const auto b = g_memory.find(addr + i);
        if (b == g_memory.end())
            return -1;
        static_cast<uint8_t*>(dst)[i] = b->second;
    }
    return 0;
}

#include "hook/windows/nt_args.h"

namespace {

void Put(uint64_t at, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i)
        g_memory[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

enum Convention { MsAbi, SysV, Stdcall };

TEST(NtArgs, OneCallInEveryConvention) {
    const std::u16string name = u"\\??\\C:\\x\\없는파일.txt";
    for (const Convention c : {MsAbi, SysV, Stdcall}) {
        g_memory.clear();
        const bool wow = c == Stdcall;
        const size_t ptr = wow ? 4 : 8;
        // OBJECT_ATTRIBUTES at 0x1000 (RootDirectory 0x44, ObjectName at
        // 0x1100, Attributes OBJ_INHERIT), the name's UNICODE_STRING at 0x1100.
        Put(0x1000 + ptr, 0x44, ptr);
        Put(0x1000 + 2 * ptr, 0x1100, ptr);
        Put(0x1000 + (wow ? 12 : 24), 0x2, 4);
        Put(0x1100, name.size() * 2, 2);
        Put(0x1102, name.size() * 2, 2);
        Put(0x1100 + ptr, 0x1200, ptr);
        for (size_t i = 0; i < name.size(); ++i)
            Put(0x1200 + 2 * i, name[i], 2);
        // NtCreateFile(0x3000, GENERIC_READ, 0x1000, 0x3100, 0, 0x80, 1, FILE_OPEN_IF, 0x60, 0, 0)
        const uint64_t args[11] = {0x3000, 0x80000000, 0x1000, 0x3100, 0, 0x80, 1, 3, 0x60, 0, 0};
        uregs r{};
        r.sp = 0x8000;
        Put(r.sp, 0xdead, ptr); // the return address
        unsigned long* regs[6] = {&r.cx, &r.dx, &r.r8, &r.r9, nullptr, nullptr};
        if (c == SysV) {
            unsigned long* sysv[6] = {&r.di, &r.si, &r.dx, &r.cx, &r.r8, &r.r9};
            std::memcpy(regs, sysv, sizeof regs);
        }
        for (int i = 0; i < 11; ++i) {
            const int inRegs = c == Stdcall ? 0 : c == SysV ? 6 : 4;
            if (i < inRegs)
                *regs[i] = args[i];
            else if (c == Stdcall)
                Put(r.sp + 4 * (i + 1), args[i], 4);
            else if (c == SysV)
                Put(r.sp + 8 * (i - 5), args[i], 8);
            else
                Put(r.sp + 8 * (i + 1), args[i], 8); // above 32 bytes of home space
        }
        nt_call p{};
        nt_begin(&p, NTEV_CREATE_FILE, wow, r.sp, 10, 11);
        NtCreateFile_args(&p, &r, wow, c == SysV);
        const std::string what = c == MsAbi ? "ms_abi" : c == SysV ? "System V" : "stdcall";
        EXPECT_EQ(p.ev.access, 0x80000000u) << what;
        EXPECT_EQ(p.ev.disposition, 3u) << what;
        EXPECT_EQ(p.ev.options, 0x60u) << what;
        EXPECT_EQ(p.ev.root, 0x44u) << what;
        EXPECT_EQ(p.ev.a[0], 0x2u) << what;
        EXPECT_EQ(p.ev.flags, wow ? NTEV_WOW32 : 0) << what;
        ASSERT_EQ(p.ev.name_bytes, name.size() * 2) << what;
        EXPECT_EQ(std::memcmp(p.ev.name, name.data(), p.ev.name_bytes), 0) << what;
        // The return: the handle made, at the process's width; the I/O block.
        Put(0x3000, 0xFFFFFFFF00000030ull, 8);
        Put(0x3100, 0, 4);
        Put(0x3100 + ptr, 2, ptr);
        nt_complete(&p, 0);
        EXPECT_EQ(p.ev.handle, wow ? 0x30u : 0xFFFFFFFF00000030ull) << what;
        EXPECT_EQ(p.ev.information, 2u) << what;
        EXPECT_TRUE(p.ev.flags & NTEV_IO_STATUS) << what;
        EXPECT_EQ(nt_record_size(&p), offsetof(ntev, name) + name.size() * 2) << what;
    }
}

// New WoW64: wow64.dll passes its own 64-bit IO_STATUS_BLOCK (at 0x3100),
// whose Pointer holds the program's 32-bit one (at 0x5000). The outcome is
// read where Wine wrote it: the program's block for an overlapped call,
// wow64.dll's for one that completed at once.
TEST(NtArgs, NewWow64ReadsTheOutcomeWhereWineWroteIt) {
    const struct {
        const char* what;
        bool wow64;
        bool overlapped; // Wine left Pointer as it was
        uint64_t information;
    } cases[] = {
        {"overlapped", true, true, 6},
        {"completed at once", true, false, 64},
        {"a 64-bit program", false, false, 64},
    };
    for (const auto& c : cases) {
        g_memory.clear();
        nt_call p{};
        nt_begin(&p, NTEV_READ, 0, 0x8000, 10, 11);
        if (c.wow64)
            p.ev.flags |= NTEV_WOW64;
        p.io = 0x3100;
        Put(0x3100, 0x5000, 8); // Pointer: the program's block
        Put(0x3108, 0, 8);
        Put(0x5000, 0x103, 4); // the program's block before the call: pending
        Put(0x5004, 0, 4);
        nt_args_done(&p);
        if (c.overlapped) {
            Put(0x5000, 0, 4);
            Put(0x5004, 6, 4);
        } else {
            Put(0x3100, 0, 4); // Status over Pointer's low half
            Put(0x3108, 64, 8);
        }
        nt_complete(&p, 0x103);
        EXPECT_EQ(p.ev.information, c.information) << c.what;
        EXPECT_EQ(p.ev.io_status, 0) << c.what;
    }
}

} // namespace
