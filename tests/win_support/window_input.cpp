#include "window_input.h"

namespace {

BOOL CALLBACK FindDialog(HWND wnd, LPARAM found) {
    char cls[16] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = wnd;
    return FALSE;
}

} // namespace

void TypeKey(WORD key) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = key;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

// Runs on a thread other than the dialog's, which has no messages of its own
// to dispatch: a plain poll, not SimPumpUntil.
HWND WaitForThreadDialog(DWORD thread, DWORD timeoutMs) {
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    while (true) {
        EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog != nullptr || GetTickCount() - start >= timeoutMs)
            return dialog;
        Sleep(10);
    }
}
