// talvek-hook for real: the probe's known file operations under each backend,
// through talvek-render, must show the expected rows in order.
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// "into 0000ABCD" and "from ..." with the buffer's address as "*".
std::string MaskAddress(std::string row) {
    for (const char* word : {"into ", "from "}) {
        const size_t at = row.find(word);
        if (at != std::string::npos && at + 13 <= row.size())
            row.replace(at + 5, 8, "*");
    }
    return row;
}

int Shell(const std::string& command) {
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Hex(int n, const char* format = "%X") {
    char text[16];
    snprintf(text, sizeof text, format, n);
    return text;
}

// The rows the probe makes, Function to Data, TAB-separated.
std::vector<std::string> ExpectedRows(const std::string& d, int file, int dir, int passed,
                                      int received) {
    const std::string f = Hex(file);
    const std::string p = Hex(passed);
    const std::string r = Hex(received);
    const std::string fh = Hex(dir, "%8.8X");
    const std::string head = "\tZ:\tLCL\tANSI\t";
    const std::vector<std::vector<std::string>> rows = {
        {"OPEN", "FileNotFound", "0, " + d + "\\missing.txt"},
        {"OPEN", "PathNotFound", "0, " + d + "\\nodir\\x.txt"},
        {"OPEN", "Ok", f + ", " + d + "\\data.txt"},
        {"WRITE", "Ok", f + " C8 bytes at 3E8 from *"},
        {"SEEK", "Ok", f + " to 0 from BEGIN"},
        {"READ", "Ok", f + " 64 bytes at 0 into *"},
        {"FILELOCKS", "Ok", "LOCK, " + f + " 20 at 10, NW"},
        {"FILELOCKS", "Ok", "UNLOCK, " + f + " 20 at 10, NW"},
        {"CLOSE", "Ok", f},
        {"RENAME", "Ok", d + "\\data.txt, " + d + "\\renamed.txt"},
        {"DELETE", "Ok", d + "\\renamed.txt"},
        {"DIR", "Ok", d + "\\Long Folder, CREATE_DIR, IS_LFN"},
        {"FINDOPEN", "Ok", d},
        {"FINDNEXT", "Ok", d + ", " + fh},
        {"FINDNEXT", "NoMoreFiles", d + ", " + fh},
        {"FINDCLOSE", "Ok", fh},
        {"DIR", "Ok", d + "\\Long Folder, DELETE_DIR, IS_LFN"},
        {"FILEATTRIB", "FileNotFound", d + "\\missing.txt"},
        {"OPEN", "Ok", p + ", " + d + "\\passed.txt"},
        {"SEEK", "Ok", p + " to 7 from BEGIN"},
        {"CLOSE", "Ok", p},
        {"WRITE", "Ok", r + " A bytes at 7 from *"}, // the position at receipt
        {"SEEK", "Ok", r + " to 0 from BEGIN"},
        {"READ", "Ok", r + " A bytes at 0 into *"},
        {"CLOSE", "Ok", r},
        {"DELETE", "Ok", d + "\\passed.txt"},
    };
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r[0] + head + r[1] + "\t" + r[2]);
    return out;
}

