// talvek-hook for real: the probe's known file operations under each backend,
// through talvek-render, must show the expected rows in order.
#include <gtest/gtest.h>

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
std::vector<std::string> ExpectedRows(const std::string& d, int file, int dir) {
    const std::string f = Hex(file);
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
    };
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r[0] + head + r[1] + "\t" + r[2]);
    return out;
}

class HookRun : public ::testing::TestWithParam<const char*> {};

// The probe run under the hook with these options: its rows (without pid
// and comm, buffer addresses masked), the work folder as a DOS name, and the
// descriptors it reported. Skips when eBPF cannot run here.
struct ProbeRun {
    std::vector<std::string> rows;
    std::string dosWork;
    int file = -1;
    int dir = -1;
    std::string err;
};

void RunProbe(const std::string& backend, const std::string& options, ProbeRun* run) {
    char tmpl[] = "/tmp/talvek-hook-run-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string tmp = tmpl;
    struct RemoveAtEnd {
        std::string dir;
        ~RemoveAtEnd() { Shell("rm -rf " + dir); }
    } removeAtEnd{tmp};
    const std::string work = tmp + "/work";
    ASSERT_EQ(Shell("mkdir " + work), 0);

    const std::string hook = std::string(TALVEK_HOOK) + " --backend " + backend + " " + options +
                             " --wine-prefix '' --out " + tmp + "/trace -- ";
    const int status =
        Shell(hook + HOOK_PROBE + " " + work + " >" + tmp + "/probe.out 2>" + tmp + "/hook.err");
    run->err = ReadFile(tmp + "/hook.err");
    if (status == 2 && backend == "ebpf") {
        GTEST_SKIP() << "the eBPF backend cannot run here: " << run->err;
    }
    ASSERT_EQ(status, 0) << "talvek-hook or the probe failed:\n" << run->err;
    EXPECT_NE(run->err.find(" 0 lost"), std::string::npos) << run->err;

    ASSERT_EQ(sscanf(ReadFile(tmp + "/probe.out").c_str(), "file=%d dir=%d", &run->file, &run->dir),
              2);
    ASSERT_EQ(Shell(std::string(TALVEK_RENDER) + " --process " + tmp + "/trace >" + tmp + "/rows"),
              0);
    std::istringstream lines(ReadFile(tmp + "/rows"));
    for (std::string line; std::getline(lines, line);) {
        const size_t comm = line.find('\t');
        const size_t func = line.find('\t', comm + 1);
        if (line.compare(comm + 1, func - comm - 1, "hook_probe") == 0)
            run->rows.push_back(MaskAddress(line.substr(func + 1)));
    }
    run->dosWork = "Z:" + work;
    for (char& c : run->dosWork)
        c = c == '/' ? '\\' : c;
}

std::string AllRows(const std::vector<std::string>& rows) {
    std::string all;
    for (const std::string& r : rows)
        all += r + "\n";
    return all;
}

TEST_P(HookRun, ProbeRowsInOrder) {
    ProbeRun run;
    RunProbe(GetParam(), "", &run);
    if (IsSkipped() || HasFatalFailure())
        return;
    const std::vector<std::string>& rows = run.rows;
    size_t at = 0;
    for (const std::string& want : ExpectedRows(run.dosWork, run.file, run.dir)) {
        while (at < rows.size() && rows[at] != want)
            ++at;
        if (at == rows.size())
            FAIL() << "missing, or out of order: " << want << "\nrows of the probe:\n"
                   << AllRows(rows);
        ++at;
    }
}

// Only the failed FILEATTRIB rows, the probe's among them.
TEST_P(HookRun, FilterLeavesOnlyWhatWasAskedFor) {
    ProbeRun run;
    RunProbe(GetParam(), "--functions FILEATTRIB --results failed", &run);
    if (IsSkipped() || HasFatalFailure())
        return;
    const std::string missing =
        "FILEATTRIB\tZ:\tLCL\tANSI\tFileNotFound\t" + run.dosWork + "\\missing.txt";
    bool found = false;
    for (const std::string& row : run.rows) {
        EXPECT_EQ(row.rfind("FILEATTRIB\t", 0), 0u) << row;
        EXPECT_EQ(row.find("\tOk\t"), std::string::npos) << row;
        found = found || row == missing;
    }
    EXPECT_TRUE(found) << "no " << missing << " among\n" << AllRows(run.rows);
    if (std::string(GetParam()) == "ebpf") { // the kernel left the rest out
        EXPECT_NE(run.err.find("left out early"), std::string::npos) << run.err;
    }
}

// Control lines that arrive while the command runs: monitoring off stops the
// rows, on again brings them back. The command stats a missing name of each
// phase until the test lets it go on.
TEST_P(HookRun, ControlLinesApplyWhileTheCommandRuns) {
    const std::string backend = GetParam();
    char tmpl[] = "/tmp/talvek-hook-ctl-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string d = tmpl;
    struct RemoveAtEnd {
        std::string dir;
        ~RemoveAtEnd() { Shell("rm -rf " + dir); }
    } removeAtEnd{d};
    const auto append = [&](const std::string& line) {
        std::ofstream(d + "/control", std::ios::app) << line << "\n";
    };
    append("monitoring=on results=failed functions=FILEATTRIB");
    const std::string script = "for p in one two three; do while [ ! -e " + d +
                               "/go.$p ]; do [ -e " + d + "/$p ]; done; done; true";
    const pid_t hook = fork();
    ASSERT_GE(hook, 0);
    if (hook == 0) {
        const std::string err = d + "/hook.err";
        freopen(err.c_str(), "w", stderr);
        execl(TALVEK_HOOK, TALVEK_HOOK, "--backend", backend.c_str(), "--wine-prefix", "",
              "--control", (d + "/control").c_str(), "--out", (d + "/trace").c_str(), "--",
              "/bin/sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Waits until the trace shows (or, for 300 ms, does not show) a name.
    const auto shows = [&](const char* name, int ms) {
        for (int waited = 0; waited < ms; waited += 20) {
            if (ReadFile(d + "/trace").find(std::string("\\") + name + "\n") != std::string::npos)
                return true;
            usleep(20000);
        }
        return false;
    };
    const auto next = [&](const char* phase) { Shell("touch " + d + "/go." + phase); };
    const bool one = shows("one", 10000);
    append("monitoring=off");
    usleep(300000); // applied within 50 ms
    next("one");
    const bool two = shows("two", 300);
    append("monitoring=on");
    usleep(300000);
    next("two");
    const bool three = shows("three", 10000);
    next("three");
    int status = 0;
    ASSERT_EQ(waitpid(hook, &status, 0), hook);
    const std::string err = ReadFile(d + "/hook.err");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2 && backend == "ebpf") {
        GTEST_SKIP() << "the eBPF backend cannot run here: " << err;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_TRUE(one) << "no row before the change";
    EXPECT_FALSE(two) << "rows while monitoring was off";
    EXPECT_TRUE(three) << "no row once monitoring was on again";
}

// Exit statuses and the one-line reasons of the command line.
TEST(HookCommandLine, ExitStatusAndReason) {
    const struct {
        const char* args;
        int status;
        const char* says; // on standard error
    } cases[] = {
        {"--backend ptrace --all", 2, "--all needs the eBPF backend"},
        {"--backend ptrace --pid 0", 1, "positive number"},
        {"--backend ptrace --pid 999999999 --out /tmp/talvek-hook-cli.out", 2,
         "no process 999999999"},
        {"--pid 1 -- true", 1, "exactly one of"},
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

} // namespace
