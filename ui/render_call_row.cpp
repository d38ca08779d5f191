#include "ui/render_call_row.h"

#include <commctrl.h>

#include "driver/driver_link.h"
#include "event/call_row_texts.h"
#include "settings/monitor_settings.h"
#include "text/str_prim.h"

HLOCAL(WINAPI* RowScratchAlloc)(UINT flags, SIZE_T bytes) = LocalAlloc;

namespace {

LRESULT ListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(window, kCallListId, message, wParam, lParam);
}

// Appends the record's row and fills its six texts, one after the other in
// the one scratch text; the oldest row goes first when the list is full.
void AppendCallRow(HWND window, const IfsCallRec* rec, char* scratch) {
    const int32_t count = static_cast<int32_t>(ListMessage(window, LVM_GETITEMCOUNT, 0, 0));
    if (count >= MaxViewLineQty)
        ListMessage(window, LVM_DELETEITEM, 0, 0);

    LVITEMA item;
    MemZero(&item, sizeof item);
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = const_cast<char*>(CallColumnText(rec, kColFunction, scratch));
    item.iItem = static_cast<int>(ListMessage(window, LVM_GETITEMCOUNT, 0, 0));
    item.iSubItem = 0;
    item.lParam = 0;
    const int row =
        static_cast<int>(ListMessage(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row == -1)
        return; // no row to fill or to show

    for (int column = kColDrive; column < kCallColumnCount; ++column) {
        MemZero(&item, sizeof item);
        item.mask = LVIF_TEXT;
        item.iSubItem = column;
        item.pszText = const_cast<char*>(CallColumnText(rec, column, scratch));
        ListMessage(window, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(&item));
    }
    ListMessage(window, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

} // namespace

void RenderCallRow(HWND window, LPARAM record) {
    char* scratch = static_cast<char*>(RowScratchAlloc(LMEM_FIXED, kRowScratchSize));
    if (scratch != nullptr)
        AppendCallRow(window, reinterpret_cast<const IfsCallRec*>(record), scratch);
    // The record goes back to the driver on every path; it is not read again.
    DriverCall(CTL_RELEASE_REC, static_cast<DWORD>(static_cast<ULONG_PTR>(record)));
    if (scratch != nullptr)
        LocalFree(scratch);
}
