#include "ui/monitor_dlg.h"

namespace {

// Window thread only.
DWORD LoopInputCheckTick; // when the loop last asked for waiting input
bool LoopInputChecked;

} // namespace

bool InputCheckDue(DWORD* lastTick, bool* checked) {
    const DWORD now = GetTickCount();
    if (*checked && now - *lastTick < kInputCheckMs)
        return false;
    *lastTick = now;
    *checked = true;
    return true;
}

// During a flood of records the queue always holds posted WM_IFSCALL
// messages, which GetMessageA returns before any keyboard or mouse input; so
// input that waits is taken first. Each such check is a server round trip
// under Wine, so the loop asks at most every kInputCheckMs; an empty queue
// makes GetMessageA return input anyway. The input filter may also return
// WM_QUIT. A system without the PM_QS_ filters (Windows 95) returns any
// message here, which is then served as GetMessageA would have served it.
bool TakeLoopMessage(MSG* msg) {
    const bool ask = InputCheckDue(&LoopInputCheckTick, &LoopInputChecked);
    if ((!ask || !PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) &&
        GetMessageA(msg, nullptr, 0, 0) <= 0)
        return false;
    return msg->message != WM_QUIT;
}
