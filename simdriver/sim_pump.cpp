// The one loop that waits for a condition while the calling thread's
// messages are dispatched: the stand-in's SimWaitIdle, the Windows test
// suites and the benchmarks pump their windows with it.
#include "simdriver/sim_driver.h"

namespace {

// Hands up to batch queued messages (all of them when batch is 0) to handle;
// false as soon as handle ends the pump.
bool TakeQueued(SimMessageFn handle, int batch) {
    MSG msg;
    for (int n = 0; batch == 0 || n < batch; ++n) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            return true;
        if (handle == nullptr)
            SimDispatch(msg);
        else if (!handle(msg))
            return false;
    }
    return true;
}

} // namespace

void SimDispatch(MSG& msg, HWND dialog) {
    if (dialog != nullptr && IsDialogMessageA(dialog, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

bool SimPumpUntil(const std::function<bool()>& done, DWORD timeoutMs, SimMessageFn handle,
                  int batch, DWORD pollMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (!TakeQueued(handle, batch))
            return done();
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_ALLINPUT);
    }
}
