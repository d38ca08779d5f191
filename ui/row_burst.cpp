#include "ui/row_burst.h"

#include <commctrl.h>

#include "driver/listener.h"
#include "ui/render_call_row.h"
#include "ui/monitor_dlg.h"

namespace {

// Window thread only.
bool BurstRunning;        // the list's redrawing is off
DWORD BurstLastPaintTick; // when the list's last full repaint began
// Records held back while input waits, in arrival order.
constexpr int kHeldCallMax = 1024;
LPARAM HeldCalls[kHeldCallMax];
int HeldCallCount;
bool ModalDlgOpening; // the options dialog runs its own loop and has not shown itself yet
DWORD InputCheckTick; // when the queue was last asked for waiting input
bool InputChecked;
bool InputSeen; // what it answered

// Asks the queue at most every kInputCheckMs (a server round trip each time
// under Wine) and answers as it last answered in between.
bool InputWaits() {
    if (InputCheckDue(&InputCheckTick, &InputChecked))
        InputSeen = (HIWORD(GetQueueStatus(QS_INPUT)) & QS_INPUT) != 0;
    return InputSeen;
}

// Renders the held records, oldest first.
void RenderHeldCalls(HWND window) {
    const int count = HeldCallCount;
    if (count == 0)
        return;
    HeldCallCount = 0;
    KillTimer(window, kHeldCallTimerId);
    for (int i = 0; i < count; ++i)
        RenderCallRow(window, HeldCalls[i]);
}

// One record has arrived: it leaves the listener's count.
void TakeQueuedCall() {
    // Records that never went through the count (another loop removed
    // their messages, or a timer reset it) would drive it below zero.
    if (InterlockedDecrement(&IfsCallsQueued) < 0)
        InterlockedIncrement(&IfsCallsQueued);
}

bool MoreCallsQueued() {
    return IfsCallsQueued > 0;
}

// A timer message comes only from a queue without posted messages: no
// record waits, whatever the count says (records removed by another loop
// leave it too high).
void ForgetQueuedCalls() {
    InterlockedExchange(&IfsCallsQueued, 0);
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
    InputChecked = false;
    InputSeen = false;
}

void RenderQueuedCall(HWND window, LPARAM record) {
    // The program's loop takes input before records within kInputCheckMs, so
    // input that waits here mostly means that another loop runs (the system
    // menu's, a dialog's) and takes posted messages first; a modal dialog
    // shows itself only once the queue is empty. Holding the records back
    // empties the queue; the next record or the timer (once the queue is
    // quiet) renders them, in bursts.
    TakeQueuedCall();
    if (HeldCallCount < kHeldCallMax && (ModalDlgOpening || InputWaits())) {
        HeldCalls[HeldCallCount++] = record;
        // Set anew with every record held: a modal loop shows its dialog only
        // once its queue is empty, and a due timer would fill it again.
        SetTimer(window, kHeldCallTimerId, USER_TIMER_MINIMUM, nullptr);
        return;
    }
    if (!BurstRunning && (HeldCallCount > 0 || MoreCallsQueued()))
        StartRowBurst(window);
    RenderHeldCalls(window);
    RenderCallRow(window, record);
    if (BurstRunning &&
        (!MoreCallsQueued() || GetTickCount() - BurstLastPaintTick >= kBurstRepaintMs))
        EndRowBurst(window);
}

void SetModalDlgRunning(bool running) {
    ModalDlgOpening = running;
}

void ModalDlgShown() {
    ModalDlgOpening = false;
}

void EndRowBurstByTimer(HWND window) {
    ForgetQueuedCalls();
    EndRowBurst(window);
}

void RenderHeldCallsNow(HWND window) {
    ForgetQueuedCalls();
    if (HeldCallCount > 1)
        StartRowBurst(window);
    RenderHeldCalls(window);
    EndRowBurst(window);
}
