// Thin wrappers over the list-view messages, addressed by dialog and control id.
#include "ui/dlg_frame.h"

#include <commctrl.h>

int ListColumnWidth(HWND dlg, int id, int column) {
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH;
    if (SendDlgItemMessageA(dlg, id, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&col)) == 0) {
        return -1;
    }
    return col.cx;
}

int ListInsertColumn(HWND dlg, int id, int column, int width, const char* title) {
    LVCOLUMNA col = {};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = width;
    col.pszText = const_cast<char*>(title); // read, not written, by the insertion
    col.iSubItem = column;
    return static_cast<int>(
        SendDlgItemMessageA(dlg, id, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&col)));
}

LRESULT ListDeleteAll(HWND dlg, int id) {
    return SendDlgItemMessageA(dlg, id, LVM_DELETEALLITEMS, 0, 0);
}
