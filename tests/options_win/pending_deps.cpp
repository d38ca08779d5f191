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

void IniWriteInts(const char* section, const char* key, int32_t a, int32_t b, int32_t c,
                  int32_t d) {
    char text[48];
    if (d != kIniAbsent) {
        snprintf(text, sizeof text, "%d %d %d %d", a, b, c, d);
    } else if (c != kIniAbsent) {
        snprintf(text, sizeof text, "%d %d %d", a, b, c);
    } else if (b != kIniAbsent) {
        snprintf(text, sizeof text, "%d %d", a, b);
    } else {
        snprintf(text, sizeof text, "%d", a);
    }
    WritePrivateProfileStringA(section, key, text, IniPath);
}

void WriteOptionSettings(const char enableText[kIfsFuncCount + 1], int32_t maxViewLineQty,
                         int32_t resultMonFg, int32_t enaMonitorFg) {
    IniWriteStr("Config", "IfsFncMonEnaFg", enableText);
    IniWriteInts("Config", "MaxViewLineQty", maxViewLineQty, kIniAbsent, kIniAbsent, kIniAbsent);
    IniWriteInts("Config", "ResultMonFg", resultMonFg, kIniAbsent, kIniAbsent, kIniAbsent);
    IniWriteInts("Config", "EnaMonitorFg", enaMonitorFg, kIniAbsent, kIniAbsent, kIniAbsent);
}
