// The options dialog: which of the monitored IFS functions and which results
// the driver reports, how many rows the list keeps, and monitoring on/off.
#pragma once

#include <windows.h>

// Dialog procedure of template IDD_OPTIONS, run with
// RunModalDlg(owner, OptionsDlgProc, IDD_OPTIONS, 0). The dialog is filled
// from the monitoring settings in memory; it ends with 1 after OK, having
// stored the settings in memory and in the settings file, and with 2 after
// cancel, having changed nothing. It never talks to the driver.
INT_PTR CALLBACK OptionsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
