// The monitor's filter as the driver applies it, its words, and what it means
// for each Linux call before the mapping.
#include "trace/ifs_filter.h"
#include "hook/system/ptrace/ptrace_filter.h"
#include "hook/system/sysev_filter.h"
#include "hook/system/sysev_map.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <cstring>

#include "event/ifs_vocab.h"
#include "hook/system/arch/syscall_decode.h"

namespace {

constexpr uint32_t kEnable = 3, kResults = 4, kFunc = 5;
constexpr uint32_t On(int32_t code) {
    return 1u << 16 | static_cast<uint32_t>(code);
}
constexpr uint32_t Off(int32_t code) {
    return static_cast<uint32_t>(code);
}

// After the control calls, which of the calls (function, result) pass.
TEST(IfsFilter, ControlCallsAsTheDriverAppliesThem) {
    struct Probe {
        int32_t func, result;
        bool passes;
    };
    const struct {
        const char* what;
        std::vector<std::pair<uint32_t, uint32_t>> calls;
        std::vector<Probe> probes;
    } cases[] = {
        {"fresh: everything",
         {},
         {{IFSFN_OPEN, 0, true}, {IFSFN_OPEN, 2, true}, {0x1234, 5, true}}},
        {"no IFS counterpart",
         {},
         {{kIfsNoFunction, 0, false}, {-7, 2, false}, {0x10000, 0, false}}},
        {"successful only",
         {{kResults, 1}},
         {{IFSFN_READ, 0, true}, {IFSFN_READ, 2, false}, {IFSFN_READ, -1, false}}},
        {"failed only",
         {{kResults, 2}},
         {{IFSFN_READ, 0, false}, {IFSFN_READ, 18, true}, {IFSFN_READ, -1, true}}},
        {"another filter value lets all through",
         {{kResults, 2}, {kResults, 0xFFFFFFFF}},
         {{IFSFN_READ, 0, true}, {IFSFN_READ, 2, true}}},
        {"one function off by its code",
         {{kFunc, Off(IFSFN_OPEN)}},
         {{IFSFN_OPEN, 2, false}, {IFSFN_FINDOPEN, 2, true}, {IFSFN_OPEN | 0x10000, 2, false}}},
        {"on again; a sign-extended flag is on",
         {{kFunc, Off(IFSFN_OPEN)},
          {kFunc, 0xFFFF0000u | IFSFN_OPEN},
          {kFunc, Off(IFSFN_SEEK)},
          {kFunc, On(IFSFN_SEEK)}},
         {{IFSFN_OPEN, 0, true}, {IFSFN_SEEK, 0, true}}},
        {"a code outside the list", {{kFunc, Off(0x1234)}}, {{0x1234, 0, false}, {0x34, 0, true}}},
        {"monitoring off, then on",
         {{kEnable, 0}},
         {{IFSFN_OPEN, 0, false}, {IFSFN_OPEN, 2, false}}},
        {"monitoring off, then on", {{kEnable, 0}, {kEnable, 0xFFFFFFFF}}, {{IFSFN_OPEN, 0, true}}},
        {"the files looked for",
         {{kResults, 2},
          {kFunc, Off(IFSFN_READ)},
          {kFunc, Off(IFSFN_CLOSE)},
          {kFunc, On(IFSFN_FILEATTRIB)}},
         {{IFSFN_FILEATTRIB, 2, true},
          {IFSFN_FILEATTRIB, 0, false},
          {IFSFN_READ, 5, false},
          {IFSFN_CLOSE, 6, false}}},
    };
    for (const auto& c : cases) {
        IfsFilter f;
        for (const auto& [code, value] : c.calls)
            EXPECT_TRUE(IfsFilterControl(&f, code, value)) << c.what;
        for (const Probe& p : c.probes)
            EXPECT_EQ(IfsFilterPasses(f, p.func, p.result), p.passes)
                << c.what << ": func " << p.func << " result " << p.result;
    }
    IfsFilter f;
    EXPECT_FALSE(IfsFilterControl(&f, 2, 0)); // not a filter call
}

// Option words and control lines: what is read, as it is written back.
TEST(IfsFilter, WordsAndLines) {
    const std::string all =
        "READ,WRITE,FINDNEXT,FCNNEXT,SEEK,CLOSE,COMMIT,FILELOCKS,FILETIMES,PIPEREQUEST,"
        "HANDLEINFO,ENUMHANDLE,FINDCLOSE,FCNCLOSE,CONNECT,DELETE,DIR,FILEATTRIB,FLUSH,"
        "GETDISKINFO,OPEN,RENAME,SEARCH,QUERY,DISCONNECT,UNCPIPEREQ,IOCTL16DRIVE,"
        "GETDISKPARMS,FINDOPEN,DASDIO";
    EXPECT_EQ(IfsFilterLine(IfsFilter{}), "monitoring=on results=all functions=" + all);
    const struct {
        const char* line;
        std::string after; // empty: refused, state unchanged
    } cases[] = {
        {"monitoring=off", "monitoring=off results=all functions=" + all},
        {"results=failed functions=open,FindOpen,SEARCH,FILEATTRIB\r\n",
         "monitoring=on results=failed functions=FILEATTRIB,OPEN,SEARCH,FINDOPEN"},
        {"functions= results=ok", "monitoring=on results=ok functions="},
        {"  results=all  functions=DASDIO  ", "monitoring=on results=all functions=DASDIO"},
        {"results=failed functions=OPEN,NOPE", ""},
        {"functions=OPEN,", ""},
        {"results=some", ""},
        {"monitoring=1", ""},
        {"colour=red", ""},
        {"results", ""},
    };
    for (const auto& c : cases) {
        IfsFilter f;
        std::string error;
        const bool ok = IfsFilterParseLine(c.line, &f, &error);
        EXPECT_EQ(ok, !c.after.empty()) << c.line << ": " << error;
        EXPECT_EQ(IfsFilterLine(f), !c.after.empty() ? c.after : IfsFilterLine(IfsFilter{}))
            << c.line;
        EXPECT_EQ(error.empty(), ok) << c.line;
    }
    // The flags take the same words.
    IfsFilter f;
    EXPECT_TRUE(IfsFilterParseFunctions("OPEN,FINDOPEN", &f, nullptr));
    EXPECT_TRUE(IfsFilterParseResults("failed", &f, nullptr));
    EXPECT_FALSE(IfsFilterParseMonitoring("maybe", &f, nullptr));
    EXPECT_EQ(IfsFilterLine(f), "monitoring=on results=failed functions=OPEN,FINDOPEN");
    EXPECT_TRUE(IfsFilterPasses(f, IFSFN_OPEN, 2));
    EXPECT_FALSE(IfsFilterPasses(f, IFSFN_SEARCH, 2));
}

// What the backends decide before the mapping must agree with the mapping:
// each call maps only to a function its entry names, and its raw result
// tells a failure exactly when the mapped result is not 0.
TEST(SysevFilter, AgreesWithTheMapping) {
    HookLookups l;
    l.workingFolder = [](uint32_t, std::string* f) { return *f = "/w", true; };
    l.isFolder = [](const std::string& n) { return n == "/w/dir" ? 1 : 0; };
    l.folderExists = [](const std::string&) { return true; };
    SysevMapper mapper(DriveTable{}, l);
    const auto ev = [](uint16_t call, int32_t fd, int64_t ret, const char* name, uint64_t a0 = 0) {
        sysev e{};
        e.call = call;
        e.pid = e.tid = 7;
        e.fd = fd;
        e.fd2 = SYSEV_AT_FDCWD;
        e.ret = ret;
        e.a[0] = a0;
        std::strcpy(e.path1, name);
        std::strcpy(e.path2, "b");
        return e;
    };
    IfsCall out;
    ASSERT_EQ(mapper.Map(ev(SYSEV_OPEN, SYSEV_AT_FDCWD, 3, "f"), &out), MapOutcome::Reported);
    ASSERT_EQ(mapper.Map(ev(SYSEV_OPEN, SYSEV_AT_FDCWD, 4, "dir", O_DIRECTORY), &out),
              MapOutcome::Reported);
    int reported = 0;
    for (uint16_t call = SYSEV_NONE; call < SYSEV_CALL_COUNT; ++call) {
        for (const int32_t fd : {3, 4, SYSEV_AT_FDCWD}) {
            for (const int64_t ret : {int64_t{1}, int64_t{0}, int64_t{-ENOENT}, int64_t{-EAGAIN}}) {
                for (const uint64_t a0 : {uint64_t{0}, uint64_t{0x1000 /* AT_EMPTY_PATH */}}) {
                    if (call == SYSEV_CLOSE || call == SYSEV_CLOSE_RANGE || call == SYSEV_EXIT ||
                        call == SYSEV_DUP)
                        continue; // would end the descriptors the other calls use
                    const sysev e = ev(call, fd, ret, a0 != 0 ? "" : "n", a0);
                    if (mapper.Map(e, &out) != MapOutcome::Reported)
                        continue;
                    ++reported;
                    const int position = IfsFuncPosition(out.func);
                    ASSERT_GE(position, 0);
                    EXPECT_NE(SysevCallFilterOf(call).funcs & (1u << position), 0u)
                        << "call " << call << " became " << out.func;
                    IfsFilter failedOnly;
                    failedOnly.results = 2;
                    EXPECT_EQ(SysevResultMayShow(failedOnly, call, ret), out.result != 0)
                        << "call " << call << " ret " << ret << " result " << out.result;
                }
            }
        }
    }
    EXPECT_GT(reported, 60);
    // Closes of both kinds, last.
    for (const int32_t fd : {3, 4}) {
        ASSERT_EQ(mapper.Map(ev(SYSEV_CLOSE, fd, 0, ""), &out), MapOutcome::Reported);
        EXPECT_NE(SysevCallFilterOf(SYSEV_CLOSE).funcs & (1u << IfsFuncPosition(out.func)), 0u);
    }
}

} // namespace

