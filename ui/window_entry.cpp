#include "ui/monitor_dlg.h"

#include <commctrl.h>

#include "driver/listener.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "ui/dlg_frame.h"

namespace {

constexpr char kMonitorClass[] = "WC_Talvek";

// The list view's class must exist before the monitor window's template is
// instantiated. InitCommonControls, unlike InitCommonControlsEx, is in every
// version of the common controls, Windows 95's first among them.
void RegisterListViewClass() {
    InitCommonControls();
}

int RunMessageLoop() {
    MSG msg;
    while (TakeLoopMessage(&msg)) {
        if (MonitorWnd != nullptr && IsDialogMessageA(MonitorWnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace

int WindowEntry(HINSTANCE instance) {
    AppInst = instance;
    HWND first = FindWindowA(kMonitorClass, nullptr);
    if (first != nullptr) {
        ShowWindow(first, SW_SHOWNORMAL);
        SetForegroundWindow(first);
        return 0;
    }
    IniPathInit(instance);
    RegisterDlgClass(kMonitorClass, IDI_TALVEK, 0, nullptr);
    RegisterListViewClass();
    HWND window =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MONITOR), nullptr, MonitorDlgProc, 0);
    if (window == nullptr) {
        MsgBoxRes(nullptr, IDS_NO_MAIN_WINDOW, 0);
        return -1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return RunMessageLoop();
}
