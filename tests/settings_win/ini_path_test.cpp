#include "temp_ini.h"

#include <cstdlib>

#include "import_patch.h"

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
    // A value written and read back shows whether a settings file is in use.
    IniWriteInts(kIniConfig, "Probe", 1, kIniAbsent, kIniAbsent, kIniAbsent);
    const int32_t probe = IniReadInt(kIniConfig, "Probe", 7);
    WriteFileBytes(report, std::string("path=") + IniPath + " probe=" + std::to_string(probe));
}

// Copies this executable to folder\name, runs the copy's report test and
// returns its report; removes the copy, its settings file and the folder.
std::string ReportOfCopy(const std::string& folder, const std::string& name,
                         const std::string& settings) {
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
    if (started) {
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 0u);
    }
    const std::string derived = FileBytes(report);
    DeleteFileA(report.c_str());
    DeleteFileA(exe.c_str());
    if (!settings.empty())
        DeleteFileA(settings.c_str());
    RemoveDirectoryA(folder.c_str());
    return derived;
}

// A folder below the scratch folder in which TALVEK.EXE has a path of
// exeLength characters.
std::string FolderForExeLength(size_t exeLength) {
    const size_t fixed = ScratchDir().size() + sizeof "\\TALVEK.EXE"; // one more for the '\\'
    return ScratchDir() + "\\" + std::string(exeLength - fixed, 'd');
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
        std::string expected; // the settings file; empty: none is used
    } cases[] = {
        {ScratchDir() + "\\tools.v1.2", "talvek.v2.final.exe",
         ScratchDir() + "\\tools.v1.2\\talvek.INI"},
        {ScratchDir() + "\\plain", "TALVEK.EXE", ScratchDir() + "\\plain\\TALVEK.INI"},
        // Once resolved to the Windows folder for want of room.
        {FolderForExeLength(131), "TALVEK.EXE", FolderForExeLength(131) + "\\TALVEK.INI"},
        // The longest path that GetModuleFileNameA returns whole.
        {FolderForExeLength(MAX_PATH - 1), "TALVEK.EXE",
         FolderForExeLength(MAX_PATH - 1) + "\\TALVEK.INI"},
        // No settings file when its path would be too long for the profile
        // functions: a name without extension gains ".INI".
        {FolderForExeLength(MAX_PATH - 1), "TALVEKEXE", ""},
    };
    for (const Case& c : cases) {
        const std::string report = ReportOfCopy(c.folder, c.name, c.expected);
        const std::string want =
            c.expected.empty() ? "path= probe=7" : "path=" + c.expected + " probe=1";
        EXPECT_EQ(report, want) << c.folder.size() + 1 + c.name.size() << " characters";
    }
}

// GetModuleFileNameA on a path longer than its buffer: fills the buffer and
// returns its size, with a terminator (later Windows) or without (earlier).
bool CutPathTerminated;
DWORD WINAPI CutModuleFileName(HMODULE, LPSTR path, DWORD size) {
    for (DWORD i = 0; i < size; ++i)
        path[i] = i < 3 ? "C:\\"[i] : 'd';
    if (CutPathTerminated)
        path[size - 1] = '\0';
    return size;
}

TEST_F(IniPathInitTest, CutExecutablePathUsesNoSettingsFile) {
    void* original = PatchImport("kernel32.dll", "GetModuleFileNameA",
                                 reinterpret_cast<void*>(CutModuleFileName));
    ASSERT_NE(original, nullptr);
    for (bool terminated : {false, true}) {
        CutPathTerminated = terminated;
        IniPathInit(GetModuleHandleA(nullptr));
        EXPECT_STREQ(IniPath, "") << "terminated " << terminated;
        IniWriteStr(kIniConfig, "Probe", "1");
        EXPECT_EQ(IniReadInt(kIniConfig, "Probe", 7), 7);
        char text[kIniValueSize];
        IniReadStr(kIniConfig, "Probe", text, "dflt");
        EXPECT_STREQ(text, "dflt");
    }
    PatchImport("kernel32.dll", "GetModuleFileNameA", original);
}

} // namespace
