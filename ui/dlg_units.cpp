// Dialog units by the system's dialog base units (not a dialog's own font).
#include "ui/dlg_frame.h"

int DluToPixelX(int n) {
    return MulDiv(n, LOWORD(GetDialogBaseUnits()), 4);
}

int DluToPixelY(int n) {
    return MulDiv(n, HIWORD(GetDialogBaseUnits()), 8);
}
