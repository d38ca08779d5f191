#include "ui/options_dlg.h"

#include "event/ifs_vocab.h"
#include "res/resource_ids.h"
#include "settings/monitor_settings.h"
#include "ui/dlg_frame.h"

namespace {

// The preset for files that programs look for and do not find: failed opens,
// find-opens, searches and attribute queries.
constexpr uint8_t kLookedForCodes[] = {IFSFN_OPEN, IFSFN_FINDOPEN, IFSFN_SEARCH, IFSFN_FILEATTRIB};
constexpr int kResultCount = 3;  // radio buttons IDC_RESULT_ALL, _OK, _FAILED
constexpr int kResultFailed = 2; // index of IDC_RESULT_FAILED

static_assert(IDC_FUNC_LAST - IDC_FUNC_FIRST + 1 == kIfsFuncCount);
static_assert(IDC_RESULT_FAILED - IDC_RESULT_ALL + 1 == kResultCount);

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
        int32_t pos = IfsFuncPosition(code);
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
