#include "ui/row_burst.h"

#include <commctrl.h>

#include "driver/listener.h"
#include "event/render_call_row.h"

namespace {

// Window thread only.
bool BurstRunning;        // the list's redrawing is off
DWORD BurstLastPaintTick; // when the list's last full repaint began
// Records held back while input waits, in arrival order.
constexpr int kHeldCallMax = 1024;
LPARAM HeldCalls[kHeldCallMax];
int HeldCallCount;
bool ModalDlgRunning; // the options dialog runs its own loop

bool InputWaits() {
    return (HIWORD(GetQueueStatus(QS_INPUT)) & QS_INPUT) != 0;
}

// Renders the held records, oldest first.
void RenderHeldCalls(HWND window) {
    const int count = HeldCallCount;
    HeldCallCount = 0;
    KillTimer(window, kHeldCallTimerId);
    for (int i = 0; i < count; ++i)
        RenderCallRow(window, HeldCalls[i]);
}

bool MoreCallsQueued(HWND window) {
    MSG msg;
    return PeekMessageA(&msg, window, WM_IFSCALL, WM_IFSCALL, PM_NOREMOVE | PM_NOYIELD) != FALSE;
}

void StartRowBurst(HWND window) {
    if (BurstRunning)
        return;
    SendDlgItemMessageA(window, kCallListId, WM_SETREDRAW, FALSE, 0);
    // Should the queued records vanish unseen, the timer still ends the burst.
    SetTimer(window, kBurstTimerId, kBurstRepaintMs, nullptr);
    BurstRunning = true;
    // A burst that follows the last one's repaint closely counts from that
    // repaint; otherwise the list was drawing its rows until now.
    const DWORD now = GetTickCount();
    if (now - BurstLastPaintTick >= kBurstRepaintMs)
        BurstLastPaintTick = now;
}

} // namespace

void EndRowBurst(HWND window) {
    if (!BurstRunning)
        return;
    BurstRunning = false;
    KillTimer(window, kBurstTimerId);
    HWND list = GetDlgItem(window, kCallListId);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    // The list's scroll range was not kept up while redrawing was off, so the
    // scrolls of the burst's rows may have stopped short of the newest row.
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    if (count > 0)
        SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
    // Counted from the start of the repaint, so that a slow repaint does not
    // stretch the time between two of them.
    BurstLastPaintTick = GetTickCount();
    RedrawWindow(list, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void ForgetRowBurst() {
    BurstRunning = false;
    HeldCallCount = 0; // they went with the window's queue
}

void RenderQueuedCall(HWND window, LPARAM record) {
    // The program's loop takes input before records, so input that waits
    // here means another loop runs (the system menu's, a dialog's) and takes
    // posted messages first; a modal dialog shows itself only once the queue
    // is empty. Holding the records back empties the queue; the timer
    // renders them once the queue is quiet, in bursts.
    if (HeldCallCount < kHeldCallMax && (ModalDlgRunning || InputWaits())) {
        HeldCalls[HeldCallCount++] = record;
        SetTimer(window, kHeldCallTimerId, USER_TIMER_MINIMUM, nullptr);
        return;
    }
    if (!BurstRunning && (HeldCallCount > 0 || MoreCallsQueued(window)))
        StartRowBurst(window);
    RenderHeldCalls(window);
    RenderCallRow(window, record);
    if (BurstRunning &&
        (!MoreCallsQueued(window) || GetTickCount() - BurstLastPaintTick >= kBurstRepaintMs))
        EndRowBurst(window);
}

void SetModalDlgRunning(bool running) {
    ModalDlgRunning = running;
}

void RenderHeldCallsNow(HWND window) {
    if (HeldCallCount > 1)
        StartRowBurst(window);
    RenderHeldCalls(window);
    EndRowBurst(window);
}
