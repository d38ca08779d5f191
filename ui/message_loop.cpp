#include "ui/monitor_dlg.h"

// During a flood of records the queue always holds posted WM_IFSCALL
// messages, which GetMessageA returns before any keyboard or mouse input; so
// input that waits is taken first. The input filter may also return WM_QUIT.
// A system without the PM_QS_ filters (Windows 95) returns any message here,
// which is then served as GetMessageA would have served it.
bool TakeLoopMessage(MSG* msg) {
    if (!PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT) &&
        GetMessageA(msg, nullptr, 0, 0) <= 0)
        return false;
    return msg->message != WM_QUIT;
}
