// The shown monitor window under a flood, pumped by the program's own loop:
// a burst leaves the list exactly as rows drawn one by one leave it, with
// redrawing back on, and typed keys act while records keep coming.
#include "monitor_fixture.h"

#include <commctrl.h>

#include <thread>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "ui/render_call_row.h"
#include "settings/monitor_settings.h"
#include "simdriver/sim_driver.h"
#include "ui/monitor_dlg.h"
#include "ui/row_burst.h"
#include "import_patch.h"
#include "window_input.h"

namespace {

using BurstTest = MonitorTest;

// Runs the program's loop (input first) until done(); false after timeoutMs.
// Not SimPumpUntil: what these tests check is the order in which the
// program's own TakeLoopMessage takes messages. A thread timer keeps the
// loop from waiting forever on an empty queue.
bool LoopUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const UINT_PTR tick = SetTimer(nullptr, 0, 10, nullptr);
    const DWORD start = GetTickCount();
    bool met = false;
    for (;;) {
        if ((met = done()) || GetTickCount() - start >= timeoutMs)
            break;
        MSG msg;
        if (!TakeLoopMessage(&msg)) {
            QuitSeen = msg.message == WM_QUIT;
            met = done();
            break;
        }
        if (MonitorWnd != nullptr && IsDialogMessageA(MonitorWnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    KillTimer(nullptr, tick);
    return met;
}

// WM_SETREDRAW as the list receives it.
WNDPROC gListProc;
int gRedrawOffs;
bool gRedrawOn;

LRESULT CALLBACK WatchRedraw(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETREDRAW) {
        gRedrawOn = wParam != FALSE;
        gRedrawOffs += gRedrawOn ? 0 : 1;
    }
    return CallWindowProcA(gListProc, list, msg, wParam, lParam);
}

void WatchList(HWND window) {
    gRedrawOffs = 0;
    gRedrawOn = true;
    gListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        GetDlgItem(window, kCallListId), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchRedraw)));
}

// What a user sees of the list: every row's texts, where it is scrolled to,
// its scroll bar, and whether the newest row is entirely in view.
struct ListView {
    std::vector<std::vector<std::string>> rows;
    int top;
    int scrollMin, scrollMax, scrollPage, scrollPos;
    bool newestInView;
};

ListView ReadList(HWND window) {
    HWND list = GetDlgItem(window, kCallListId);
    ListView v{};
    const int count = ListRows(window);
    for (int row = 0; row < count; ++row) {
        v.rows.emplace_back();
        for (int column = 0; column < 6; ++column)
            v.rows.back().push_back(CellText(window, row, column));
    }
    v.top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(list, SB_VERT, &si);
    v.scrollMin = si.nMin;
    v.scrollMax = si.nMax;
    v.scrollPage = static_cast<int>(si.nPage);
    v.scrollPos = si.nPos;
    const int perPage = static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0));
    v.newestInView = count > 0 && v.top <= count - 1 && count - 1 < v.top + perPage;
    return v;
}

void ShowMonitor(HWND window) {
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(GetDlgItem(window, kCallListId));
    UpdateWindow(window);
}