// The probe (64- or 32-bit) under the backend: its rows, in order.
void ProbeRowsInOrder(const std::string& backend, const std::string& probe) {
    char tmpl[] = "/tmp/talvek-hook-run-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string tmp = tmpl;
    struct RemoveAtEnd {
        std::string dir;
        ~RemoveAtEnd() { Shell("rm -rf " + dir); }
    } removeAtEnd{tmp};
    const std::string work = tmp + "/work";
    ASSERT_EQ(Shell("mkdir " + work), 0);

    const std::string hook = std::string(TALVEK_HOOK) + " --backend " + backend +
                             " --wine-prefix '' --out " + tmp + "/trace -- ";
    const int status =
        Shell(hook + probe + " " + work + " >" + tmp + "/probe.out 2>" + tmp + "/hook.err");
    const std::string err = ReadFile(tmp + "/hook.err");
    if (status == 2 && backend == "ebpf") {
        GTEST_SKIP() << "the eBPF backend cannot run here: " << err;
    }
    ASSERT_EQ(status, 0) << "talvek-hook or the probe failed:\n" << err;
    EXPECT_NE(err.find(" 0 lost"), std::string::npos) << err;

    int file = -1;
    int dir = -1;
    int passed = -1;
    int received = -1;
    ASSERT_EQ(sscanf(ReadFile(tmp + "/probe.out").c_str(), "file=%d dir=%d passed=%d received=%d",
                     &file, &dir, &passed, &received),
              4);
    ASSERT_EQ(Shell(std::string(TALVEK_RENDER) + " --process " + tmp + "/trace >" + tmp + "/rows"),
              0);

    // The probe's rows, without pid and comm, buffer addresses masked.
    std::vector<std::string> rows;
    std::istringstream lines(ReadFile(tmp + "/rows"));
    for (std::string line; std::getline(lines, line);) {
        const size_t comm = line.find('\t');
        const size_t func = line.find('\t', comm + 1);
        if (line.compare(comm + 1, func - comm - 1, probe.substr(probe.rfind('/') + 1)) == 0)
            rows.push_back(MaskAddress(line.substr(func + 1)));
    }
    std::string d = "Z:" + work;
    for (char& c : d)
        c = c == '/' ? '\\' : c;
    size_t at = 0;
    for (const std::string& want : ExpectedRows(d, file, dir, passed, received)) {
        while (at < rows.size() && rows[at] != want)
            ++at;
        if (at == rows.size()) {
            std::string all;
            for (const std::string& r : rows)
                all += r + "\n";
            FAIL() << "missing, or out of order: " << want << "\nrows of the probe:\n" << all;
        }
        ++at;
    }
}

class HookRun : public ::testing::TestWithParam<const char*> {};

TEST_P(HookRun, ProbeRowsInOrder) {
    ProbeRowsInOrder(GetParam(), HOOK_PROBE);
}

// The same probe built as a 32-bit program: the same rows (registered as the
// ctest test hook32, which reports the skips).
class HookRun32 : public ::testing::TestWithParam<const char*> {};

TEST_P(HookRun32, ProbeRowsInOrder) {
#ifndef HOOK_PROBE32
    GTEST_SKIP() << "no 32-bit build of the probe (g++ -m32: gcc-multilib, g++-multilib)";
#else
    if (Shell(std::string(HOOK_PROBE32) + " >/dev/null 2>&1") == 126)
        GTEST_SKIP() << "this kernel takes no 32-bit calls";
    ProbeRowsInOrder(GetParam(), HOOK_PROBE32);
#endif
}

// A Windows program under Wine with no WINEPREFIX: Wine's default prefix
// (~/.wine, in a HOME of its own here) is known by its names, so the
// program's failed lookups read C:\... (registered as the ctest test
// hook_wine, which reports the skip where there is no Wine).
class HookWine : public ::testing::TestWithParam<const char*> {
  protected:
    static constexpr const char* kWine = "/usr/lib/wine/wine64";
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/talvek-hook-wine-XXXXXX";
        if (access(kWine, X_OK) != 0 || mkdtemp(tmpl) == nullptr)
            return;
        home_ = tmpl;
        Shell(Env() + kWine + " wineboot -i >/dev/null 2>&1; " + Env() +
              "/usr/lib/wine/wineserver -w");
    }
    static void TearDownTestSuite() {
        if (!home_.empty())
            Shell("rm -rf " + home_);
    }
    static std::string Env() {
        return "env -u WINEPREFIX HOME=" + home_ + " WINEDEBUG=-all WINEDLLOVERRIDES=mscoree= ";
    }
    static std::string home_;
};
std::string HookWine::home_;

