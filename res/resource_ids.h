// Ids of the program's resources and of the controls in its two dialog
// templates. Plain defines, so that the resource script can use them too.
#ifndef TALVEK_RES_RESOURCE_IDS_H
#define TALVEK_RES_RESOURCE_IDS_H

#define IDI_TALVEK 1         // class icon of the monitor window
#define IDS_NO_MAIN_WINDOW 2 // message when the monitor window cannot be made

#define IDD_MONITOR 1 // monitor window (class WC_Talvek)
#define IDD_OPTIONS 2 // options dialog

// Both templates: the static whose text names the dialog's saved placement.
#define IDC_PLACEMENT_NAME 996

// Monitor window.
#define IDC_CALL_LIST 100

// Options dialog. IDOK and IDCANCEL are its "입력" and "취소" buttons.
#define IDC_ALL_ON 100
#define IDC_ALL_OFF 101
#define IDC_LOOKED_FOR 102 // preset: failed opens, searches and attribute queries
#define IDC_MONITOR_ON 103
#define IDC_ROW_LIMIT 104
#define IDC_RESULT_ALL 105 // then 106 success, 107 failure
#define IDC_RESULT_OK 106
#define IDC_RESULT_FAILED 107
#define IDC_FUNC_FIRST 108 // check box of the function at position p is 108 + p
#define IDC_FUNC_LAST 137
#define IDC_UNNAMED (-1)

#endif
