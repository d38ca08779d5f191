// flood_bench [RECORDS [MAXVIEWLINEQTY]]: the whole event path at full speed.
// The stand-in driver delivers a mixed trace as fast as its 512 records come
// back (APC to the listener thread, WM_IFSCALL, the monitor window, hand-back),
// so that the window's queue always holds about 511 records.
//
// Two ways of taking the records: "row by row" is the old program (its loop
// on GetMessageA, every WM_IFSCALL straight to RenderCallRow, each row drawn
// at once); "burst" is the program as it is (its own loop, input first, and
// MonitorDlgProc's burst rendering). Each runs hidden and shown. Beside them,
// in the same run, the list's own limit: the same list messages with fixed
// texts while redrawing is off. Then, shown and with burst rendering: how
// long a typed Enter takes to act during the flood, and the longest time
// between two repaints of the list. Hidden, with burst rendering, RECORDS
// records measure CPU time per row and the working set.
//
// The reference is the bare contract (flood_contract.h), shown in a window
// of its own at the monitor's place: its blocks alternate with the shown
// burst blocks, and the ratio of the two is what the monitor's own work
// costs. `flood_bench requests N` instead runs N shown records of each
// between markers, for counting server requests (scripts/bench requests).
//
// Ends with one line:
//   flood: shown R rows/s, limit L rows/s, ratio X, enter median M ms,
//   enter worst W ms, repaint gap G ms, contract C rows/s, shown/contract Y
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/listener.h"
#include "event/call_row_texts.h"
#include "ui/render_call_row.h"
#include "flood_contract.h"
#include "mixed_trace.h"
#include "monitor_host.h"
#include "settings/monitor_settings.h"
#include "simdriver/sim_driver.h"
#include "ui/monitor_dlg.h"
#include "ui/row_burst.h"
#include "window_input.h"

namespace {

enum class Loop { RowByRow, Burst };

struct Sample {
    double wall;         // seconds
    double processCpu;   // seconds, all threads of the process
    double windowCpu;    // seconds, the window thread
    SIZE_T workingSet;   // bytes
    SIZE_T privateBytes; // committed private memory
    uint32_t released;
};

double Seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

Sample Take() {
    Sample s{};
    s.wall = Now();
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    s.processCpu = Seconds(kernel) + Seconds(user);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    s.windowCpu = Seconds(kernel) + Seconds(user);
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof mem;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem),
                         sizeof mem);
    s.workingSet = mem.WorkingSetSize;
    s.privateBytes = mem.PagefileUsage;
    s.released = SimGetCounters().released;
    return s;
}

// One turn of the loop. Row by row: GetMessageA, and WM_IFSCALL rendered
// directly, as the program did before burst rendering. Burst: the program's
// own TakeLoopMessage and MonitorDlgProc. A thread timer (main) keeps
// GetMessageA from waiting forever. These loops are what is measured, so
// they are not SimPumpUntil's.
bool Turn(Loop loop) {
    MSG msg;
    if (loop == Loop::Burst) {
        if (!TakeLoopMessage(&msg))
            return false;
    } else if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
        return false;
    }
    if (loop == Loop::RowByRow && msg.message == WM_IFSCALL && msg.hwnd == MonitorWnd) {
        InterlockedDecrement(&IfsCallsQueued); // received, as the window counts it
        RenderCallRow(msg.hwnd, msg.lParam);
        return true;
    }
    if (MonitorWnd != nullptr && IsDialogMessageA(MonitorWnd, &msg))
        return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

template <class Done> bool LoopUntil(Loop loop, Done done, double timeoutSec) {
    const double start = Now();
    while (!done()) {
        if (Now() - start > timeoutSec || !Turn(loop))
            return false;
    }
    return true;
}

uint32_t Released() {
    return SimGetCounters().released;
}

// WM_PAINT of the list, as it begins, during a watched stretch.
WNDPROC gListProc;
bool gWatchPaint;
double gLastPaint, gLongestPaintGap;
int gPaints;

std::vector<double> gPaintTimes;      // how long each watched WM_PAINT took
std::vector<double> gPaintGaps;       // time from one watched WM_PAINT to the next
double gLastPaintCpu, gLongestGapCpu; // the window thread's CPU time

double ThreadCpu() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

