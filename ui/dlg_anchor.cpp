// Keeping a resizable dialog's children in place: the anchor rule, relative
// child moves and the minimum tracking size.
#include "ui/dlg_frame.h"

void ChildMoveBy(HWND parent, HWND child, int x, int y, int width, int height, UINT flags) {
    RECT rc;
    GetWindowRect(child, &rc);
    POINT topLeft = {rc.left, rc.top};
    POINT bottomRight = {rc.right, rc.bottom};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    int value[4] = {x, y, width, height};
    const int current[4] = {topLeft.x, topLeft.y, bottomRight.x - topLeft.x,
                            bottomRight.y - topLeft.y};
    constexpr UINT kAbsolute[4] = {kChildAbsX, kChildAbsY, kChildAbsWidth, kChildAbsHeight};
    for (int i = 0; i < 4; ++i) {
        if ((flags & kAbsolute[i]) == 0) {
            value[i] += current[i];
        }
    }
    MoveWindow(child, value[0], value[1], value[2], value[3], FALSE);
}

void DlgAnchorResize(HWND dlg, int ax, int ay, int dx, int dy) {
    for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rc;
        GetWindowRect(child, &rc);
        if (rc.left > ax) {
            ChildMoveBy(dlg, child, dx, 0, 0, 0, 0);
        } else if (rc.right > ax) {
            ChildMoveBy(dlg, child, 0, 0, dx, 0, 0);
        }
        if (rc.top > ay) {
            ChildMoveBy(dlg, child, 0, dy, 0, 0, 0);
        } else if (rc.bottom > ay) {
            ChildMoveBy(dlg, child, 0, 0, 0, dy, 0);
        }
    }
}

BOOL DlgItemRect(HWND dlg, int id, RECT* rect) {
    return GetWindowRect(GetDlgItem(dlg, id), rect);
}

void SetMinTrackSize(MINMAXINFO* info, int widthDlu, int heightDlu) {
    info->ptMinTrackSize.x = DluToPixelX(widthDlu);
    info->ptMinTrackSize.y = DluToPixelY(heightDlu);
}
