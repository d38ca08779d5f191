// TEMPORARY test-only stand-ins for routines that other branches provide
// (dialog frame helpers, IniWriteInts, WriteOptionSettings). Delete this file
// when those land; it must never move into the program's folders.
#include "settings/ini_file.h"
#include "settings/monitor_settings.h"
#include "ui/dlg_frame.h"

#include <stdio.h>

HINSTANCE AppInst;

void DlgFrameHook(HWND, UINT, WPARAM, int32_t*) {}

int RadioIndex(HWND dlg, int first, int count) {
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (IsDlgButtonChecked(dlg, first + i) != 0) {
            found = i;
        }
    }
    return found;
}

void RadioCheck(HWND dlg, int first, int count, int index) {
    if (index < count) {
        CheckRadioButton(dlg, first, first + count - 1, first + index);
    }
}

INT_PTR RunModalDlg(HWND owner, DLGPROC proc, UINT templateId, LPARAM param) {
    return DialogBoxParamA(AppInst, MAKEINTRESOURCEA(templateId), owner, proc, param);
}
