#include "flood_contract.h"

#include <commctrl.h>

#include <cstring>

#include "driver/listener.h"
#include "event/call_row_texts.h"
#include "ui/render_call_row.h"
#include "monitor_host.h"
#include "res/resource_ids.h"
#include "ui/dlg_frame.h"

namespace {

constexpr int kSlots = 512;
constexpr size_t kSlotBytes = 1432;
constexpr DWORD kRepaintMs = 100;

struct Contract {
    // The monitor's place and columns, read on its own thread: the
    // contract's window thread cannot ask it while it waits.
    RECT place{};
    int columnWidths[kCallColumnCount];
    char columnTitles[kCallColumnCount][32];
    HWND window = nullptr;
    HANDLE gui = nullptr, listener = nullptr, producer = nullptr;
    HANDLE stop = nullptr;       // ends the listener
    HANDLE produce = nullptr;    // manual reset: the producer runs while set
    HANDLE roundStart = nullptr; // auto reset
    HANDLE roundDone = nullptr;  // auto reset
    HANDLE ready = nullptr;      // the window exists
    volatile bool producing = false;
    volatile bool quit = false;
    double roundSeconds = 0, roundRows = 0, roundElapsed = 0;
    uint32_t roundRowsWanted = 0;      // ends the round instead of its time
    const char* roundMarker = nullptr; // atoms added around the measured stretch

    std::vector<std::vector<uint8_t>> records;
    alignas(8) uint8_t slots[kSlots][kSlotBytes];
    volatile LONG slotOut[kSlots];
    volatile LONG released = 0;
    volatile LONG queued = 0; // posted and not yet received

