// The stand-in hook driver: links DevCreateFileA, DevIoControl and
// DevCloseHandle in place of the kernel32 device calls and behaves like the
// real driver seen from user mode. It filters and delivers call records as
// user-mode APCs to the registered thread, keeps them in a fixed pool until
// they are handed back, counts what happens to them and, for tests, logs
// every device call. Events come from a call trace, the built-in scenario or
// injection.
// Environment settings are described in simdriver/README.md.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <functional>
#include <string>
#include <vector>

#include "trace/ifs_call.h"

constexpr size_t kSimRecordMax = kIfsCallRecMax; // largest record a slot holds
constexpr int kSimPoolSlots = 512;

// What has happened to the records so far.
struct SimCounters {
    uint32_t delivered;   // queued to the registered thread
    uint32_t released;    // handed back with CTL_RELEASE_REC
    uint32_t badReleases; // handed back twice, or an address that is no record
    uint32_t outstanding; // delivered and not yet handed back
    uint32_t poolEmpty;   // passed the filters but found no free record
    uint32_t filtered;    // stopped by the function or result filter
    uint32_t lostAtClose; // still out when the device was closed
    // Stream sources only:
    uint32_t unmonitored; // read while monitoring was off, so not reported
    uint32_t malformed;   // lines that are no call record, reported on standard error
    // Passed the filters but never delivered: while the list was behind, at
    // least as many newer records as it keeps rows were waiting behind them.
    uint32_t passedOver;
    // Set at close: rows not shown, the records still out and, following a
    // file, the call lines not yet read of it.
    uint32_t unshown;
};

enum class SimCallKind { Open, Control, Close };

// One device call as the stand-in saw it, in the order of arrival.
struct SimCall {
    SimCallKind kind;
    DWORD code;  // Control: the control code
    DWORD value; // Control: the 4-byte input (0 when the input was malformed)
    BOOL ok;     // what the call returned (Open: a handle was returned)
    DWORD threadId;
    // Open only: the arguments as given.
    std::string name;
    DWORD access, share, disposition, flags;
    bool security, templateFile;
    // Control only: the buffer arguments had the contract's shape (4-byte
    // input, no output, no byte count, no overlapped structure).
    bool wellFormed;
};

// Back to a freshly loaded, closed device with empty counters and an empty
// log that records every device call from now on; no source runs and none
// starts with the device. The environment is no longer consulted: missing and
// refuse are off until set; nothing is printed.
void SimReset();

// As linked into a program: missing and refuse are read from the environment
// at each open, the environment's source starts when the device opens, no log
// is kept, and the counters go to standard error when the device closes.
void SimUseEnvironment();

void SimSetMissing(bool missing); // opening fails with INVALID_HANDLE_VALUE
void SimSetRefuse(bool refuse);   // CTL_SET_CALLBACK with an address fails
// Control lines go to this file from the next open on (TALVEKSIM_CONTROL).
void SimSetControlFile(const char* path);

enum class SimInjectResult { Delivered, NotListening, Filtered, PoolEmpty, BadSize };

// Delivers one record with the given bytes (400 to kSimRecordMax) as the
// driver would: only while the device is open, a call-back is registered and
// monitoring is on, and only when it passes the filters.
SimInjectResult SimInject(const void* bytes, size_t size);

SimCounters SimGetCounters();
std::vector<SimCall> SimCallLog();
bool SimRegistered();          // a call-back is registered
DWORD SimRegisteredThreadId(); // the registering thread, 0 when none

// Event sources, run by a feeder thread while the device is open. paceMs is
// the time between events; 0 delivers as fast as the pool allows (waiting
// for free records instead of dropping events). loop starts again at the end.
void SimStartScenario(DWORD paceMs, bool loop);
void SimStartEvents(std::vector<std::vector<uint8_t>> records, DWORD paceMs, bool loop);
bool SimStartTrace(const char* path, DWORD paceMs, bool loop); // false: no records

// Follows a stream of call-trace lines: each record is delivered as soon as
// its line has been read. The reader waits while no call-back is registered;
// records read while monitoring is off are not reported. While the list is
// behind (records wait for free ones), the reader reads on when it can do so
// without waiting and keeps, of the records that pass the filters, only the
// newest MaxViewLineQty: an older one, which those would push out of the list
// before it could be seen, is passed over and counted. Otherwise (a pipe with
// nothing to read yet) it waits for free records, holding the writer back. The
// end of the input ends the source; with follow, the reader waits for more
// instead, as for a file that is still being written. A read of a pipe cannot
// be interrupted, so the reader runs on a thread of its own that is never
// waited for: once the source is stopped it delivers nothing more and ends at
// its next read. closeInput: the reader closes the handle when it ends.
// name names the input in messages about malformed lines.
void SimStartStream(HANDLE input, const char* name, bool follow, bool closeInput);

void SimStopSource();

// The counters as the one line printed on standard error when TALVEKSIM.EXE
// closes the device.
std::string SimCountersLine(const SimCounters& c);

// True when no source is running and every delivered record is back.
bool SimIsIdle();

// Waits until SimIsIdle, dispatching the calling thread's messages meanwhile
// so that a window on it can hand records back; false on timeout.
bool SimWaitIdle(DWORD timeoutMs);

// Dispatches msg as a message loop does: to the dialog's keyboard handling
// when it is one of the dialog's (dialog may be null), else translated and
// dispatched.
void SimDispatch(MSG& msg, HWND dialog = nullptr);

// What SimPumpUntil does with each message it takes; false ends the pump at
// once (at WM_QUIT, say).
using SimMessageFn = bool (*)(MSG& msg);

// Takes the calling thread's messages, each to handle (SimDispatch when
// null), until done() holds; false after timeoutMs, or when handle ended the
// pump and done() does not hold. done() is asked whenever the queue is empty
// and, when batch is not 0, after every batch messages, so that a queue that
// never empties (a flood) does not hold the wait. In between, the thread
// waits up to pollMs for a new message.
bool SimPumpUntil(const std::function<bool()>& done, DWORD timeoutMs, SimMessageFn handle = nullptr,
                  int batch = 0, DWORD pollMs = 5);

// The built-in scenario's events, in order; BuildIfsCallRec (trace/ifs_call.h)
// makes their records.
std::vector<IfsCall> SimScenario();
