#include "window_read.h"

#include <commctrl.h>

namespace {

// Rounds num / den half away from zero in wide arithmetic.
int RoundedQuotient(long long num, long long den) {
    const long long mag = ((num < 0 ? -num : num) * 2 + den) / (den * 2);
    return static_cast<int>(num < 0 ? -mag : mag);
}

} // namespace

RECT WindowRect(HWND wnd) {
    RECT r = {};
    GetWindowRect(wnd, &r);
    return r;
}

RECT ChildRect(HWND parent, HWND child) {
    RECT r = WindowRect(child);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE ClientSize(HWND wnd) {
    RECT r = {};
    GetClientRect(wnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

int ExpectedDluX(int n) {
    return RoundedQuotient(static_cast<long long>(n) * LOWORD(GetDialogBaseUnits()), 4);
}

int ExpectedDluY(int n) {
    return RoundedQuotient(static_cast<long long>(n) * HIWORD(GetDialogBaseUnits()), 8);
}

std::string ListCellText(HWND list, int row, int column) {
    char text[1024] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListItemCount(HWND list) {
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}