TEST_F(BurstTest, AFloodLeavesTheListAsRowsDrawnOneByOne) {
    struct Case {
        const char* name;
        int records; // against the default row limit of 200
    } cases[] = {{"list still growing", 150}, {"list full, oldest rows pushed out", 400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimReset();
        ASSERT_NE(Open(""), nullptr);
        ShowMonitor(window_);
        WatchList(window_);
        const std::vector<std::vector<uint8_t>> records = SeqRecords(0, c.records);

        // The flood: the listener queues records while the window is busy.
        SimStartEvents(records, 0, false);
        Sleep(200);
        ASSERT_TRUE(LoopUntil([] { return SimIsIdle(); }, 120000));
        LoopUntil([] { return false; }, 50);
        EXPECT_GT(gRedrawOffs, 0) << "no burst: every row was drawn alone";
        EXPECT_TRUE(gRedrawOn) << "the list's redrawing was left off";
        const ListView flooded = ReadList(window_);

        // The same records again, each drawn alone before the next comes.
        SendMessageA(window_, WM_SYSCOMMAND, kClearListCmd, 0);
        const int offsBefore = gRedrawOffs;
        for (int i = 0; i < c.records; ++i) {
            ASSERT_EQ(SimInject(records[i].data(), records[i].size()), SimInjectResult::Delivered);
            const uint32_t want = static_cast<uint32_t>(c.records + i + 1);
            ASSERT_TRUE(LoopUntil([&] { return SimGetCounters().released == want; }, 10000));
        }
        LoopUntil([] { return false; }, 50);
        EXPECT_EQ(gRedrawOffs, offsBefore) << "a record that came alone was not drawn at once";
        const ListView single = ReadList(window_);

        EXPECT_EQ(flooded.rows, single.rows);
        EXPECT_EQ(flooded.rows.size(), static_cast<size_t>(c.records < 200 ? c.records : 200));
        EXPECT_EQ(flooded.top, single.top);
        EXPECT_EQ(flooded.scrollMin, single.scrollMin);
        EXPECT_EQ(flooded.scrollMax, single.scrollMax);
        EXPECT_EQ(flooded.scrollPage, single.scrollPage);
        EXPECT_EQ(flooded.scrollPos, single.scrollPos);
        EXPECT_TRUE(flooded.newestInView);
        EXPECT_TRUE(single.newestInView);
        ASSERT_TRUE(Close());
        window_ = nullptr;
    }
}

// The queue calls the window thread makes besides taking each message: timers
// are set and killed per burst, not per record, and input is looked for at
// most every kInputCheckMs.
std::atomic<int> gPeeks, gStatusAsks, gTimerSets, gTimerKills;
DWORD gCountThread;
decltype(&PeekMessageA) gRealPeek;
decltype(&GetQueueStatus) gRealStatus;
decltype(&SetTimer) gRealSetTimer;
decltype(&KillTimer) gRealKillTimer;

void CountOn(std::atomic<int>& n) {
    if (GetCurrentThreadId() == gCountThread)
        ++n;
}
BOOL WINAPI CountPeek(LPMSG m, HWND w, UINT a, UINT b, UINT f) {
    CountOn(gPeeks);
    return gRealPeek(m, w, a, b, f);
}
DWORD WINAPI CountStatus(UINT flags) {
    CountOn(gStatusAsks);
    return gRealStatus(flags);
}
UINT_PTR WINAPI CountSetTimer(HWND w, UINT_PTR id, UINT ms, TIMERPROC proc) {
    CountOn(gTimerSets);
    return gRealSetTimer(w, id, ms, proc);
}
BOOL WINAPI CountKillTimer(HWND w, UINT_PTR id) {
    CountOn(gTimerKills);
    return gRealKillTimer(w, id);
}

TEST_F(BurstTest, AFloodCostsNoTimerOrQueueQueryPerRecord) {
    ASSERT_NE(Open(""), nullptr);
    ShowMonitor(window_);
    WatchList(window_);
    const struct {
        const char* dll;
        const char* name;
        void* hook;
        void** real;
    } patches[] = {
        {"user32.dll", "PeekMessageA", (void*)CountPeek, (void**)&gRealPeek},
        {"user32.dll", "GetQueueStatus", (void*)CountStatus, (void**)&gRealStatus},
        {"user32.dll", "SetTimer", (void*)CountSetTimer, (void**)&gRealSetTimer},
        {"user32.dll", "KillTimer", (void*)CountKillTimer, (void**)&gRealKillTimer},
    };
    for (const auto& p : patches)
        ASSERT_NE(*p.real = PatchImport(p.dll, p.name, p.hook), nullptr) << p.name;
    gCountThread = GetCurrentThreadId();
    constexpr int kCount = 3000;
    SimStartEvents(SeqRecords(0, kCount), 0, false);
    const DWORD start = GetTickCount();
    const bool drained = LoopUntil([] { return SimIsIdle(); }, 300000);
    const DWORD elapsed = GetTickCount() - start;
    gCountThread = 0;
    for (const auto& p : patches)
        PatchImport(p.dll, p.name, *p.real);
    ASSERT_TRUE(drained);
    EXPECT_EQ(SimGetCounters().released, static_cast<uint32_t>(kCount));
    const int checks = static_cast<int>(elapsed / kInputCheckMs) + 2;
    EXPECT_LE(gPeeks, checks) << "input looked for more often than every " << kInputCheckMs
                              << " ms, over " << elapsed << " ms";
    EXPECT_LE(gStatusAsks, checks);
    // One burst timer per burst, and LoopUntil's own tick.
    EXPECT_LE(gTimerSets, gRedrawOffs + 1) << gRedrawOffs << " bursts";
    EXPECT_LE(gTimerKills, gRedrawOffs + 1) << gRedrawOffs << " bursts";
    EXPECT_GT(gRedrawOffs, 0);
}

// Records that another loop takes from the queue never reach the window; the
// burst they started still ends and the list draws again.
TEST_F(BurstTest, ABurstWhoseQueuedRecordsVanishStillEnds) {
    ASSERT_NE(Open(""), nullptr);
    ShowMonitor(window_);
    WatchList(window_);
    SimStartEvents(SeqRecords(0, 500), 0, true);
    Sleep(200); // the queue fills
    ASSERT_TRUE(LoopUntil([] { return SimGetCounters().released >= 50; }, 60000));
    ASSERT_FALSE(gRedrawOn) << "no burst running";
    SimStopSource();
    Sleep(100);
    MSG msg;
    while (PeekMessageA(&msg, window_, WM_IFSCALL, WM_IFSCALL, PM_REMOVE))
        DriverCall(CTL_RELEASE_REC, static_cast<DWORD>(msg.lParam));
    LoopUntil([] { return false; }, 400);
    EXPECT_TRUE(gRedrawOn) << "the list's redrawing was left off";
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.released, c.delivered);
    EXPECT_EQ(c.badReleases, 0u);
}

