// flood_bench [RECORDS [MAXVIEWLINEQTY]]: the whole event path at full speed.
// The stand-in driver delivers a mixed trace as fast as its 512 records come
// back (APC to the listener thread, WM_IFSCALL, RenderCallRow in the real
// monitor window, hand-back). Reports, from the moment the list first holds
// MaxViewLineQty rows until RECORDS more records came back: rows per second,
// CPU time per row, and the working set at both moments. Then, with the
// window shown and the flood still running, how long an Enter key press
// waits: posted to the list like a queued message, and sent as keyboard
// input.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "driver/listener.h"
#include "mixed_trace.h"
#include "monitor_host.h"
#include "settings/monitor_settings.h"
#include "simdriver/sim_driver.h"

namespace {

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

// Bytes that the stand-in's call log fills with n entries. Its vector
// doubles its capacity as it grows, but pages of the capacity that no entry
// reached are never touched, so only the entries count towards the working
// set and the committed memory.
double LogBytes(size_t n) {
    return static_cast<double>(n * sizeof(SimCall));
}

// Runs the loop until done() holds, checking it every few messages; false
// after timeoutSec.
template <class Done> bool PumpUntil(Done done, double timeoutSec) {
    const double start = Now();
    for (int n = 0;; ++n) {
        if ((n & 15) == 0 && done())
            return true;
        if (Now() - start > timeoutSec)
            return false;
        if (!PumpOne(false))
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

// Seconds until EnaMonitorFg flips after press(), or -1 after timeoutSec.
template <class Press> double KeyWait(Press press, double timeoutSec) {
    const int8_t before = EnaMonitorFg;
    const double start = Now();
    press();
    if (!PumpUntil([&] { return EnaMonitorFg != before; }, timeoutSec))
        return -1;
    return Now() - start;
}

void SendEnter() {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = VK_RETURN;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

// Monitoring back on and the flood running again, its queue refilled.
void Resume(HWND window) {
    if (EnaMonitorFg == 0)
        SendMessageA(window, WM_COMMAND, IDOK, 0);
    const uint32_t from = SimGetCounters().released;
    PumpUntil([&] { return SimGetCounters().released > from + 2000; }, 60);
}

void ReportPosted(HWND window, const char* how) {
    const uint32_t queued = SimGetCounters().outstanding;
    const double posted =
        KeyWait([&] { PostMessageA(CallList(window), WM_KEYDOWN, VK_RETURN, 0x001C0001); }, 300);
    if (posted < 0)
        std::printf("Enter posted during the flood, %s: not handled in 300 s\n", how);
    else
        std::printf("Enter posted during the flood, %s (%u records queued): handled after %.1f "
                    "ms\n",
                    how, queued, posted * 1e3);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t records = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 100000;
    const int qty = argc > 2 ? std::atoi(argv[2]) : 200;
    char ini[64];
    std::snprintf(ini, sizeof ini, "[Config]\r\nMaxViewLineQty=%d\r\n", qty);
    HWND window = OpenMonitor(ini);
    if (window == nullptr) {
        std::fprintf(stderr, "flood_bench: no monitor window\n");
        return 1;
    }
    const double started = Now();
    SimStartEvents(MixedRecords(), 0, true);

    PumpUntil([&] { return ListRows(window) >= qty; }, 3600);
    const Sample filled = Take();
    const size_t logAtFill = SimCallLog().size();
    PumpUntil([&] { return SimGetCounters().released >= filled.released + records; }, 36000);
    const Sample end = Take();
    const size_t logAtEnd = SimCallLog().size();

    const double rows = end.released - filled.released;
    const double wall = end.wall - filled.wall;
    std::printf("MaxViewLineQty %d: list filled after %.1f s\n", qty, filled.wall - started);
    std::printf("rows %.0f in %.1f s: %.0f rows/s\n", rows, wall, rows / wall);
    std::printf("CPU per row: process %.1f us, window thread %.1f us (wall %.1f us)\n",
                (end.processCpu - filled.processCpu) / rows * 1e6,
                (end.windowCpu - filled.windowCpu) / rows * 1e6, wall / rows * 1e6);
    const double logGrowth = LogBytes(logAtEnd) - LogBytes(logAtFill);
    std::printf("working set: filled %.0f KB, after %.0f rows %.0f KB (%+.1f%%); committed %.0f -> "
                "%.0f KB\n",
                filled.workingSet / 1024.0, rows, end.workingSet / 1024.0,
                100.0 * (double(end.workingSet) - double(filled.workingSet)) / filled.workingSet,
                filled.privateBytes / 1024.0, end.privateBytes / 1024.0);
    std::printf("  of which the stand-in's call log: %u -> %u entries, %+.0f KB; without it: "
                "working set %+.1f%%, committed %+.0f KB\n",
                static_cast<unsigned>(logAtFill), static_cast<unsigned>(logAtEnd),
                logGrowth / 1024.0,
                100.0 * (double(end.workingSet) - logGrowth - double(filled.workingSet)) /
                    filled.workingSet,
                (double(end.privateBytes) - logGrowth - double(filled.privateBytes)) / 1024.0);
    const SimCounters c = SimGetCounters();
    std::printf("stand-in: delivered %u released %u outstanding %u bad %u poolEmpty %u\n",
                c.delivered, c.released, c.outstanding, c.badReleases, c.poolEmpty);

    // Key presses during the flood. A posted Enter waits behind the queued
    // records; typed input comes after all posted messages.
    SetFocus(CallList(window));
    Resume(window);
    ReportPosted(window, "hidden");
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(CallList(window));
    Resume(window);
    ReportPosted(window, "shown");

    // Typed input: first with no flood, to show that it reaches the window.
    SimStopSource();
    PumpUntil([] { return SimGetCounters().outstanding == 0; }, 600);
    const double idle = KeyWait(SendEnter, 10);
    std::printf("Enter typed, no flood: %s %.1f ms\n",
                idle < 0 ? "not handled in" : "handled after", idle < 0 ? 10e3 : idle * 1e3);
    if (idle >= 0) {
        SendMessageA(window, WM_COMMAND, IDOK, 0); // monitoring back on
        SimStartEvents(MixedRecords(), 0, true);
        Resume(window);
        const double typed = KeyWait(SendEnter, 20);
        if (typed >= 0) {
            std::printf("Enter typed during the flood: handled after %.1f ms\n", typed * 1e3);
        } else {
            const double start = Now();
            const uint32_t queued = SimGetCounters().outstanding;
            SimStopSource();
            const int8_t before = EnaMonitorFg;
            const bool late = PumpUntil([&] { return EnaMonitorFg != before; }, 300);
            std::printf("Enter typed during the flood: not handled while it lasted (20 s); %s "
                        "%.1f s after the flood ended (%u records were queued)\n",
                        late ? "handled" : "still not handled", Now() - start, queued);
        }
    }
    SimStopSource();
    CloseMonitor(window);
    return 0;
}