TEST_P(HookWine, FailedLookupsReadWithTheDriveLetter) {
    if (access(kWine, X_OK) != 0)
        GTEST_SKIP() << "no 64-bit Wine here (" << kWine << ")";
    ASSERT_EQ(access((home_ + "/.wine/dosdevices/c:").c_str(), F_OK), 0) << "wineboot failed";
    const std::string trace = home_ + "/trace-" + GetParam();
    const int status =
        Shell(Env() + TALVEK_HOOK + " --backend " + GetParam() + " --out " + trace + " -- " +
              kWine + " cmd /c type 'C:\\missing.txt' >/dev/null 2>" + home_ + "/err");
    if (status == 2 && std::string(GetParam()) == "ebpf")
        GTEST_SKIP() << "the eBPF backend cannot run here: " << ReadFile(home_ + "/err");
    EXPECT_EQ(status, 1) << "cmd's status for a missing file: " << ReadFile(home_ + "/err");
    const std::string rows = ReadFile(trace);
    EXPECT_NE(
        rows.find("comm=cmd.exe func=33 drive=3 restype=0x10 result=2 path1=C:\\missing.txt\n"),
        std::string::npos);
    // No drive's name left as it is ("...\\dosdevices\\c:").
    for (size_t at = rows.find("dosdevices\\"); at != std::string::npos;
         at = rows.find("dosdevices\\", at + 1))
        EXPECT_FALSE(isalpha(rows[at + 11]) && rows[at + 12] == ':') << rows.substr(at, 40);
}

// Exit statuses and the one-line reasons of the command line.
TEST(HookCommandLine, ExitStatusAndReason) {
    const struct {
        const char* args;
        int status;
        const char* says; // on standard error
    } cases[] = {
        {"--backend ptrace --all", 2, "--all needs the eBPF backend"},
        {"--backend ptrace --pid 0", 2, "--pid needs a process id, got \"0\"\nusage:"},
        {"--pid abc", 2, "--pid needs a process id, got \"abc\"\nusage:"},
        {"--backend foo --all", 2, "--backend needs ebpf or ptrace, got \"foo\"\nusage:"},
        {"--exclude-pid 1 -- true", 2,
         "--exclude-pid goes with --all, not with -- COMMAND\nusage:"},
        {"--all --exclude-pid", 2, "--exclude-pid needs a value after it\nusage:"},
        {"--frobnicate", 2, "unknown argument \"--frobnicate\"\nusage:"},
        {"--backend ptrace --pid 999999999 --out /tmp/talvek-hook-cli.out", 2,
         "no process 999999999"},
        {"--pid 1 -- true", 2,
         "only one of --all, --pid N, -- COMMAND; got --pid N and -- COMMAND"},
        {"--out x", 2, "give one of --all, --pid N, -- COMMAND; got none"},
        {"--backend ptrace -- sh -c 'exit 3'", 3, " 0 lost"},
        {"--backend ptrace -- sh -c 'kill -TERM $$'", 128 + 15, " 0 lost"},
        {"--backend ptrace -- /nonexistent/cmd", 127, "cannot run /nonexistent/cmd"},
        {"--backend ptrace --out /nonexistent/dir/x -- true", 1, "cannot write"},
    };
    for (const auto& c : cases) {
        const std::string err = "/tmp/talvek-hook-cli.err";
        const int status = Shell(std::string(TALVEK_HOOK) + " " + c.args + " >/dev/null 2>" + err);
        const std::string said = ReadFile(err);
        EXPECT_EQ(status, c.status) << c.args << ": " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.args << ": " << said;
        unlink(err.c_str());
    }
    // Refused: the output file it made is gone again.
    EXPECT_NE(access("/tmp/talvek-hook-cli.out", F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, HookRun, ::testing::Values("ptrace", "ebpf"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Backends, HookWine, ::testing::Values("ptrace", "ebpf"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Backends, HookRun32, ::testing::Values("ptrace", "ebpf"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
