// The first instructions of Wine's Nt* functions, which the ptrace Windows
// view does for the thread at each breakpoint: what each does to the
// registers and the stack, the ones refused, and every entry of the
// ntdll.so libraries installed here (and in the Debian 13 root of
// scripts/wine-root, when made) planned.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "hook/windows/ptrace/breakpoint_plan.h"
#include "hook/windows/ptrace/entry_step.h"

namespace {

constexpr uint64_t kEntry = 0x7000;

TEST(EntryStep, DoneAsTheInstruction) {
    const struct {
        std::vector<uint8_t> code;
        bool wide;
        uint8_t length;
        uint64_t rip, rsp, rax, rcx; // after
        uint64_t pushed;             // at the new rsp, when it moved
    } rows[] = {
        {{0x55, 0x48, 0x89, 0xE5}, true, 1, kEntry + 1, 0x1FF8, 0x1, 0xFFFFFFFF00000010, 0x2222},
        {{0x41, 0x57}, true, 2, kEntry + 2, 0x1FF8, 0x1, 0xFFFFFFFF00000010, 0xF15}, // push %r15
        {{0x8D, 0x41, 0x06, 0x83}, true, 3, kEntry + 3, 0x2000, 0x16, 0xFFFFFFFF00000010, 0},
        {{0x48, 0x8D, 0x41, 0xFE},
         true,
         4,
         kEntry + 4,
         0x2000,
         0xFFFFFFFF0000000E,
         0xFFFFFFFF00000010,
         0}, // lea -2(%rcx),%rax: the whole register
        {{0xF3, 0x0F, 0x1E, 0xFA}, true, 4, kEntry + 4, 0x2000, 0x1, 0xFFFFFFFF00000010, 0},
        {{0x8D, 0x4C, 0x24, 0x04}, false, 4, kEntry + 4, 0x2000, 0x1, 0x2004, 0},
        {{0x55, 0x57}, false, 1, kEntry + 1, 0x1FFC, 0x1, 0xFFFFFFFF00000010, 0x2222},
        {{0x53, 0xE8}, false, 1, kEntry + 1, 0x1FFC, 0x1, 0xFFFFFFFF00000010, 0xB0B},
        // call rel32 backwards: the return address pushed, the 32-bit target.
        {{0xE8, 0x17, 0x9F, 0xFF, 0xFF},
         false,
         5,
         kEntry + 5 - 0x60E9,
         0x1FFC,
         0x1,
         0xFFFFFFFF00000010,
         kEntry + 5},
    };
    for (const auto& r : rows) {
        EntryStep step;
        ASSERT_TRUE(DecodeEntryStep(r.code.data(), r.code.size(), r.wide, &step))
            << HexBytes(r.code.data(), r.code.size());
        EXPECT_EQ(step.length, r.length);
        user_regs_struct regs{};
        regs.rip = kEntry + 1; // as the breakpoint left it
        regs.rsp = 0x2000;
        regs.rbp = 0x2222;
        regs.rbx = 0xB0B;
        regs.r15 = 0xF15;
        regs.rax = 0x1;
        regs.rcx = 0xFFFFFFFF00000010;
        std::map<uint64_t, uint64_t> stack;
        const auto write = [&](uint64_t at, uint64_t value, size_t size) {
            EXPECT_EQ(size, r.wide ? 8u : 4u);
            stack[at] = value;
            return true;
        };
        ASSERT_TRUE(ApplyEntryStep(step, kEntry, r.wide, &regs, write));
        const std::string what = HexBytes(r.code.data(), r.code.size());
        EXPECT_EQ(regs.rip, r.rip) << what;
        EXPECT_EQ(regs.rsp, r.rsp) << what;
        EXPECT_EQ(regs.rax, r.rax) << what;
        EXPECT_EQ(regs.rcx, r.rcx) << what;
        EXPECT_EQ(stack.size(), r.pushed != 0 ? 1u : 0u) << what;
        if (r.pushed != 0) {
            EXPECT_EQ(stack[r.rsp], r.pushed) << what;
        }
    }
}

TEST(EntryStep, OthersRefused) {
    const struct {
        std::vector<uint8_t> code;
        bool wide;
    } rows[] = {
        {{0x48, 0x83, 0xEC, 0x10}, true},  // sub $0x10,%rsp: it sets the flags
        {{0x48, 0x89, 0xE5}, true},        // mov %rsp,%rbp
        {{0x8D, 0x04, 0x24}, true},        // lea (%rsp),%eax: no displacement byte
        {{0x8D, 0x44, 0x8C, 0x04}, false}, // lea 4(%esp,%ecx,4): an index
        {{0x8D, 0x05, 0, 0, 0, 0}, true},  // lea rip-relative
        {{0x41, 0x57}, false},             // inc %ecx in a 32-bit process
        {{0x49, 0x57}, true},              // push with REX.W|B: not as Wine builds it
        {{0xE8, 0x17, 0x9F}, false},       // cut short
        {{0xF3, 0x0F, 0x1E}, true},
        {{}, true},
    };
    for (const auto& r : rows) {
        EntryStep step;
        EXPECT_FALSE(DecodeEntryStep(r.code.data(), r.code.size(), r.wide, &step))
            << HexBytes(r.code.data(), r.code.size());
    }
}

TEST(EntryStep, EveryEntryOfTheInstalledLibraries) {
    std::vector<std::string> dirs = {"/usr"};
    const std::string root = std::string(TALVEK_SOURCE_DIR) + "/build/wine-root/trixie";
    struct stat st;
    if (stat((root + "/.talvek-ready").c_str(), &st) == 0)
        dirs.push_back(root + "/usr");
    for (const std::string& dir : dirs) {
        std::vector<WineLib> libs;
        std::string why;
        if (!FindWineLibraries({dir}, &libs, &why))
            continue; // no Wine there
        std::vector<LibPlan> plans;
        ASSERT_TRUE(PlanBreakpoints(libs, &plans, &why)) << why;
        for (const LibPlan& plan : plans)
            EXPECT_EQ(plan.points.size(), 17u) << plan.lib.path; // 16 watched, NtCreateUserProcess
    }
}

} // namespace
