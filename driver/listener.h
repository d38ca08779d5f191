// The listener thread that receives the driver's call-backs and forwards each
// record to the monitor window, and the settings push.
#pragma once

#include <windows.h>

constexpr UINT WM_IFSCALL = WM_USER + 0x100; // lParam: address of one IfsCallRec

extern HWND MonitorWnd;       // the monitor window; null when there is none
extern HANDLE StopEvent;      // auto-reset; signalled when the window closes
extern HANDLE ListenerHandle; // the listener thread, kept so that closing can wait for it

// WM_IFSCALL messages posted and not yet received by the monitor window: the
// listener adds one before each post, the window takes one off as each
// arrives. The window thus knows whether more records wait without asking
// its queue (a server round trip under Wine). A hint only: it decides when
// the list repaints, never whether a record is shown.
extern volatile LONG IfsCallsQueued;

DWORD WINAPI ListenerThread(LPVOID param);
VOID CALLBACK OnIfsCall(ULONG_PTR record);

// Creates the stop event and starts ListenerThread (4096-byte stack).
void ListenerStart(HWND window);

// Signals the stop event, waits a bounded time for the listener to end, then
// closes the event and the thread handle.
void ListenerStop();

// Sends ResultMonFg, EnaMonitorFg and the 30 function enables to the driver.
void PushSettings();
