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

TEST_P(HookRun, ProbeRowsInOrder) {
    const std::string backend = GetParam();
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
        Shell(hook + HOOK_PROBE + " " + work + " >" + tmp + "/probe.out 2>" + tmp + "/hook.err");
    const std::string err = ReadFile(tmp + "/hook.err");
    if (status == 2 && backend == "ebpf") {
        GTEST_SKIP() << "the eBPF backend cannot run here: " << err;
    }
    ASSERT_EQ(status, 0) << "talvek-hook or the probe failed:\n" << err;
    EXPECT_NE(err.find(" 0 lost"), std::string::npos) << err;

    int file = -1;
    int dir = -1;
    ASSERT_EQ(sscanf(ReadFile(tmp + "/probe.out").c_str(), "file=%d dir=%d", &file, &dir), 2);
    ASSERT_EQ(Shell(std::string(TALVEK_RENDER) + " --process " + tmp + "/trace >" + tmp + "/rows"),
              0);

    // The probe's rows, without pid and comm, buffer addresses masked.
    std::vector<std::string> rows;
    std::istringstream lines(ReadFile(tmp + "/rows"));
    for (std::string line; std::getline(lines, line);) {
        const size_t comm = line.find('\t');
        const size_t func = line.find('\t', comm + 1);
        if (line.compare(comm + 1, func - comm - 1, "hook_probe") == 0)
            rows.push_back(MaskAddress(line.substr(func + 1)));
    }
    std::string d = "Z:" + work;
    for (char& c : d)
        c = c == '/' ? '\\' : c;
    size_t at = 0;
    for (const std::string& want : ExpectedRows(d, file, dir)) {
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

// Exit statuses and the one-line reasons of the command line.
TEST(HookCommandLine, ExitStatusAndReason) {
    const struct {
        const char* args;
        int status;
        const char* says; // on standard error
    } cases[] = {
        {"--backend ptrace --all", 2, "--all needs the eBPF backend"},
        {"--backend ptrace --pid 0", 1, "positive number"},
        {"--backend ptrace --pid 999999999 --out @.out", 2, "no process 999999999"},
        {"--pid 1 -- true", 1, "exactly one of"},
        {"--backend ptrace -- sh -c 'exit 3'", 3, " 0 lost"},
        {"--backend ptrace -- sh -c 'kill -TERM $$'", 128 + 15, " 0 lost"},
        {"--backend ptrace -- /nonexistent/cmd", 127, "cannot run /nonexistent/cmd"},
        {"--backend ptrace --out /nonexistent/dir/x -- true", 1, "cannot write"},
        {"--view windows --backend ptrace -- true", 2, "the Windows view needs eBPF"},
        {"--view windows --wine-lib /nonexistent -- true", 2, "found no Wine library"},
        {"--view nope -- true", 1, "--view is system or windows"},
    };
    // Files of this run's own: other runs of the suite may go on beside it.
    const std::string base = "/tmp/talvek-hook-cli-" + std::to_string(getpid());
    for (const auto& c : cases) {
        const std::string err = base + ".err";
        std::string args = c.args;
        if (const size_t at = args.find('@'); at != std::string::npos)
            args.replace(at, 1, base);
        const int status = Shell(std::string(TALVEK_HOOK) + " " + args + " >/dev/null 2>" + err);
        const std::string said = ReadFile(err);
        EXPECT_EQ(status, c.status) << c.args << ": " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.args << ": " << said;
        unlink(err.c_str());
    }
    // Refused: the output file it made is gone again.
    EXPECT_NE(access((base + ".out").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, HookRun, ::testing::Values("ptrace", "ebpf"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
