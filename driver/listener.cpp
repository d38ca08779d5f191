#include "driver/listener.h"

#include "driver/driver_link.h"

HWND MonitorWnd = nullptr;
HANDLE StopEvent = nullptr;
HANDLE ListenerHandle = nullptr;
volatile LONG IfsCallsQueued = 0;

constexpr DWORD kListenerStackSize = 4096;
constexpr DWORD kListenerStopWaitMs = 5000;

DWORD WINAPI ListenerThread(LPVOID) {
    if (!DriverCall(CTL_SET_CALLBACK, (DWORD)(ULONG_PTR)OnIfsCall))
        return 1;
    // Each WAIT_IO_COMPLETION means that one or more call-backs ran.
    while (WaitForSingleObjectEx(StopEvent, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    DriverCall(CTL_SET_CALLBACK, 0);
    return 0;
}

VOID CALLBACK OnIfsCall(ULONG_PTR record) {
    // A record that does not reach the window would never be handed back:
    // without a window, or when the post fails (its queue is full), the
    // driver gets it back at once.
    HWND window = MonitorWnd;
    if (window != nullptr) {
        // Counted before the post, so that the window never receives a
        // record the count does not hold yet.
        InterlockedIncrement(&IfsCallsQueued);
        if (PostMessageA(window, WM_IFSCALL, 0, (LPARAM)record))
            return;
        InterlockedDecrement(&IfsCallsQueued);
    }
    DriverCall(CTL_RELEASE_REC, (DWORD)record);
}

void ListenerStart(HWND window) {
    StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    InterlockedExchange(&IfsCallsQueued, 0); // a former window's queue went with it
    ListenerHandle = CreateThread(nullptr, kListenerStackSize, ListenerThread, window, 0, nullptr);
}

void ListenerStop() {
    if (StopEvent != nullptr)
        SetEvent(StopEvent);
    BOOL ended = TRUE;
    if (ListenerHandle != nullptr) {
        // The listener still waits on the event and unregisters through the
        // device: both stay open until it has ended.
        ended = WaitForSingleObject(ListenerHandle, kListenerStopWaitMs) == WAIT_OBJECT_0;
        CloseHandle(ListenerHandle);
        ListenerHandle = nullptr;
    }
    // A listener that did not end in time may still wait on the event: the
    // handle is then left open rather than closed under it.
    if (StopEvent != nullptr && ended)
        CloseHandle(StopEvent);
    StopEvent = nullptr;
}
