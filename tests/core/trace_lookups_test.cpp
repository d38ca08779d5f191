// The classification of a trace's failed look-ups, over short recorded
// traces: one table row per situation a program's start gives.
#include "trace/trace_lookups.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* what;
    bool caseless; // the Windows view's names
    const char* trace;
    std::vector<std::string> names; // "pid comm class count name[ -> found]", in order
};

const char* Word(LookupClass c) {
    return c == LookupClass::NeverFound       ? "never"
           : c == LookupClass::FoundElsewhere ? "elsewhere"
                                              : "later";
}

std::vector<std::string> Classify(const Case& c) {
    LookupAnalysis analysis(c.caseless);
    std::istringstream lines(c.trace);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        const TraceLineResult r = ParseTraceLine(line, ++number);
        EXPECT_NE(r.kind, TraceLineKind::Error) << r.error;
        if (r.kind == TraceLineKind::Record)
            analysis.Add(r, static_cast<uint64_t>(number));
    }
    std::vector<std::string> got;
    for (const LookupName& n : analysis.Names()) {
        got.push_back(std::to_string(n.pid) + ' ' + n.comm + ' ' + Word(n.what) + ' ' +
                      std::to_string(n.count) + ' ' + n.name +
                      (n.found.empty() ? "" : " -> " + n.found));
    }
    return got;
}

// func: 33 FILEATTRIB, 36 OPEN, 37 RENAME, 32 DIR (flags 0 CREATE_DIR), 44 FINDOPEN.
// result: 2 FileNotFound, 3 PathNotFound, 5 AccessDenied.
const Case kCases[] = {
    {"a DLL's search path that ends found",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=Z:\tmp\kernel32.dll
pid=1 comm=a.exe func=36 result=2 path1=C:\app\kernel32.dll
pid=1 comm=a.exe func=36 path1=C:\windows\system32\kernel32.dll
pid=1 comm=a.exe func=36 result=2 path1=Z:\tmp\kernel32.dll)",
     {R"(1 a.exe elsewhere 2 Z:\tmp\kernel32.dll -> C:\windows\system32\kernel32.dll)",
      R"(1 a.exe elsewhere 1 C:\app\kernel32.dll -> C:\windows\system32\kernel32.dll)"}},
    {"a DLL no folder has, and a failure that is no miss",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=Z:\tmp\tvnosuch.dll
pid=1 comm=a.exe func=36 result=3 path1=C:\windows\system32\tvnosuch.dll
pid=1 comm=a.exe func=36 result=5 path1=C:\windows\tvnosuch.dll
pid=1 comm=a.exe func=36 path1=C:\windows\tvnosuch.txt)",
     {R"(1 a.exe never 1 Z:\tmp\tvnosuch.dll)",
      R"(1 a.exe never 1 C:\windows\system32\tvnosuch.dll)"}},
    {"a settings file made after its miss, looked for again",
     true,
     R"(pid=1 comm=a.exe func=33 result=2 path1=C:\app\a.ini
pid=1 comm=a.exe func=36 path1=C:\app\a.ini
pid=1 comm=a.exe func=33 result=2 path1=C:\app\a.ini)",
     {R"(1 a.exe later 2 C:\app\a.ini -> C:\app\a.ini)"}},
    {"a folder missing, then made, with its file",
     true,
     R"(pid=1 comm=a.exe func=33 result=2 path1=C:\data
pid=1 comm=a.exe func=36 result=3 path1=C:\data\x.ini
pid=1 comm=a.exe func=32 path1=C:\data
pid=1 comm=a.exe func=37 path1=C:\data\x.tmp path2=C:\data\x.ini)",
     {R"(1 a.exe later 1 C:\data -> C:\data)",
      R"(1 a.exe later 1 C:\data\x.ini -> C:\data\x.ini)"}},
    {"a mask is its own name",
     true,
     R"(pid=1 comm=a.exe func=44 result=2 path1=C:\app\*.zzz
pid=1 comm=a.exe func=36 path1=C:\app\a.zzz
pid=1 comm=a.exe func=44 result=2 path1=C:\app\*.yyy
pid=1 comm=a.exe func=44 path1=C:\other\*.yyy)",
     {R"(1 a.exe never 1 C:\app\*.zzz)", R"(1 a.exe elsewhere 1 C:\app\*.yyy -> C:\other\*.yyy)"}},
    {"a name found by a child process",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=C:\app\helper.dat
pid=2 comm=b.exe func=36 path1=C:\windows\helper.dat)",
     {R"(1 a.exe elsewhere 1 C:\app\helper.dat -> C:\windows\helper.dat)"}},
    {"the same name missed by two processes, and a rename's missing source",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=C:\app\keyring
pid=2 comm=b.exe func=36 result=2 path1=C:\app\keyring
pid=2 comm=b.exe func=37 result=2 path1=C:\app\old.cfg
pid=1 comm=a.exe func=36 result=2 path1=C:\app\keyring)",
     {R"(1 a.exe never 2 C:\app\keyring)", R"(2 b.exe never 1 C:\app\keyring)",
      R"(2 b.exe never 1 C:\app\old.cfg)"}},
    {"the Windows view's names compare without case",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=C:\App\Font.FON
pid=1 comm=a.exe func=36 result=2 path1=c:\app\font.fon
pid=1 comm=a.exe func=36 path1=C:\WINDOWS\FONTS\FONT.FON)",
     {R"(1 a.exe elsewhere 2 C:\App\Font.FON -> C:\WINDOWS\FONTS\FONT.FON)"}},
    {"the system view's names compare exactly",
     false,
     R"(pid=1 comm=make func=33 result=2 path1=Z:\src\Makefile
pid=1 comm=make func=33 path1=Z:\src\makefile)",
     {R"(1 make never 1 Z:\src\Makefile)"}},
    // 0x81 0x41 and 0x81 0x61 are two characters whose second bytes read as
    // A and a; the Hangul of 없는 (BEF8 B4C2) with an ASCII part in either case.
    {"code page 949 double-byte names",
     true,
     R"(pid=1 comm=a.exe func=36 result=2 path1=C:\%81%41.txt
pid=1 comm=a.exe func=36 path1=C:\%81%61.txt
pid=1 comm=a.exe func=36 result=2 path1=C:\app\%BE%F8%B4%C2.TXT
pid=1 comm=a.exe func=36 path1=C:\app\%BE%F8%B4%C2.txt)",
     {"1 a.exe never 1 C:\\\x81\x41.txt",
      "1 a.exe later 1 C:\\app\\\xBE\xF8\xB4\xC2.TXT -> C:\\app\\\xBE\xF8\xB4\xC2.txt"}},
};

TEST(TraceLookups, ClassifiesEachFailedName) {
    for (const Case& c : kCases)
        EXPECT_EQ(Classify(c), c.names) << c.what;
}

} // namespace
