// Burst rendering of the monitor window's list. While more records wait in
// the window's queue, the list's redrawing is off and each record only adds
// its row; when the queue holds no more records, or the list has not been
// repainted for kBurstRepaintMs, redrawing goes back on and the list repaints
// once. Every row goes through RenderCallRow as before. While keyboard or
// mouse input waits, arriving records are held back instead, so that loops
// other than the program's own reach that input.
#pragma once

#include <windows.h>

constexpr DWORD kBurstRepaintMs = 100;   // longest time without a repaint during a burst
constexpr UINT_PTR kBurstTimerId = 1;    // the monitor window's timer that ends a burst
constexpr UINT_PTR kHeldCallTimerId = 2; // its timer that renders held-back records

// WM_IFSCALL: renders the record, as part of a burst when more wait.
void RenderQueuedCall(HWND window, LPARAM record);

// Ends a running burst: redrawing on, the newest row in view, one repaint.
// Nothing happens when no burst runs.
void EndRowBurst(HWND window);

// kBurstTimerId: the queue holds no records, so the burst ends.
void EndRowBurstByTimer(HWND window);

// While a modal dialog of the window opens, every arriving record is held
// back: its loop shows the dialog only once the queue is empty. Once it is
// shown (ModalDlgShown, at the loop's first WM_ENTERIDLE), records are held
// back only while input waits, as for any other loop.
void SetModalDlgRunning(bool running);
void ModalDlgShown();

// kHeldCallTimerId: renders the records held back while input waited.
void RenderHeldCallsNow(HWND window);

// Forgets a burst of a window that is gone (its list with it).
void ForgetRowBurst();