    // Window thread only.
    bool burst = false;
    DWORD lastPaint = 0;
};

Contract* gC;

// Waits for the event while serving messages that other threads send to
// this thread's windows (activation changes do that), but leaves posted
// messages queued, so that the flood stands still.
void WaitServingSent(HANDLE event) {
    while (MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

VOID CALLBACK ContractApc(ULONG_PTR record) {
    InterlockedIncrement(&gC->queued);
    PostMessageA(gC->window, WM_IFSCALL, 0, static_cast<LPARAM>(record));
}

DWORD WINAPI ListenerRun(LPVOID) {
    while (WaitForSingleObjectEx(gC->stop, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    return 0;
}

// Queues each record as soon as its slot is free, records in turn; sleeps a
// millisecond (no server call under Wine) while all 512 are out.
DWORD WINAPI ProducerRun(LPVOID) {
    size_t next = 0;
    int slot = 0;
    while (!gC->quit) {
        if (!gC->producing) {
            WaitForSingleObject(gC->produce, INFINITE);
            continue;
        }
        bool queuedAny = false;
        for (int i = 0; i < kSlots && gC->producing; ++i, slot = (slot + 1) % kSlots) {
            if (gC->slotOut[slot])
                continue;
            const std::vector<uint8_t>& rec = gC->records[next];
            next = (next + 1) % gC->records.size();
            std::memset(gC->slots[slot], 0, kSlotBytes);
            std::memcpy(gC->slots[slot], rec.data(),
                        rec.size() < kSlotBytes ? rec.size() : kSlotBytes - 1);
            gC->slotOut[slot] = 1;
            QueueUserAPC(ContractApc, gC->listener, reinterpret_cast<ULONG_PTR>(gC->slots[slot]));
            queuedAny = true;
        }
        if (!queuedAny)
            Sleep(1);
    }
    return 0;
}

void HandBack(LPARAM record) {
    const ptrdiff_t slot = (reinterpret_cast<uint8_t*>(record) - &gC->slots[0][0]) /
                           static_cast<ptrdiff_t>(kSlotBytes);
    InterlockedExchange(&gC->slotOut[slot], 0);
    InterlockedIncrement(&gC->released);
}

void EndBurst(HWND window) {
    gC->burst = false;
    HWND list = GetDlgItem(window, kCallListId);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    if (count > 0)
        SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
    gC->lastPaint = GetTickCount();
    RedrawWindow(list, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The row as RenderCallRow adds it, inside the monitor's burst scheme.
void ContractRow(HWND window, LPARAM record) {
    InterlockedDecrement(&gC->queued);
    if (!gC->burst && gC->queued > 0) {
        SendDlgItemMessageA(window, kCallListId, WM_SETREDRAW, FALSE, 0);
        gC->burst = true;
        const DWORD now = GetTickCount();
        if (now - gC->lastPaint >= kRepaintMs)
            gC->lastPaint = now;
    }
    static char scratch[kCallColumnCount][kRowScratchSize];
    const char* texts[kCallColumnCount];
    CallRowTexts(reinterpret_cast<const IfsCallRec*>(record), texts, scratch);
    BareListRow(window, texts);
    HandBack(record);
    if (gC->burst && (gC->queued <= 0 || GetTickCount() - gC->lastPaint >= kRepaintMs))
        EndBurst(window);
}

INT_PTR CALLBACK ContractDlgProc(HWND window, UINT msg, WPARAM, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SendDlgItemMessageA(window, kCallListId, WM_SETFONT,
                            reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), FALSE);
        for (int i = 0; i < kCallColumnCount; ++i)
            ListInsertColumn(window, kCallListId, i, gC->columnWidths[i], gC->columnTitles[i]);
        SendDlgItemMessageA(window, kCallListId, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                            LVS_EX_FULLROWSELECT);
        const RECT& r = gC->place;
        SetWindowPos(window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOACTIVATE);
        return TRUE;
    }
    case WM_IFSCALL:
        ContractRow(window, lParam);
        return FALSE;
    }
    return FALSE;
}

void Raise(HWND window) {
    ShowWindow(window, SW_SHOWNORMAL);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    UpdateWindow(window);
}

// The contract's own loop for one round: GetMessageA, IsDialogMessageA and
// dispatch, as the program's loop without its input check.
void RunRound() {
    Raise(gC->window);
    gC->producing = true;
    SetEvent(gC->produce);
    const UINT_PTR tick = SetTimer(nullptr, 0, 5, nullptr);
    LONG from = gC->released;
    bool warm = false;
    double start = Now();
    for (;;) {
        if (!warm && gC->released - from >= 300) {
            warm = true;
            from = gC->released;
            start = Now();
            if (gC->roundMarker != nullptr)
                AddMarker(gC->roundMarker, "begin");
        }
        if (warm && (gC->roundRowsWanted > 0
                         ? static_cast<uint32_t>(gC->released - from) >= gC->roundRowsWanted
                         : Now() - start >= gC->roundSeconds))
            break;
        MSG msg;
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0)
            break;
        if (IsDialogMessageA(gC->window, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    gC->roundRows = gC->released - from;
    gC->roundElapsed = Now() - start;
    if (gC->roundMarker != nullptr)
        AddMarker(gC->roundMarker, "end");
    // The records out stay queued for the next round, as the monitor's do.
    gC->producing = false;
    ResetEvent(gC->produce);
    KillTimer(nullptr, tick);
    if (gC->burst)
        EndBurst(gC->window);
    // Out of the way between rounds: typed keys go to the monitor.
    ShowWindow(gC->window, SW_HIDE);
}

DWORD WINAPI GuiRun(LPVOID) {
    gC->window =
        CreateDialogParamA(AppInst, MAKEINTRESOURCEA(IDD_MONITOR), nullptr, ContractDlgProc, 0);
    SetEvent(gC->ready);
    if (gC->window == nullptr)
        return 1;
    for (;;) {
        WaitServingSent(gC->roundStart);
        if (gC->quit)
            break;
        RunRound();
        SetEvent(gC->roundDone);
    }
    DestroyWindow(gC->window);
    return 0;
}

} // namespace

void AddMarker(const char* name, const char* edge) {
    char text[64];
    wsprintfA(text, "%s-%s", name, edge);
    GlobalAddAtomA(text);
}

bool ContractStart(HWND monitor, const std::vector<std::vector<uint8_t>>& records) {
    gC = new Contract;
    GetWindowRect(monitor, &gC->place);
    for (int i = 0; i < kCallColumnCount; ++i) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT;
        col.pszText = gC->columnTitles[i];
        col.cchTextMax = sizeof gC->columnTitles[i];
        gC->columnTitles[i][0] = '\0';
        SendDlgItemMessageA(monitor, kCallListId, LVM_GETCOLUMNA, i,
                            reinterpret_cast<LPARAM>(&col));
        gC->columnWidths[i] = ListColumnWidth(monitor, kCallListId, i);
    }
    gC->records = records;
    gC->stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gC->produce = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gC->roundStart = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gC->roundDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gC->ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gC->listener = CreateThread(nullptr, 0, ListenerRun, nullptr, 0, nullptr);
    gC->producer = CreateThread(nullptr, 0, ProducerRun, nullptr, 0, nullptr);
    gC->gui = CreateThread(nullptr, 0, GuiRun, nullptr, 0, nullptr);
    WaitServingSent(gC->ready);
    return gC->window != nullptr;
}

double ContractRound(double seconds, uint32_t rows, const char* marker, double* elapsed) {
    gC->roundSeconds = seconds;
    gC->roundRowsWanted = rows;
    gC->roundMarker = marker;
    SetEvent(gC->roundStart);
    WaitServingSent(gC->roundDone);
    if (elapsed != nullptr)
        *elapsed = gC->roundElapsed;
    return gC->roundRows;
}

uint32_t ContractReleased() {
    return static_cast<uint32_t>(gC->released);
}

void ContractStop() {
    gC->quit = true;
    SetEvent(gC->produce);
    SetEvent(gC->roundStart);
    WaitServingSent(gC->gui);
    WaitForSingleObject(gC->producer, 5000);
    SetEvent(gC->stop);
    WaitForSingleObject(gC->listener, 5000);
}
