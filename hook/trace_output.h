// The hook's output and counts: call-trace lines in a buffer that leaves at
// least every 50 ms, and what became of every call a source saw. Every call
// lands in one bucket (TraceReport, TraceCount), so that in every counts line
// seen = written + lost + not reported.
#pragma once

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "trace/ifs_call.h"
#include "trace/ifs_filter.h"

// Why a call a source saw became no row.
enum class TraceOutcome {
    NotReported,     // no IFS counterpart, or on a descriptor or handle not followed
    Filtered,        // not asked for by the monitor's filter
    LostName,        // a name could not be read from the process
    LostLongName,    // a name longer than a record holds
    LostOutsideRoot, // a name outside the process's root (a chroot's)
    LostDescriptor,  // a call on a descriptor whose open was lost
    LostEnd,         // still in the ring when the hook stopped reading
    LostLimit,       // its line would have taken the output past --out-limit
};

struct TraceCounts {
    uint64_t seen = 0;    // calls handed over by the source
    uint64_t pending = 0; // lines in the buffer
    uint64_t written = 0; // lines the reader took
    uint64_t notReported = 0;
    uint64_t filtered = 0;
    uint64_t lostName = 0;
    uint64_t lostLongName = 0;
    uint64_t lostOutsideRoot = 0;
    uint64_t lostDescriptor = 0;
    uint64_t lostEnd = 0;
    uint64_t lostLimit = 0;
    uint64_t lostOut = 0; // formatted, but the reader went away or the hook was stopped
    // The backend's own, kept up to date by the source:
    uint64_t lostRing = 0;      // the kernel side could not send them (ring buffer full)
    uint64_t skipped = 0;       // let run unread (not reported)
    uint64_t filteredEarly = 0; // left out by the backend (kernel, or not stopped for)
    uint64_t lostNeeded = 0;    // not shown, needed by the mapping, lost in the ring
};

// The default of --out-limit: 1 GiB.
constexpr uint64_t kTraceOutLimit = uint64_t(1) << 30;

struct TraceOutput {
    int fd = 1;
    std::string buffer;
    uint64_t limit = kTraceOutLimit; // call lines stop at this many bytes out
    uint64_t bytesOut = 0;           // written so far
    uint64_t lastFlush = 0;
    uint64_t lastLossNote = 0;  // 0: no # line yet
    bool broken = false;        // the reader went away
    bool truncateFirst = false; // an existing --out file: emptied at the first write
    bool diskFull = false;      // the last write found no space: lines counted not written
    bool ended = false;         // TraceEnd has run
    // Set on a stop signal: a write held up by the reader then ends the output.
    const volatile sig_atomic_t* stop = nullptr;
    IfsFilter filter; // what the monitor asked for
    TraceCounts counts;
};

// The monotonic clock in nanoseconds.
uint64_t NowNs();

// Opens --out FILE (standard output when path is nullptr); created tells
// whether the hook made the file. False with `why` when it cannot. An
// existing file is not emptied here but at the first write, which comes only
// once the watch has started: a hook that is refused leaves it as it was.
bool TraceOpen(TraceOutput* o, const char* path, bool* created, std::string* why);

// A call seen and mapped: its line, when it passes the monitor's filter.
// comm is a record's name field of commSize bytes.
void TraceReport(TraceOutput* o, const IfsCall& call, uint32_t pid, const char* comm,
                 size_t commSize);

// A call seen that became no line.
void TraceCount(TraceOutput* o, TraceOutcome outcome);

// Writes the buffer out, whole lines only: when the disk fills, what is on it
// ends on a line end and the lines that did not fit are counted not written
// (later lines go out again once there is space).
void TraceFlush(TraceOutput* o);

// Called often: flushes every 50 ms and notes losses in # lines.
void TraceTick(TraceOutput* o);

// At the end: the last # line when calls were lost, the line that marks the
// trace complete (trace/call_trace.h), and the buffer out.
void TraceFinish(TraceOutput* o);

// Once per output: TraceFinish, then the counts on standard error
// (TracePrintCounts).
void TraceEnd(TraceOutput* o);

// "N calls seen, N written, N lost (...), N not reported", once the buffer
// is out.
std::string TraceCountsLine(const TraceCounts& c);

// The closing lines on standard error: the counts, then what was not asked
// for and what may be missing for it.
void TracePrintCounts(const TraceCounts& c);
