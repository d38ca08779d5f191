// The stream source: call-trace lines read from a pipe or a growing file as
// they arrive, each record delivered as soon as its line is complete.
#include "simdriver/sim_state.h"

#include "settings/monitor_settings.h"
#include "trace/call_trace.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <cstdio>
#include <cstring>

namespace {

// Longer than any line a record can be written in; the rest of a longer line
// is skipped, so that input without line ends cannot grow without bound.
constexpr size_t kStreamLineMax = 16384;
constexpr DWORD kFollowPollMs = 50;

struct StreamReader {
    HANDLE input;
    std::string name;
    bool follow;
    bool closeInput;
    uint32_t generation;

    std::string line; // the line read so far
    int lineNumber = 0;
    bool overlong = false; // skipping to the end of an over-long line
    bool ended = false;    // the trace's end line was read
    size_t lineBytes = 0;  // of the line read so far, however long
    uint64_t consumed = 0; // bytes up to the end of the last line handled
    // Records that passed the filters and wait for free records, oldest first.
    std::deque<std::vector<uint8_t>> pending;
    DWORD type = FILE_TYPE_UNKNOWN; // of the input, as GetFileType tells
};

bool Current(const SimState& s, const StreamReader& r) {
    return s.streamGeneration == r.generation;
}

// The rows the list keeps: of the records waiting to be delivered, only
// this many of the newest can still be on screen once the list has them.
// The window thread writes the limit whole (the options dialog); a change
// applies from the next record read.
size_t ShownRows() {
    return MaxViewLineQty > 0 ? (size_t)MaxViewLineQty : 1;
}

// While the stream runs, at most this many records are out at once: with
// more, the list's queue would hold rows that the waiting ones push out.
int StreamDeliverCap() {
    return (int)std::min<size_t>(std::max<size_t>(ShownRows(), 2 * kSimGatherRecords),
                                 kSimPoolSlots);
}

// Delivers waiting records, oldest first, while records are free.
void DeliverPendingLocked(SimState& s, StreamReader& r) {
    while (!r.pending.empty() && s.routine != nullptr && SimPoolHasFreeLocked()) {
        const std::vector<uint8_t>& record = r.pending.front();
        if (!s.filter.monitoring)
            ++s.counters.unmonitored;
        else
            SimDeliverLocked(s, record.data(), record.size());
        r.pending.pop_front();
    }
    s.streamPending = (uint32_t)r.pending.size();
}

// Waits up to ms for a free record (or the source to stop), then a moment
// for others to gather, as SimWaitForFreeLocked does, and delivers what fits.
void WaitAndDeliverLocked(SimState& s, std::unique_lock<std::mutex>& hold, StreamReader& r,
                          DWORD ms) {
    const auto room = [&](int records) {
        return !Current(s, r) ||
               (s.routine != nullptr && s.deliverCap - (int)s.counters.outstanding >= records);
    };
    s.freeWait = SimFreeWait::Any;
    if (s.changed.wait_for(hold, std::chrono::milliseconds(ms), [&] { return room(1); })) {
        const int wanted = (int)std::min<size_t>(r.pending.size(), kSimGatherRecords);
        s.freeWait = SimFreeWait::Gathered;
        s.changed.wait_for(hold, std::chrono::milliseconds(kSimGatherMs),
                           [&] { return room(wanted); });
    }
    s.freeWait = SimFreeWait::None;
    if (Current(s, r))
        DeliverPendingLocked(s, r);
}

// Takes one record, once a call-back is registered: not reported while
// monitoring is off, counted when the filters stop it, else queued behind
// the records waiting for free ones; the oldest waiting one is passed over
// when the list keeps fewer rows than wait. False when the source was
// stopped meanwhile.
bool TakeStreamRecord(StreamReader& r, std::vector<uint8_t>&& record) {
    SimState& s = Sim();
    std::unique_lock<std::mutex> hold(s.lock);
    s.changed.wait(hold, [&] { return !Current(s, r) || s.routine != nullptr; });
    if (!Current(s, r))
        return false;
    if (!s.filter.monitoring) {
        ++s.counters.unmonitored;
    } else if (!SimPassesFiltersLocked(s, record.data())) {
        ++s.counters.filtered;
    } else {
        r.pending.push_back(std::move(record));
        while (r.pending.size() > ShownRows()) {
            r.pending.pop_front();
            ++s.counters.passedOver;
        }
    }
    s.deliverCap = StreamDeliverCap();
    DeliverPendingLocked(s, r);
    s.streamConsumed = r.consumed;
    return true;
}

// True when a read of the input returns at once: a file (at its end with 0
// bytes), or a pipe that holds bytes. A console or a pipe without bytes
// would wait for its writer.
bool ReadWillNotWait(const StreamReader& r) {
    if (r.type == FILE_TYPE_DISK)
        return true;
    if (r.type != FILE_TYPE_PIPE)
        return false;
    DWORD available = 0;
    return !PeekNamedPipe(r.input, nullptr, 0, nullptr, &available, nullptr) || available > 0;
}

// Before a read that would wait for the writer: delivers every waiting
// record first, so that none waits on the writer; false when stopped.
bool DeliverBeforeWaitingRead(StreamReader& r) {
    if (r.pending.empty() || ReadWillNotWait(r))
        return true;
    SimState& s = Sim();
    std::unique_lock<std::mutex> hold(s.lock);
    while (Current(s, r) && !r.pending.empty() && !ReadWillNotWait(r))
        WaitAndDeliverLocked(s, hold, r, kFollowPollMs);
    return Current(s, r);
}

// At the end of the input: delivers every waiting record as records come
// back (unless the source is stopped or the call-back dropped meanwhile).
void DeliverRest(SimState& s, std::unique_lock<std::mutex>& hold, StreamReader& r) {
    while (Current(s, r) && s.routine != nullptr && !r.pending.empty())
        WaitAndDeliverLocked(s, hold, r, kFollowPollMs);
}

void ReportMalformed(const StreamReader& r, const std::string& what) {
    std::fprintf(stderr, "simdriver: %s: %s\n", r.name.c_str(), what.c_str());
    std::fflush(stderr);
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    ++s.counters.malformed;
}

// Handles the line gathered so far; false when the source was stopped or
// the line is the trace's end.
bool EndLine(StreamReader& r) {
    ++r.lineNumber;
    r.consumed += r.lineBytes + 1;
    r.lineBytes = 0;
    bool go = true;
    if (r.overlong) {
        ReportMalformed(r, "line " + std::to_string(r.lineNumber) + ": line too long");
    } else if (IsTraceEndLine(r.line)) {
        r.ended = true;
        go = false;
    } else {
        TraceLineResult result = ParseTraceLine(r.line, r.lineNumber);
        if (result.kind == TraceLineKind::Record)
            go = TakeStreamRecord(r, std::move(result.record));
        else if (result.kind == TraceLineKind::Error)
            ReportMalformed(r, result.error);
    }
    r.line.clear();
    r.overlong = false;
    return go;
}

// Splits what one read returned into lines; a line may span several reads.
bool TakeBytes(StreamReader& r, const char* bytes, size_t size) {
    for (size_t i = 0; i < size;) {
        const char* end = static_cast<const char*>(std::memchr(bytes + i, '\n', size - i));
        const size_t stop = end != nullptr ? (size_t)(end - bytes) : size;
        r.lineBytes += stop - i;
        if (!r.overlong) {
            if (r.line.size() + (stop - i) > kStreamLineMax) {
                r.overlong = true;
                r.line.clear();
            } else {
                r.line.append(bytes + i, stop - i);
            }
        }
        if (end == nullptr)
            break;
        if (!EndLine(r))
            return false;
        i = stop + 1;
    }
    return true;
}

// A followed file that became shorter than what was read of it was written
// anew: it is read again from its start, as tail -f does.
void RewindIfTruncated(StreamReader& r) {
    LARGE_INTEGER size, zero{}, at;
    if (!GetFileSizeEx(r.input, &size) || !SetFilePointerEx(r.input, zero, &at, FILE_CURRENT) ||
        size.QuadPart >= at.QuadPart)
        return;
    std::fprintf(stderr, "simdriver: %s: file truncated, reading it from the start\n",
                 r.name.c_str());
    std::fflush(stderr);
    SetFilePointerEx(r.input, zero, nullptr, FILE_BEGIN);
    r.line.clear();
    r.overlong = false;
    r.lineBytes = 0;
    r.consumed = 0;
}

// At the end of a followed file: waits a moment for more, delivering waiting
// records as they come back; false when stopped.
bool WaitForMore(StreamReader& r) {
    RewindIfTruncated(r);
    SimState& s = Sim();
    std::unique_lock<std::mutex> hold(s.lock);
    if (Current(s, r))
        s.streamConsumed = r.consumed;
    if (!r.pending.empty()) {
        WaitAndDeliverLocked(s, hold, r, kFollowPollMs);
        return Current(s, r);
    }
    return !s.changed.wait_for(hold, std::chrono::milliseconds(kFollowPollMs),
                               [&] { return !Current(s, r); });
}

// After the end of the input: waits until the list has taken back every
// record, so that the end message means every row is shown (unless the
// source is stopped or the call-back dropped meanwhile).
void WaitAllHandedBack(SimState& s, std::unique_lock<std::mutex>& hold, const StreamReader& r) {
    const auto over = [&] {
        return !Current(s, r) || s.routine == nullptr || s.counters.outstanding == 0;
    };
    while (!over()) {
        s.freeWait = SimFreeWait::Any; // each hand-back wakes this wait
        s.changed.wait_for(hold, std::chrono::milliseconds(kFollowPollMs), over);
    }
    s.freeWait = SimFreeWait::None;
}

void StreamRun(StreamReader r) {
    // Large enough that a backlog is read in few calls; a pipe's read returns
    // what it holds, so a line is still taken as soon as it is complete.
    std::vector<char> bytes(65536);
    char* buffer = bytes.data();
    r.type = GetFileType(r.input);
    bool go = true;
    bool ended = false; // the input ended, rather than the source being stopped
    while (go) {
        if (!DeliverBeforeWaitingRead(r))
            break;
        DWORD got = 0;
        // A pipe reports its end either as a failed read or as a read of 0 bytes.
        if (!ReadFile(r.input, buffer, (DWORD)bytes.size(), &got, nullptr) || got == 0) {
            if (r.follow && WaitForMore(r))
                continue;
            // Stopped while following: a line read in part may still be
            // being written; it is no one's to judge now.
            if (r.follow)
                break;
            // The input ended inside a line (its writer stopped there, a disk
            // filled): cut, never taken as a record.
            if (r.overlong || r.line.find_first_not_of(" \t\r") != std::string::npos) {
                ++r.lineNumber;
                ReportMalformed(
                    r, "line " + std::to_string(r.lineNumber) +
                           (r.overlong ? ": line too long" : ": cut: the input ends inside it"));
            }
            ended = true;
            break;
        }
        go = TakeBytes(r, buffer, got);
        ended = r.ended;
    }
    if (r.closeInput)
        CloseHandle(r.input);
    SimState& s = Sim();
    std::unique_lock<std::mutex> hold(s.lock);
    if (ended) {
        DeliverRest(s, hold, r);
        WaitAllHandedBack(s, hold, r);
    }
    if (Current(s, r)) {
        s.streamActive = false;
        s.streamPending = 0;
        s.deliverCap = kSimPoolSlots;
        s.changed.notify_all();
        if (ended) {
            std::fprintf(stderr, "simdriver: %s: end of input after %d lines\n", r.name.c_str(),
                         r.lineNumber);
            std::fflush(stderr);
        }
    }
}

} // namespace

void SimEndStreamLocked(SimState& s) {
    ++s.streamGeneration;
    s.streamActive = false;
    s.streamPending = 0;
    s.deliverCap = kSimPoolSlots;
    s.changed.notify_all();
}

uint32_t SimStreamUnreadLocked(const SimState& s) {
    if (!s.streamActive || s.streamFile.empty())
        return 0;
    HANDLE file = CreateFileA(s.streamFile.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)s.streamConsumed;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    uint32_t lines = 0;
    bool lineStart = true;
    bool callLine = false;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (lineStart)
                callLine = c != '#' && c != '\n' && c != '\r';
            lineStart = c == '\n';
            lines += lineStart && callLine;
        }
    }
    CloseHandle(file);
    return lines;
}

void SimStreamStartLocked(SimState& s, HANDLE input, const char* name, bool follow,
                          bool closeInput) {
    s.streamActive = true;
    s.streamFile = follow ? name : "";
    s.streamConsumed = 0;
    StreamReader r;
    r.input = input;
    r.name = name;
    r.follow = follow;
    r.closeInput = closeInput;
    r.generation = s.streamGeneration;
    std::thread(StreamRun, std::move(r)).detach();
}
