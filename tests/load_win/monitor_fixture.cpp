#include "monitor_fixture.h"

#include <commctrl.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "event/ifs_vocab.h"
#include "event/render_call_row.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "simdriver/sim_driver.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"

bool QuitSeen = false;
std::atomic<bool> PostsRefused{false};
std::atomic<uint32_t> IfsCallPosted{0};
std::atomic<uint32_t> IfsCallRefused{0};

bool PumpOne() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        QuitSeen = true;
        return true;
    }
    if (MonitorWnd != nullptr && IsDialogMessageA(MonitorWnd, &msg))
        return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        for (int i = 0; i < 16 && PumpOne(); ++i) {
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

std::string SeqPath(int n) {
    return "C:\\LOAD\\" + std::to_string(n);
}

std::vector<std::vector<uint8_t>> SeqRecords(int first, int count) {
    static const int32_t kResults[] = {0, 2, 3, 5, 18, 0, 0};
    std::vector<std::vector<uint8_t>> records;
    for (int n = first; n < first + count; ++n) {
        SimRec rec{};
        rec.func = IfsFuncTable.Codes[n % kIfsFuncCount];
        rec.drive = 3;
        rec.resType = 0x10;
        rec.result = kResults[n % 7];
        rec.sfn = static_cast<uint16_t>(n);
        rec.path1 = SeqPath(n);
        std::vector<uint8_t> bytes;
        SimBuildRecord(rec, &bytes);
        records.push_back(std::move(bytes));
    }
    return records;
}

std::string CellText(HWND window, int row, int column) {
    char text[1024] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendDlgItemMessageA(window, kCallListId, LVM_GETITEMTEXTA, row,
                        reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListRows(HWND window) {
    return static_cast<int>(SendDlgItemMessageA(window, kCallListId, LVM_GETITEMCOUNT, 0, 0));
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

// Points this executable's import of dll!name at hook; the previous target
// goes to *original.
bool PatchImport(const char* dll, const char* name, void* hook, void** original) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            *original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

} // namespace

void HookIfsCallPosts() {
    if (gRealPost != nullptr)
        return;
    void* original = nullptr;
    ASSERT_TRUE(
        PatchImport("user32.dll", "PostMessageA", reinterpret_cast<void*>(PostHook), &original));
    gRealPost = reinterpret_cast<PostFn>(original);
}
