#include "ui/options_dlg.h"

#include "res/resource_ids.h"
#include "settings/monitor_settings.h"
#include "text/str_prim.h"
#include "ui/dlg_frame.h"

namespace {

// IFS function codes of the monitored functions, in check-box order. A local
// copy of the codes column of the shared function table until that table
// has its own header; the two must stay identical.
constexpr uint8_t kFuncCodes[kIfsFuncCount] = {0,  1,  2,  3,  10, 11, 12, 13, 14, 15,
                                               16, 17, 18, 19, 30, 31, 32, 33, 34, 35,
                                               36, 37, 38, 39, 40, 41, 42, 43, 44, 45};

// The preset for files that programs look for and do not find: failed opens,
// find-opens, searches and attribute queries.
constexpr uint8_t kLookedForCodes[] = {36, 44, 38, 33};
constexpr int kResultCount = 3;  // radio buttons IDC_RESULT_ALL, _OK, _FAILED
constexpr int kResultFailed = 2; // index of IDC_RESULT_FAILED

static_assert(IDC_FUNC_LAST - IDC_FUNC_FIRST + 1 == kIfsFuncCount);
static_assert(IDC_RESULT_FAILED - IDC_RESULT_ALL + 1 == kResultCount);

constexpr bool FuncCodeKnown(uint8_t code) {
    for (uint8_t known : kFuncCodes) {
        if (known == code) {
            return true;
        }
    }
    return false;
}
static_assert(FuncCodeKnown(36) && FuncCodeKnown(44) && FuncCodeKnown(38) && FuncCodeKnown(33));

void CheckAllFuncBoxes(HWND dlg, UINT state) {
    for (int i = 0; i < kIfsFuncCount; ++i) {
        CheckDlgButton(dlg, IDC_FUNC_FIRST + i, state);
    }
}

void FillFromSettings(HWND dlg) {
    for (int i = 0; i < kIfsFuncCount; ++i) {
        CheckDlgButton(dlg, IDC_FUNC_FIRST + i, static_cast<UINT>(IfsFncMonEnaFg[i]));
    }
    SetDlgItemInt(dlg, IDC_ROW_LIMIT, static_cast<UINT>(MaxViewLineQty), FALSE);
    RadioCheck(dlg, IDC_RESULT_ALL, kResultCount, ResultMonFg);
    CheckDlgButton(dlg, IDC_MONITOR_ON, static_cast<UINT>(EnaMonitorFg));
}

// OK: the controls become the settings in memory and in the settings file.
void StoreSettings(HWND dlg) {
    char enableText[kIfsFuncCount + 1];
    for (int i = 0; i < kIfsFuncCount; ++i) {
        UINT v = IsDlgButtonChecked(dlg, IDC_FUNC_FIRST + i);
        IfsFncMonEnaFg[i] = static_cast<int8_t>(v);
        enableText[i] = static_cast<char>('0' + v);
    }
    enableText[kIfsFuncCount] = '\0';

    // Read unsigned: a minus sign, letters or an empty box read as 0, and
    // 2^31 or more turns negative; all of these become 1.
    int32_t rows = static_cast<int32_t>(GetDlgItemInt(dlg, IDC_ROW_LIMIT, nullptr, FALSE));
    if (rows < 1) {
        rows = 1;
    }
    MaxViewLineQty = rows;

    // No result button checked gives -1, kept as the byte 0xFF.
    ResultMonFg = static_cast<int8_t>(RadioIndex(dlg, IDC_RESULT_ALL, kResultCount));

    UINT enabled = IsDlgButtonChecked(dlg, IDC_MONITOR_ON);
    EnaMonitorFg = static_cast<int8_t>(enabled);

    WriteOptionSettings(enableText, MaxViewLineQty, ResultMonFg, static_cast<int32_t>(enabled));
}

void CheckLookedForPreset(HWND dlg) {
    CheckAllFuncBoxes(dlg, BST_UNCHECKED);
    for (uint8_t code : kLookedForCodes) {
        int32_t pos = MemFindByte(kFuncCodes, kIfsFuncCount, code);
        if (pos >= 0) {
            CheckDlgButton(dlg, IDC_FUNC_FIRST + pos, BST_CHECKED);
        }
    }
    RadioCheck(dlg, IDC_RESULT_ALL, kResultCount, kResultFailed);
}

} // namespace

INT_PTR CALLBACK OptionsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
    DlgFrameHook(dlg, msg, wParam, nullptr);
    switch (msg) {
    case WM_INITDIALOG:
        FillFromSettings(dlg);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            StoreSettings(dlg);
            EndDialog(dlg, IDOK);
            break;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            break;
        case IDC_ALL_ON:
            CheckAllFuncBoxes(dlg, BST_CHECKED);
            break;
        case IDC_ALL_OFF:
            CheckAllFuncBoxes(dlg, BST_UNCHECKED);
            break;
        case IDC_LOOKED_FOR:
            CheckLookedForPreset(dlg);
            break;
        default:
            break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}