LRESULT CALLBACK WatchPaint(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_PAINT || !gWatchPaint)
        return CallWindowProcA(gListProc, list, msg, wParam, lParam);
    const double now = Now();
    const double cpu = ThreadCpu();
    if (gPaints > 0 && now - gLastPaint > gLongestPaintGap) {
        gLongestPaintGap = now - gLastPaint;
        gLongestGapCpu = cpu - gLastPaintCpu;
    }
    if (gPaints > 0)
        gPaintGaps.push_back(now - gLastPaint);
    gLastPaint = now;
    gLastPaintCpu = cpu;
    ++gPaints;
    const LRESULT result = CallWindowProcA(gListProc, list, msg, wParam, lParam);
    gPaintTimes.push_back(Now() - now);
    return result;
}

struct Rate {
    double rows = 0, seconds = 0;
    double PerSecond() const { return seconds > 0 ? rows / seconds : 0; }
    void Add(const Rate& r) {
        rows += r.rows;
        seconds += r.seconds;
    }
};

// Rows that the loop takes from the running flood during seconds. With
// watchPaint, also the longest time between two repaints of the list
// (measured from the start and to the end of the stretch as well).
Rate FloodRate(Loop loop, double seconds, bool watchPaint = false) {
    LoopUntil(
        loop, [from = Released()] { return Released() >= from + 300; }, 600);
    gWatchPaint = watchPaint;
    const uint32_t from = Released();
    const double start = Now();
    gLastPaint = start;
    gLastPaintCpu = ThreadCpu();
    gPaints = watchPaint ? 1 : 0;
    LoopUntil(
        loop, [&] { return Now() - start >= seconds; }, seconds + 60);
    Rate rate;
    rate.rows = Released() - from;
    rate.seconds = Now() - start;
    if (watchPaint)
        gLongestPaintGap = std::max(gLongestPaintGap, Now() - gLastPaint);
    gWatchPaint = false;
    if (loop == Loop::Burst)
        EndRowBurst(MonitorWnd); // the row-by-row loop never ends a burst
    return rate;
}

