#include "monitor_host.h"

#include <commctrl.h>

#include <cstring>
#include <fstream>

#include "driver/listener.h"
#include "ui/render_call_row.h"
#include "settings/monitor_settings.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "simdriver/sim_driver.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"

namespace {

void RegisterClasses() {
    static bool done = false;
    if (done)
        return;
    AppInst = GetModuleHandleA(nullptr);
    RegisterDlgClass("WC_Talvek", IDI_TALVEK, 0, nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    done = true;
}

// As the program's loop takes a message: WM_QUIT ends it.
bool LoopMessage(MSG& msg) {
    if (msg.message == WM_QUIT)
        return false;
    SimDispatch(msg, MonitorWnd);
    return true;
}

} // namespace

HWND OpenMonitor(const std::string& iniText) {
    RegisterClasses();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path =
        std::string(temp) + "talvek_bench_" + std::to_string(GetCurrentProcessId()) + ".ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << iniText;
    lstrcpynA(IniPath, path.c_str(), kIniPathSize);
    SimReset();
    return CreateDialogParamA(AppInst, MAKEINTRESOURCEA(IDD_MONITOR), nullptr, MonitorDlgProc, 0);
}

void CloseMonitor(HWND window) {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    SimPumpUntil([] { return false; }, INFINITE, LoopMessage);
    DeleteFileA(IniPath);
}

void PumpAll() {
    SimPumpUntil([] { return true; }, 0, LoopMessage);
}

HWND CallList(HWND window) {
    return GetDlgItem(window, kCallListId);
}

void BareListRow(HWND window, const char* const texts[]) {
    auto list = [window](UINT msg, WPARAM wParam, LPARAM lParam) {
        return SendDlgItemMessageA(window, kCallListId, msg, wParam, lParam);
    };
    if (static_cast<int32_t>(list(LVM_GETITEMCOUNT, 0, 0)) >= MaxViewLineQty)
        list(LVM_DELETEITEM, 0, 0);
    LVITEMA item;
    std::memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = const_cast<char*>(texts[0]);
    item.iItem = static_cast<int>(list(LVM_GETITEMCOUNT, 0, 0));
    const int row = static_cast<int>(list(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 1; column < 6; ++column) {
        std::memset(&item, 0, sizeof item);
        item.mask = LVIF_TEXT;
        item.iSubItem = column;
        item.pszText = const_cast<char*>(texts[column]);
        list(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    list(LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

int ListRows(HWND window) {
    return static_cast<int>(SendDlgItemMessageA(window, kCallListId, LVM_GETITEMCOUNT, 0, 0));
}

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}
