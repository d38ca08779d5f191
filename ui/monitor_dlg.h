// The monitor window: a modeless dialog of class "WC_Talvek" that owns the
// list of rows, the driver link and the listener thread.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr int kClearListCmd = 101; // system menu: clear the list
constexpr int kOptionsCmd = 102;   // system menu: options dialog
constexpr int kMinTrackWidthDlu = 100;
constexpr int kMinTrackHeightDlu = 59;

extern int32_t SizeMemo[2]; // the monitor window's last client width and height

INT_PTR CALLBACK MonitorDlgProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Rewrites the title as "<caption> - <monitoring state>".
void ShowTitleState(HWND window);

// The next message for the program's loop: pending keyboard and mouse input
// before posted messages (looked for at most every kInputCheckMs), otherwise
// as GetMessageA. False at WM_QUIT (msg then holds it) or when the queue fails.
bool TakeLoopMessage(MSG* msg);

// Longest time between two looks for waiting input during a flood.
constexpr DWORD kInputCheckMs = 5;

// True, and the clock restarted, when the check that *lastTick and *checked
// belong to has not run for kInputCheckMs (or never).
bool InputCheckDue(DWORD* lastTick, bool* checked);

// Runs the program: single copy, settings path, class, monitor window,
// message loop. Returns the exit code.
int WindowEntry(HINSTANCE instance);