namespace {

// The calls the ptrace backend's seccomp filter stops at, by x86_64 number.
TEST(PtraceFilter, SeccompStopsOnlyWhereTheFilterWantsTheCall) {
    enum : uint16_t {
        Read = 0,
        Write = 1,
        Open = 2,
        Close = 3,
        Fstat = 5,
        Dup = 32,
        Fcntl = 72,
        Chdir = 80,
        Prctl = 157,
        Getdents64 = 217,
        Openat = 257,
        Newfstatat = 262
    };
    const struct {
        const char* line;
        std::vector<uint16_t> stops, runs;
    } cases[] = {
        {"results=failed functions=OPEN,FINDOPEN,SEARCH,FILEATTRIB",
         {Open, Openat, Newfstatat, Chdir, Prctl},
         {Read, Write, Close, Fstat, Dup, Fcntl, Getdents64}},
        {"functions=READ",
         {Read, Open, Openat, Close, Dup, Fcntl, Chdir, Prctl},
         {Write, Fstat, Newfstatat, Getdents64}},
        {"functions=HANDLEINFO", {Fstat, Newfstatat, Open, Close}, {Read, Write}},
        {"monitoring=off", {Prctl}, {Read, Open, Openat, Close, Chdir, Newfstatat}},
    };
    for (const auto& c : cases) {
        IfsFilter f;
        ASSERT_TRUE(IfsFilterParseLine(c.line, &f, nullptr)) << c.line;
        const std::vector<uint16_t> traced = TracedSyscallsFor(f, X86_64Syscalls());
        const auto has = [&](uint16_t nr) {
            return std::find(traced.begin(), traced.end(), nr) != traced.end();
        };
        for (uint16_t nr : c.stops)
            EXPECT_TRUE(has(nr)) << c.line << ": call " << nr;
        for (uint16_t nr : c.runs)
            EXPECT_FALSE(has(nr)) << c.line << ": call " << nr;
    }
    EXPECT_EQ(TracedSyscallsFor(IfsFilter{}, X86_64Syscalls()).size(), X86_64Syscalls().count);
    EXPECT_EQ(TracedSyscallsFor(IfsFilter{}, I386Syscalls()).size(), I386Syscalls().count);
    // At the entry: a stat of a descriptor is HANDLEINFO only.
    IfsFilter lookedFor;
    ASSERT_TRUE(IfsFilterParseFunctions("FILEATTRIB", &lookedFor, nullptr));
    sysev ev{};
    ev.call = SYSEV_STAT;
    ev.a[0] = AT_EMPTY_PATH;
    EXPECT_FALSE(PtraceCallWanted(lookedFor, ev));
    std::strcpy(ev.path1, "name");
    EXPECT_TRUE(PtraceCallWanted(lookedFor, ev));
}

} // namespace
