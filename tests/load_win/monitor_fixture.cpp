#include "monitor_fixture.h"

#include <commctrl.h>

#include <fstream>
#include <iterator>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "event/ifs_vocab.h"
#include "ui/render_call_row.h"
#include "import_patch.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "simdriver/sim_driver.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"
#include "window_read.h"

bool QuitSeen = false;
std::atomic<bool> PostsRefused{false};
std::atomic<uint32_t> IfsCallPosted{0};
std::atomic<uint32_t> IfsCallRefused{0};

namespace {

// A WM_QUIT is noted, not acted on: the test decides when the loop ends.
bool LoadMessage(MSG& msg) {
    if (msg.message == WM_QUIT)
        QuitSeen = true;
    else
        SimDispatch(msg, MonitorWnd);
    return true;
}

} // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    // During a flood the queue never empties: done() is asked every 16
    // messages, and the wait for more is short.
    return SimPumpUntil(done, timeoutMs, LoadMessage, 16, 1);
}

std::string SeqPath(int n) {
    return "C:\\LOAD\\" + std::to_string(n);
}

std::vector<std::vector<uint8_t>> SeqRecords(int first, int count) {
    static const int32_t kResults[] = {0, 2, 3, 5, 18, 0, 0};
    std::vector<std::vector<uint8_t>> records;
    for (int n = first; n < first + count; ++n) {
        IfsCall rec{};
        rec.func = IfsFuncTable.Codes[n % kIfsFuncCount];
        rec.drive = 3;
        rec.resType = 0x10;
        rec.result = kResults[n % 7];
        rec.sfn = static_cast<uint16_t>(n);
        rec.path1 = SeqPath(n);
        std::vector<uint8_t> bytes;
        BuildIfsCallRec(rec, &bytes);
        records.push_back(std::move(bytes));
    }
    return records;
}

std::string CellText(HWND window, int row, int column) {
    return ListCellText(GetDlgItem(window, kCallListId), row, column);
}

int ListRows(HWND window) {
    return ListItemCount(GetDlgItem(window, kCallListId));
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void MonitorTest::SetUp() {
    static bool registered = false;
    if (!registered) {
        AppInst = GetModuleHandleA(nullptr);
        RegisterDlgClass("WC_Talvek", IDI_TALVEK, 0, nullptr);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        registered = true;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    iniPath_ = std::string(temp) + "talvek_load_" + std::to_string(GetCurrentProcessId()) + "_" +
               info->name() + ".ini";
    for (char& c : iniPath_)
        if (c == '/')
            c = '_';
    ASSERT_LT(iniPath_.size(), static_cast<size_t>(kIniPathSize));
    lstrcpynA(IniPath, iniPath_.c_str(), kIniPathSize);
    SimReset();
    QuitSeen = false;
    PostsRefused = false;
    IfsCallPosted = 0;
    IfsCallRefused = 0;
}

void MonitorTest::TearDown() {
    if (window_ != nullptr && IsWindow(window_))
        Close();
    SimReset();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    DeleteFileA(iniPath_.c_str());
}

HWND MonitorTest::Open(const std::string& settingsText) {
    DeleteFileA(iniPath_.c_str());
    if (!settingsText.empty())
        WriteFileBytes(iniPath_, settingsText);
    window_ =
        CreateDialogParamA(AppInst, MAKEINTRESOURCEA(IDD_MONITOR), nullptr, MonitorDlgProc, 0);
    return window_;
}

bool MonitorTest::Close(DWORD timeoutMs) {
    QuitSeen = false;
    PostMessageA(GetDlgItem(window_, kCallListId), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    return PumpUntil([] { return QuitSeen; }, timeoutMs);
}

namespace {

using PostFn = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
PostFn gRealPost = nullptr;

BOOL WINAPI PostHook(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_IFSCALL) {
        if (PostsRefused) {
            ++IfsCallRefused;
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
        const BOOL ok = gRealPost(window, msg, wParam, lParam);
        if (ok)
            ++IfsCallPosted;
        return ok;
    }
    return gRealPost(window, msg, wParam, lParam);
}

} // namespace

void HookIfsCallPosts() {
    if (gRealPost != nullptr)
        return;
    void* original = PatchImport("user32.dll", "PostMessageA", reinterpret_cast<void*>(PostHook));
    ASSERT_NE(original, nullptr);
    gRealPost = reinterpret_cast<PostFn>(original);
}
