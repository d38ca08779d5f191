#include "temp_ini.h"

#include <cstdlib>

namespace {

// When this variable names a file, the test IniPathChild.Report (run in a
// copy of this executable) writes the settings path it derives there.
constexpr char kReportVar[] = "TALVEK_INIPATH_REPORT";

std::string ModulePath() {
    char path[MAX_PATH];
    const DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, len);
}

TEST(IniPathChild, Report) {
    const char* report = std::getenv(kReportVar);
    if (report == nullptr)
        GTEST_SKIP() << "runs only as the child of IniPathInit tests";
    IniPathInit(GetModuleHandleA(nullptr));
    WriteFileBytes(report, IniPath);
}

// Copies this executable to folder\name, runs the copy's report test and
// returns the settings path that the copy derived.
std::string PathDerivedByCopy(const std::string& folder, const std::string& name) {
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\" + name;
    EXPECT_TRUE(CopyFileA(ModulePath().c_str(), exe.c_str(), FALSE)) << exe;
    const std::string report = ScratchDir() + "\\ini_path_report.txt";
    DeleteFileA(report.c_str());

    SetEnvironmentVariableA(kReportVar, report.c_str());
    std::string cmd = "\"" + exe + "\" --gtest_filter=IniPathChild.Report";
    // The copy's own test report is of no interest: it goes to NUL.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA(kReportVar, nullptr);
    CloseHandle(nul);
    EXPECT_TRUE(started) << exe;
    if (!started)
        return "";
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    const std::string derived = FileBytes(report);
    DeleteFileA(report.c_str());
    DeleteFileA(exe.c_str());
    RemoveDirectoryA(folder.c_str());
    return derived;
}

using IniPathInitTest = TempIni;

TEST_F(IniPathInitTest, OwnExecutableGivesSiblingIniFile) {
    const std::string module = ModulePath();
    IniPathInit(GetModuleHandleA(nullptr));
    const std::string derived = IniPath;
    const size_t dot = module.find('.', module.rfind('\\') + 1);
    ASSERT_NE(dot, std::string::npos);
    EXPECT_EQ(derived, module.substr(0, dot) + ".INI");
}

TEST_F(IniPathInitTest, CopiesDeriveFromTheirOwnPath) {
    struct Case {
        std::string folder;
        std::string name;
        std::string expected; // empty: the initial path is kept
    } cases[] = {
        {ScratchDir() + "\\tools.v1.2", "talvek.v2.final.exe",
         ScratchDir() + "\\tools.v1.2\\talvek.INI"},
        {ScratchDir() + "\\plain", "TALVEK.EXE", ScratchDir() + "\\plain\\TALVEK.INI"},
        // A settings path of more than 119 characters would not fit.
        {ScratchDir() + "\\" + std::string(130, 'd'), "TALVEK.EXE", ""},
    };
    for (const Case& c : cases) {
        const std::string derived = PathDerivedByCopy(c.folder, c.name);
        EXPECT_EQ(derived, c.expected.empty() ? std::string("TALVEK.INI") : c.expected)
            << c.folder << "\\" << c.name;
    }
}

} // namespace
