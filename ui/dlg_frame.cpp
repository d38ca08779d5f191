// DlgFrameHook: every dialog's remembered screen placement ([DlgPos], keyed by
// the text of its hidden control 996) and, for resizable dialogs, the size grip.
#include "ui/dlg_frame.h"

#include "settings/ini_file.h"
#include "text/str_scan.h"

namespace {

constexpr char kPlacementSection[] = "DlgPos";
constexpr int kPlacementNameSize = 20;
constexpr int32_t kOffScreen = 30000; // a coordinate the record does not supply
constexpr int kGripDlu = 8;
constexpr DWORD kGripStyle =
    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEBOXBOTTOMRIGHTALIGN | SBS_SIZEGRIP;
static_assert(kGripStyle == 0x54000014);
static_assert((-3 >> 1) == -2, "centring relies on an arithmetic shift");

enum PlacementField { kLeft, kTop, kWidth, kHeight, kFieldCount };

// False when the dialog has no placement name (no control 996, or empty text).
bool ReadPlacementName(HWND dlg, char name[kPlacementNameSize]) {
    name[0] = '\0';
    return GetDlgItemTextA(dlg, kPlacementNameId, name, kPlacementNameSize) > 0 && name[0] != '\0';
}

void ReadWindowPlacement(HWND dlg, int32_t place[kFieldCount]) {
    RECT rc;
    GetWindowRect(dlg, &rc);
    place[kLeft] = rc.left;
    place[kTop] = rc.top;
    place[kWidth] = rc.right - rc.left;
    place[kHeight] = rc.bottom - rc.top;
}

// Screen coordinate that centres size on screen, halved towards minus infinity.
// Wide arithmetic: a stored size may be any 32-bit value.
int32_t CentreOffset(int screen, int32_t size) {
    return static_cast<int32_t>((static_cast<int64_t>(screen) - size) >> 1);
}

// True when the window's top-left corner leaves less than a caption's height
// of the screen. The left and top edges are not tested.
bool IsOffScreen(int32_t x, int32_t y) {
    const int64_t cap = GetSystemMetrics(SM_CYCAPTION);
    return x + cap >= GetSystemMetrics(SM_CXSCREEN) || y + cap >= GetSystemMetrics(SM_CYSCREEN);
}

void CreateSizeGrip(HWND dlg, int32_t sizeMemo[2]) {
    RECT client;
    GetClientRect(dlg, &client);
    sizeMemo[0] = client.right - client.left;
    sizeMemo[1] = client.bottom - client.top;
    const int w = DluToPixelX(kGripDlu);
    const int h = DluToPixelY(kGripDlu);
    CreateWindowExA(0, "scrollbar", "", kGripStyle, sizeMemo[0] - w, sizeMemo[1] - h, w, h, dlg,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSizeGripId)), AppInst, nullptr);
}

// Moves the dialog to its stored placement; only a resizable dialog takes the
// stored size. A missing or off-screen placement centres the dialog.
void RestorePlacement(HWND dlg, bool resizable) {
    char name[kPlacementNameSize];
    if (!ReadPlacementName(dlg, name)) {
        return;
    }
    char record[kIniValueSize];
    IniReadStr(kPlacementSection, name, record, nullptr);
    int32_t place[kFieldCount];
    ReadWindowPlacement(dlg, place);
    place[kLeft] = kOffScreen;
    place[kTop] = kOffScreen;
    if (resizable) {
        StrScan(record, "%d %d %d %d", &place[kLeft], &place[kTop], &place[kWidth],
                &place[kHeight]);
    } else {
        StrScan(record, "%d %d", &place[kLeft], &place[kTop]);
    }
    if (IsOffScreen(place[kLeft], place[kTop])) {
        place[kLeft] = CentreOffset(GetSystemMetrics(SM_CXSCREEN), place[kWidth]);
        place[kTop] = CentreOffset(GetSystemMetrics(SM_CYSCREEN), place[kHeight]);
    }
    MoveWindow(dlg, place[kLeft], place[kTop], place[kWidth], place[kHeight], FALSE);
}

// Stores the dialog's normal rectangle when it differs from the stored one.
void SavePlacement(HWND dlg) {
    if (IsIconic(dlg) || IsZoomed(dlg)) {
        return;
    }
    char name[kPlacementNameSize];
    if (!ReadPlacementName(dlg, name)) {
        return;
    }
    char record[kIniValueSize];
    IniReadStr(kPlacementSection, name, record, nullptr);
    int32_t stored[kFieldCount] = {0, 0, 0, 0};
    StrScan(record, "%d %d %d %d", &stored[kLeft], &stored[kTop], &stored[kWidth],
            &stored[kHeight]);
    int32_t now[kFieldCount];
    ReadWindowPlacement(dlg, now);
    for (int i = 0; i < kFieldCount; ++i) {
        if (now[i] != stored[i]) {
            IniWriteInts(kPlacementSection, name, now[kLeft], now[kTop], now[kWidth], now[kHeight]);
            return;
        }
    }
}

} // namespace

void DlgFrameHook(HWND dlg, UINT msg, WPARAM, int32_t* sizeMemo) {
    switch (msg) {
    case WM_INITDIALOG:
        // The memo holds the template's client size before the restore below
        // resizes the dialog, so its WM_SIZE handling sees the change.
        if (sizeMemo != nullptr) {
            CreateSizeGrip(dlg, sizeMemo);
        }
        RestorePlacement(dlg, sizeMemo != nullptr);
        break;
    case WM_MOVE:
    case WM_SIZE:
        SavePlacement(dlg);
        break;
    default:
        break;
    }
}