// The list's own limit: the bare list messages with fixed texts while the
// list's redrawing is off, and one repaint at the end; the flood stands still
// meanwhile (its records wait in the queue).
const char* gFixedTexts[kCallColumnCount];
Rate ListLimit(HWND window, double seconds) {
    HWND list = CallList(window);
    const double start = Now();
    Rate rate;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    while (Now() - start < seconds) {
        for (int i = 0; i < 20; ++i)
            BareListRow(window, gFixedTexts);
        rate.rows += 20;
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    rate.seconds = Now() - start;
    return rate;
}

// Milliseconds until a typed Enter turns monitoring off during the flood, or
// -1 when it did not within timeoutSec; monitoring is turned on again after.
double EnterWait(Loop loop, double timeoutSec) {
    LoopUntil(
        loop, [from = Released()] { return Released() >= from + 300; }, 600);
    const double start = Now();
    TypeKey(VK_RETURN);
    const bool acted = LoopUntil(
        loop, [] { return EnaMonitorFg == 0; }, timeoutSec);
    const double waited = (Now() - start) * 1e3;
    if (loop == Loop::Burst)
        EndRowBurst(MonitorWnd);
    if (EnaMonitorFg == 0)
        SendMessageA(MonitorWnd, WM_COMMAND, IDOK, 0);
    return acted ? waited : -1;
}

// A typed Esc in the options dialog, opened during the flood. The dialog runs
// the platform's own modal loop, not the program's. Seconds until the dialog
// closed (-1: not within 10 s), and when it did not, seconds from the end of
// the flood until it closed.
struct DialogWatch {
    DWORD windowThread;
    double closedAfter = -1, afterFloodStopped = -1;
    bool visible = false; // the dialog was shown when Esc was typed
};

DWORD WINAPI TypeEscInDialog(LPVOID param) {
    DialogWatch* watch = static_cast<DialogWatch*>(param);
    HWND dialog = WaitForThreadDialog(watch->windowThread, 10000);
    if (dialog == nullptr) { // not even created: end the flood and look again
        SimStopSource();
        dialog = WaitForThreadDialog(watch->windowThread, 120000);
        if (dialog != nullptr)
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    Sleep(300);
    watch->visible = IsWindowVisible(dialog) != FALSE;
    const double start = Now();
    TypeKey(VK_ESCAPE);
    while (IsWindow(dialog) && Now() - start < 10)
        Sleep(2);
    if (!IsWindow(dialog)) {
        watch->closedAfter = Now() - start;
        return 0;
    }
    const double stopped = Now();
    SimStopSource();
    while (IsWindow(dialog) && Now() - stopped < 30)
        Sleep(2);
    if (!IsWindow(dialog))
        watch->afterFloodStopped = Now() - stopped;
    else
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Show(HWND window, bool shown) {
    ShowWindow(window, shown ? SW_SHOWNORMAL : SW_HIDE);
    if (shown) {
        SetForegroundWindow(window);
        SetFocus(CallList(window));
        UpdateWindow(window);
    }
}

// The monitor window on top of the contract's, which lies at the same place.
void Raise(HWND window) {
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    SetFocus(CallList(window));
    UpdateWindow(window);
}

// flood_bench requests N: N shown records of the monitor, then N of the
// contract, each stretch between two markers for `wineserver -d1` output.
int CountRequests(HWND window, uint32_t records) {
    SimStartEvents(MixedRecords(), 0, true);
    Show(window, true);
    LoopUntil(
        Loop::Burst, [&] { return ListRows(window) >= MaxViewLineQty; }, 3600);
    LoopUntil(
        Loop::Burst, [from = Released()] { return Released() >= from + 300; }, 600);
    const uint32_t from = Released();
    AddMarker("talvek-monitor", "begin");
    LoopUntil(
        Loop::Burst, [&] { return Released() >= from + records; }, 3600);
    AddMarker("talvek-monitor", "end");
    std::printf("requests: monitor %u records\n", Released() - from);
    const double rows = ContractRound(0, records, "talvek-contract", nullptr);
    std::printf("requests: contract %.0f records\n", rows);
    ContractStop();
    SimStopSource();
    CloseMonitor(window);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool countRequests = argc > 1 && std::strcmp(argv[1], "requests") == 0;
    if (countRequests) {
        --argc;
        ++argv;
    }
    const uint32_t records = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 20000;
    const int qty = argc > 2 ? std::atoi(argv[2]) : 200;
    char ini[64];
    std::snprintf(ini, sizeof ini, "[Config]\r\nMaxViewLineQty=%d\r\n", qty);
    HWND window = OpenMonitor(ini);
    if (window == nullptr) {
        std::fprintf(stderr, "flood_bench: no monitor window\n");
        return 1;
    }
    // The fixed texts: a read with a double-byte path, of about the mean length.
    const std::vector<std::vector<uint8_t>> mixed = MixedRecords();
    static char scratch[kCallColumnCount][kRowScratchSize];
    CallRowTexts(reinterpret_cast<const IfsCallRec*>(mixed[1].data()), gFixedTexts, scratch);
    gListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(CallList(window), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchPaint)));
    SetTimer(nullptr, 0, 5, nullptr);
    if (!ContractStart(window, mixed)) {
        std::fprintf(stderr, "flood_bench: no window for the contract\n");
        return 1;
    }
    if (countRequests)
        return CountRequests(window, records);

    // Hidden, burst rendering: CPU per row and the working set.
    const double started = Now();
    SimStartEvents(mixed, 0, true);
    LoopUntil(
        Loop::Burst, [&] { return ListRows(window) >= qty; }, 3600);
    const Sample filled = Take();
    const size_t logAtFill = SimCallLog().size();
    LoopUntil(
        Loop::Burst, [&] { return Released() >= filled.released + records; }, 36000);
    const Sample end = Take();
    const size_t logAtEnd = SimCallLog().size();
    const double rows = end.released - filled.released;
    const double wall = end.wall - filled.wall;
    std::printf("MaxViewLineQty %d: list filled after %.1f s\n", qty, filled.wall - started);
    std::printf("hidden, burst: rows %.0f in %.1f s: %.0f rows/s\n", rows, wall, rows / wall);
    std::printf("CPU per row: process %.1f us, window thread %.1f us (wall %.1f us)\n",
                (end.processCpu - filled.processCpu) / rows * 1e6,
                (end.windowCpu - filled.windowCpu) / rows * 1e6, wall / rows * 1e6);
    const double logGrowth = double(logAtEnd - logAtFill) * sizeof(SimCall);
    std::printf("working set: filled %.0f KB, after %.0f rows %.0f KB (%+.1f%%); committed %.0f -> "
                "%.0f KB; without the stand-in's call log (%+.0f KB): working set %+.1f%%, "
                "committed %+.0f KB\n",
                filled.workingSet / 1024.0, rows, end.workingSet / 1024.0,
                100.0 * (double(end.workingSet) - double(filled.workingSet)) / filled.workingSet,
                filled.privateBytes / 1024.0, end.privateBytes / 1024.0, logGrowth / 1024.0,
                100.0 * (double(end.workingSet) - logGrowth - double(filled.workingSet)) /
                    filled.workingSet,
                (double(end.privateBytes) - logGrowth - double(filled.privateBytes)) / 1024.0);
    std::fflush(stdout);

    // Rows per second, in turns so that drift affects all alike. The shown
    // burst rendering and the list's limit alternate in short blocks.
    constexpr int kRounds = 3;
    Rate hiddenRow, hiddenBurst, shownRow, shownBurst, limit, contract;
    std::vector<double> blockRatios; // shown burst / contract, block by block
    double gap = 0, gapCpu = 0;
    for (int round = 0; round < kRounds; ++round) {
        Show(window, false);
        const Rate hr = FloodRate(Loop::RowByRow, 3);
        const Rate hb = FloodRate(Loop::Burst, 3);
        Show(window, true);
        const Rate sr = FloodRate(Loop::RowByRow, 4);
        Rate sb, li, ct;
        gPaints = 0;
        gLongestPaintGap = 0;
        for (int block = 0; block < 4; ++block) {
            li.Add(ListLimit(window, 0.5));
            // The contract and the monitor take turns, each first in every
            // other block.
            const bool contractFirst = (round + block) % 2 == 0;
            Rate co, mo;
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == contractFirst) {
                    co.rows = ContractRound(1, 0, nullptr, &co.seconds);
                } else {
                    Raise(window);
                    mo = FloodRate(Loop::Burst, 1, true);
                }
            }
            sb.Add(mo);
            ct.Add(co);
            blockRatios.push_back(co.PerSecond() > 0 ? mo.PerSecond() / co.PerSecond() : 0);
        }
        std::printf("round %d: hidden row by row %.1f, burst %.1f; shown row by row %.1f, burst "
                    "%.1f (longest repaint gap %.0f ms); limit %.1f rows/s; contract %.1f rows/s\n",
                    round + 1, hr.PerSecond(), hb.PerSecond(), sr.PerSecond(), sb.PerSecond(),
                    gLongestPaintGap * 1e3, li.PerSecond(), ct.PerSecond());
        std::fflush(stdout);
        hiddenRow.Add(hr);
        hiddenBurst.Add(hb);
        shownRow.Add(sr);
        shownBurst.Add(sb);
        limit.Add(li);
        contract.Add(ct);
        if (gLongestPaintGap > gap) {
            gap = gLongestPaintGap;
            gapCpu = gLongestGapCpu;
        }
    }
    std::sort(blockRatios.begin(), blockRatios.end());
    std::printf("shown burst / contract, block by block: min %.2f, median %.2f, max %.2f over %zu "
                "blocks\n",
                blockRatios.front(), blockRatios[blockRatios.size() / 2], blockRatios.back(),
                blockRatios.size());
    std::sort(gPaintTimes.begin(), gPaintTimes.end());
    if (!gPaintTimes.empty())
        std::printf("list repaints during shown bursts: %zu, each median %.1f ms, longest %.1f "
                    "ms\n",
                    gPaintTimes.size(), gPaintTimes[gPaintTimes.size() / 2] * 1e3,
                    gPaintTimes.back() * 1e3);
    std::sort(gPaintGaps.begin(), gPaintGaps.end());
    if (!gPaintGaps.empty())
        std::printf("time between repaints: median %.0f ms, 95th percentile %.0f ms, %zu of %zu "
                    "over 150 ms; the window thread ran %.0f ms of the longest gap (%.0f ms)\n",
                    gPaintGaps[gPaintGaps.size() / 2] * 1e3,
                    gPaintGaps[gPaintGaps.size() * 95 / 100] * 1e3,
                    static_cast<size_t>(std::count_if(gPaintGaps.begin(), gPaintGaps.end(),
                                                      [](double g) { return g > 0.150; })),
                    gPaintGaps.size(), gapCpu * 1e3, gap * 1e3);
    std::printf("rows/s: hidden row by row %.1f, hidden burst %.1f, shown row by row %.1f, shown "
                "burst %.1f; the list's limit (shown, redrawing off) %.1f\n",
                hiddenRow.PerSecond(), hiddenBurst.PerSecond(), shownRow.PerSecond(),
                shownBurst.PerSecond(), limit.PerSecond());

    // A typed Enter during the flood, shown, with the program's loop.
    std::vector<double> waits;
    int missed = 0;
    for (int i = 0; i < 15; ++i) {
        const double w = EnterWait(Loop::Burst, 10);
        if (w < 0)
            ++missed;
        else
            waits.push_back(w);
    }
    const double enterMedian = Median(waits);
    const double enterWorst = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
    std::printf("Enter typed during the flood, shown: %zu handled (median %.1f ms, worst %.1f "
                "ms), %d not within 10 s\n",
                waits.size(), enterMedian, enterWorst, missed);
    const uint32_t before = Released();
    const double oldWait = EnterWait(Loop::RowByRow, 10);
    std::printf("the same with the old loop (GetMessageA only): %s %.0f ms (%u rows drawn "
                "meanwhile)\n",
                oldWait < 0 ? "not handled within" : "handled after", oldWait < 0 ? 10000 : oldWait,
                Released() - before);

    // What the input check costs the loop with records queued (the flood
    // stands still meanwhile).
    MSG peeked;
    double t0 = Now();
    for (int i = 0; i < 5000; ++i)
        PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT);
    const double peekUs = (Now() - t0) / 5000 * 1e6;
    t0 = Now();
    for (int i = 0; i < 5000; ++i)
        GetQueueStatus(QS_INPUT);
    std::printf("input check with records queued: PeekMessageA(PM_QS_INPUT) %.1f us, "
                "GetQueueStatus %.1f us\n",
                peekUs, (Now() - t0) / 5000 * 1e6);
    LoopUntil(
        Loop::Burst, [] { return false; }, 1); // Enter acts late: settle
    if (EnaMonitorFg == 0)
        SendMessageA(window, WM_COMMAND, IDOK, 0);

    // The options dialog during the flood.
    DialogWatch watch;
    watch.windowThread = GetCurrentThreadId();
    HANDLE typist = CreateThread(nullptr, 0, TypeEscInDialog, &watch, 0, nullptr);
    SendMessageA(window, WM_SYSCOMMAND, kOptionsCmd, 0); // returns when the dialog is gone
    WaitForSingleObject(typist, INFINITE);
    CloseHandle(typist);
    const char* shown = watch.visible ? "shown" : "not shown yet";
    if (watch.closedAfter >= 0)
        std::printf("Esc typed in the options dialog during the flood (dialog %s): closed it "
                    "after %.1f ms\n",
                    shown, watch.closedAfter * 1e3);
    else
        std::printf("Esc typed in the options dialog during the flood (dialog %s): not handled "
                    "within 10 s; %s %.1f s after the flood stopped\n",
                    shown, watch.afterFloodStopped < 0 ? "still not" : "handled",
                    watch.afterFloodStopped);

    const SimCounters c = SimGetCounters();
    std::printf("stand-in: delivered %u released %u outstanding %u bad %u poolEmpty %u\n",
                c.delivered, c.released, c.outstanding, c.badReleases, c.poolEmpty);
    SimStopSource();
    CloseMonitor(window);
    ContractStop();
    std::printf("flood: shown %.0f rows/s, limit %.0f rows/s, ratio %.2f, enter median %.0f ms, "
                "enter worst %.0f ms, repaint gap %.0f ms, contract %.0f rows/s, shown/contract "
                "%.2f\n",
                shownBurst.PerSecond(), limit.PerSecond(),
                shownBurst.PerSecond() / limit.PerSecond(), enterMedian,
                missed > 0 ? 10000.0 : enterWorst, gap * 1e3, contract.PerSecond(),
                shownBurst.PerSecond() / contract.PerSecond());
    return 0;
}