TEST_F(BurstTest, TypedEnterAndEscActWhileRecordsKeepComing) {
    ASSERT_NE(Open(""), nullptr);
    ShowMonitor(window_);
    SimStartEvents(SeqRecords(0, 500), 0, true); // endless
    ASSERT_TRUE(LoopUntil([] { return SimGetCounters().released >= 1000; }, 120000));

    // Enter turns monitoring off while the queue is full of records; those
    // still come in and are drawn afterwards.
    TypeKey(VK_RETURN);
    ASSERT_TRUE(LoopUntil([] { return EnaMonitorFg == 0; }, 10000)) << "Enter was not handled";
    const SimCounters atEnter = SimGetCounters();
    EXPECT_GT(atEnter.outstanding, 100u) << "the flood was not running when Enter acted";
    ASSERT_TRUE(LoopUntil([] { return SimGetCounters().outstanding == 0; }, 60000));
    const SimCounters drained = SimGetCounters();
    EXPECT_EQ(drained.released - atEnter.released, atEnter.outstanding);
    EXPECT_EQ(drained.released, drained.delivered);
    EXPECT_EQ(drained.badReleases, 0u);
    RecordProperty("records_after_enter", static_cast<int>(atEnter.outstanding));

    // Enter again: the flood comes back.
    TypeKey(VK_RETURN);
    ASSERT_TRUE(LoopUntil([] { return EnaMonitorFg == 1; }, 10000));
    ASSERT_TRUE(
        LoopUntil([&] { return SimGetCounters().released >= drained.released + 1000; }, 120000));

    // Esc closes the window in the middle of the flood.
    TypeKey(VK_ESCAPE);
    ASSERT_TRUE(LoopUntil([] { return QuitSeen; }, 10000)) << "Esc was not handled";
    EXPECT_FALSE(IsWindow(window_));
    const SimCounters atEsc = SimGetCounters();
    // The records still queued or on their way went with the window.
    EXPECT_GT(atEsc.lostAtClose, 100u) << "the flood was not running when Esc acted";
    EXPECT_EQ(atEsc.delivered, atEsc.released + atEsc.lostAtClose);
    EXPECT_EQ(atEsc.badReleases, 0u);
    RecordProperty("records_after_esc", static_cast<int>(atEsc.lostAtClose));
    window_ = nullptr;
}

// The options dialog runs the platform's modal loop, which takes posted
// records before input: a typed Esc must still close it during the flood.
TEST_F(BurstTest, TypedEscClosesTheOptionsDialogWhileRecordsKeepComing) {
    ASSERT_NE(Open(""), nullptr);
    ShowMonitor(window_);
    SimStartEvents(SeqRecords(0, 500), 0, true); // endless
    ASSERT_TRUE(LoopUntil([] { return SimGetCounters().released >= 1000; }, 120000));

    bool closed = false, shown = false;
    uint32_t releasedWhileOpen = 0;
    std::thread typist([&, thread = GetCurrentThreadId()] {
        HWND dialog = WaitForThreadDialog(thread, 5000);
        // The flood goes on while the dialog is open, at whatever pace this
        // machine has: wait for it rather than for a fixed time.
        const uint32_t opened = SimGetCounters().released;
        for (int i = 0; i < 1000 && SimGetCounters().released - opened <= 100; ++i)
            Sleep(10);
        releasedWhileOpen = SimGetCounters().released - opened;
        shown = IsWindowVisible(dialog) != FALSE;
        TypeKey(VK_ESCAPE);
        for (int i = 0; i < 500 && IsWindow(dialog); ++i)
            Sleep(10);
        closed = dialog != nullptr && !IsWindow(dialog);
        if (!closed) { // let the test go on
            SimStopSource();
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    SendMessageA(window_, WM_SYSCOMMAND, kOptionsCmd, 0); // the dialog's own loop
    typist.join();
    EXPECT_TRUE(shown) << "the dialog did not show itself during the flood";
    EXPECT_TRUE(closed) << "Esc was not handled within 5 s";
    EXPECT_GT(releasedWhileOpen, 100u) << "no flood while the dialog was open";

    // Records held back meanwhile all come back once the flood ends.
    SimStopSource();
    ASSERT_TRUE(LoopUntil([] { return SimIsIdle(); }, 60000));
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.released, c.delivered);
    EXPECT_EQ(c.badReleases, 0u);
}

} // namespace
