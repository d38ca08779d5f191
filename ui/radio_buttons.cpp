// A run of radio buttons with consecutive ids, addressed by index.
#include "ui/dlg_frame.h"

int RadioIndex(HWND dlg, int first, int count) {
    int checked = -1;
    for (int i = 0; i < count; ++i) {
        if (IsDlgButtonChecked(dlg, first + i) != 0) {
            checked = i;
        }
    }
    return checked;
}

void RadioCheck(HWND dlg, int first, int count, int index) {
    // CheckRadioButton clears every button of the run but checks only one
    // inside it: a negative index leaves the run cleared.
    if (index < count) {
        CheckRadioButton(dlg, first, first + count - 1, first + index);
    }
}
