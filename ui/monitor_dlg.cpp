#include "ui/monitor_dlg.h"

#include <commctrl.h>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "ui/render_call_row.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "settings/monitor_settings.h"
#include "text/str_prim.h"
#include "ui/dlg_frame.h"
#include "ui/options_dlg.h"
#include "ui/row_burst.h"

int32_t SizeMemo[2];

namespace {

constexpr char kColumnHeaders[] = "Function\0Drive\0ResType\0CodePage\0Result\0Data\0";
constexpr char kDriverMissing[] = "TALVEKHK.VXD 파일이 없습니다";

void AddSystemMenuItems(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    InsertMenuA(menu, SC_CLOSE, MF_BYCOMMAND | MF_STRING, kClearListCmd, "화면 지우기");
    InsertMenuA(menu, SC_CLOSE, MF_BYCOMMAND | MF_STRING, kOptionsCmd, "옵션 설정");
    InsertMenuA(menu, SC_CLOSE, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr);
}

void CreateListColumns(HWND window) {
    int32_t widths[kListColumnCount];
    ReadColWidths(widths, DluToPixelX);
    for (int i = 0; i < kListColumnCount; ++i)
        ListInsertColumn(window, kCallListId, i, widths[i], MszEntry(kColumnHeaders, i));
}

void OnInitDialog(HWND window) {
    MonitorWnd = window;
    ForgetRowBurst();
    AddSystemMenuItems(window);
    SendDlgItemMessageA(window, kCallListId, WM_SETFONT,
                        reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), FALSE);
    if (!DriverOpen()) {
        MsgBoxText(window, kDriverMissing, 0);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    CreateListColumns(window);
    SendDlgItemMessageA(window, kCallListId, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    LoadMonitorSettings();
    ListenerStart(window);
    PushSettings();
    ShowTitleState(window);
}

// Saves the column widths, stops the listener, unregisters, closes the device
// and destroys the window. The widths are saved only when the list was built:
// after a failed driver open there are no columns, and their -1 widths would
// overwrite the saved ones.
void CloseMonitor(HWND window) {
    if (DeviceHandle != INVALID_HANDLE_VALUE) {
        int32_t widths[kListColumnCount];
        for (int i = 0; i < kListColumnCount; ++i)
            widths[i] = ListColumnWidth(window, kCallListId, i);
        WriteColWidths(widths);
    }
    ListenerStop();
    DriverCall(CTL_SET_CALLBACK, 0);
    DriverClose();
    DestroyWindow(window);
}

void ToggleMonitoring(HWND window) {
    EnaMonitorFg ^= 1;
    DriverCall(CTL_ENABLE, static_cast<DWORD>(static_cast<int32_t>(EnaMonitorFg)));
    ShowTitleState(window);
}

void OnSize(HWND window, WPARAM type, LPARAM size) {
    if (type == SIZE_MINIMIZED)
        return;
    const int width = static_cast<int16_t>(LOWORD(size));
    const int height = static_cast<int16_t>(HIWORD(size));
    if (width == SizeMemo[0] && height == SizeMemo[1])
        return;
    RECT list;
    DlgItemRect(window, kCallListId, &list);
    DlgAnchorResize(window, list.left + 1, list.top + 1, width - SizeMemo[0], height - SizeMemo[1]);
    InvalidateRect(window, nullptr, TRUE);
    SizeMemo[0] = width;
    SizeMemo[1] = height;
}

// A system command (menu, clear, options, move) finds the list drawing.
void OnSysCommand(HWND window, WPARAM cmd) {
    EndRowBurst(window);
    switch (LOWORD(cmd)) {
    case kClearListCmd:
        ListDeleteAll(window, kCallListId);
        break;
    case kOptionsCmd: {
        SetModalDlgRunning(true);
        const INT_PTR result = RunModalDlg(window, OptionsDlgProc, IDD_OPTIONS, 0);
        SetModalDlgRunning(false);
        if (result == 1)
            PushSettings();
        break;
    }
    }
}

} // namespace

INT_PTR CALLBACK MonitorDlgProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    DlgFrameHook(window, msg, wParam, SizeMemo);
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(window);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            ToggleMonitoring(window);
        else if (LOWORD(wParam) == IDCANCEL)
            CloseMonitor(window);
        return TRUE;
    case WM_SYSCOMMAND:
        OnSysCommand(window, wParam);
        return FALSE;
    case WM_SIZE:
        OnSize(window, wParam, lParam);
        return FALSE;
    case WM_GETMINMAXINFO:
        SetMinTrackSize(reinterpret_cast<MINMAXINFO*>(lParam), kMinTrackWidthDlu,
                        kMinTrackHeightDlu);
        return FALSE;
    case WM_DESTROY:
        MonitorWnd = nullptr;
        ForgetRowBurst();
        PostQuitMessage(0);
        return FALSE;
    case WM_IFSCALL:
        RenderQueuedCall(window, lParam);
        return FALSE;
    case WM_ENTERIDLE:
        if (wParam == MSGF_DIALOGBOX)
            ModalDlgShown();
        return FALSE;
    case WM_TIMER:
        if (wParam == kBurstTimerId)
            EndRowBurstByTimer(window);
        else if (wParam == kHeldCallTimerId)
            RenderHeldCallsNow(window);
        return FALSE;
    }
    return FALSE;
}
