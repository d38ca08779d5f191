// The hook's output and counts (trace_output.h).
#include "hook/trace_output.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "hook/user_files.h"
#include "trace/call_trace.h"

namespace {

constexpr uint64_t kFlushNs = 50000000;      // output leaves at least every 50 ms
constexpr uint64_t kLossNoteNs = 5000000000; // then a # line with the counts every 5 s
constexpr size_t kOutBufferMax = 1 << 16;

// The bucket of each TraceOutcome, in its order.
constexpr uint64_t TraceCounts::*kBuckets[] = {
    &TraceCounts::notReported,  &TraceCounts::filtered,        &TraceCounts::lostName,
    &TraceCounts::lostLongName, &TraceCounts::lostOutsideRoot, &TraceCounts::lostDescriptor,
    &TraceCounts::lostEnd,      &TraceCounts::lostLimit,
};

// Call lines (not '#' notes) among the first `size` bytes of the buffer.
uint64_t CallLines(const std::string& buffer, size_t size) {
    uint64_t lines = 0;
    for (size_t start = 0; start < size;) {
        const size_t end = buffer.find('\n', start);
        if (end == std::string::npos || end >= size)
            break;
        lines += buffer[start] != '#';
        start = end + 1;
    }
    return lines;
}

uint64_t Lost(const TraceCounts& c) {
    return c.lostName + c.lostLongName + c.lostOutsideRoot + c.lostDescriptor + c.lostRing +
           c.lostEnd + c.lostLimit + c.lostOut;
}

// A # line with the counts: the first as soon as a loss is known, then every
// 5 s, and one at the end.
void NoteLoss(TraceOutput* o) {
    TraceFlush(o);
    o->buffer += "# talvek-hook: " + TraceCountsLine(o->counts) + "\n";
    o->lastLossNote = NowNs();
}

} // namespace

uint64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

bool TraceOpen(TraceOutput* o, const char* path, bool* created, std::string* why) {
    *created = false;
    o->lastFlush = NowNs();
    if (path == nullptr)
        return true;
    o->fd = OpenAsInvokingUser(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    *created = o->fd >= 0;
    if (o->fd < 0 && errno == EEXIST) {
        o->fd = OpenAsInvokingUser(path, O_WRONLY | O_CLOEXEC);
        struct stat st;
        o->truncateFirst = o->fd >= 0 && fstat(o->fd, &st) == 0 && S_ISREG(st.st_mode);
    }
    if (o->fd < 0) {
        *why = std::string("cannot write ") + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

void TraceReport(TraceOutput* o, const IfsCall& call, uint32_t pid, const char* comm,
                 size_t commSize) {
    ++o->counts.seen;
    if (!IfsFilterPasses(o->filter, call.func, call.result)) {
        ++o->counts.filtered;
        return;
    }
    const size_t before = o->buffer.size();
    AppendTraceLine(call, pid, std::string(comm, strnlen(comm, commSize)).c_str(), &o->buffer);
    if (o->bytesOut + o->buffer.size() > o->limit) {
        o->buffer.resize(before); // the # lines still go out past the limit
        ++o->counts.lostLimit;
        return;
    }
    ++o->counts.pending;
    if (o->buffer.size() > kOutBufferMax)
        TraceFlush(o);
}

void TraceCount(TraceOutput* o, TraceOutcome outcome) {
    ++o->counts.seen;
    ++(o->counts.*kBuckets[static_cast<int>(outcome)]);
}

namespace {

bool NoSpace(int err) {
    return err == ENOSPC || err == EDQUOT;
}

// Takes back the part of a line that went out before the disk filled, so
// that the file ends on a line end; `done` becomes what stays. A file that
// cannot be cut back is left as it is (a pipe never fills this way).
void CutToLineEnd(TraceOutput* o, size_t* done) {
    const size_t end = *done == 0 ? std::string::npos : o->buffer.rfind('\n', *done - 1);
    const size_t keep = end == std::string::npos ? 0 : end + 1;
    if (keep == *done)
        return;
    const off_t at = static_cast<off_t>(o->bytesOut + keep);
    if (ftruncate(o->fd, at) == 0 && lseek(o->fd, at, SEEK_SET) == at)
        *done = keep;
}

} // namespace

// A stop signal that interrupts a write held up by the reader ends the
// output: the hook must stop even when nobody reads, and what was not
// written is counted as lost.
void TraceFlush(TraceOutput* o) {
    if (o->truncateFirst && !o->buffer.empty()) {
        o->truncateFirst = false;
        if (ftruncate(o->fd, 0) != 0)
            o->broken = true;
    }
    size_t done = 0;
    bool full = false;
    while (done < o->buffer.size() && !o->broken && !full) {
        const size_t left = o->buffer.size() - done;
        const ssize_t n = write(o->fd, o->buffer.data() + done, left);
        const bool interrupted = (n < 0 && errno == EINTR) || (n > 0 && size_t(n) < left);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && NoSpace(errno))
            full = true;
        else if (!interrupted)
            o->broken = true;
        if (interrupted && o->stop != nullptr && *o->stop != 0)
            o->broken = true;
    }
    if (full)
        CutToLineEnd(o, &done);
    if (full && !o->diskFull)
        std::fprintf(stderr, "talvek-hook: the trace's disk is full: calls are counted not "
                             "written until there is space again\n");
    o->diskFull = full;
    TraceCounts& c = o->counts;
    const uint64_t taken = CallLines(o->buffer, done);
    c.written += taken;
    c.pending -= taken;
    o->bytesOut += done;
    o->buffer.erase(0, done);
    if (o->broken || full) {
        c.lostOut += c.pending;
        c.pending = 0;
        o->buffer.clear();
    }
    o->lastFlush = NowNs();
}

void TraceTick(TraceOutput* o) {
    const uint64_t now = NowNs();
    if (Lost(o->counts) > 0 && (o->lastLossNote == 0 || now - o->lastLossNote >= kLossNoteNs))
        NoteLoss(o);
    if (!o->buffer.empty() && (now - o->lastFlush >= kFlushNs || o->buffer.size() > kOutBufferMax))
        TraceFlush(o);
}

void TraceFinish(TraceOutput* o) {
    if (Lost(o->counts) > 0)
        NoteLoss(o);
    o->buffer += kTraceEndLine;
    o->buffer += '\n';
    TraceFlush(o);
    if (o->diskFull)
        std::fprintf(stderr, "talvek-hook: the disk is full: the trace could not be closed with "
                             "its end line\n");
}

void TraceEnd(TraceOutput* o) {
    if (o->ended)
        return;
    o->ended = true;
    TraceFinish(o);
    TracePrintCounts(o->counts);
}

// Calls that the monitor did not ask for are not reported, whether the
// backend left them out or the mapped row did not pass the filter.
std::string TraceCountsLine(const TraceCounts& c) {
    using ull = unsigned long long;
    const uint64_t notAsked = c.filtered + c.filteredEarly + c.lostNeeded;
    char text[448];
    std::snprintf(
        text, sizeof text,
        "%llu calls seen, %llu written, %llu lost (%llu ring buffer full, %llu names "
        "unreadable, %llu names too long, %llu names outside the root, %llu descriptor "
        "unknown, %llu unread at the end, %llu past the size limit, %llu not written), %llu "
        "not reported",
        ull(c.seen + c.lostRing + c.skipped + c.filteredEarly + c.lostNeeded), ull(c.written),
        ull(Lost(c)), ull(c.lostRing), ull(c.lostName), ull(c.lostLongName), ull(c.lostOutsideRoot),
        ull(c.lostDescriptor), ull(c.lostEnd), ull(c.lostLimit), ull(c.lostOut),
        ull(c.notReported + c.skipped + notAsked));
    return text;
}

void TracePrintCounts(const TraceCounts& c) {
    using ull = unsigned long long;
    std::fprintf(stderr, "talvek-hook: %s\n", TraceCountsLine(c).c_str());
    if (c.filtered + c.filteredEarly > 0)
        std::fprintf(stderr,
                     "talvek-hook: %llu calls not asked for (%llu of them left out early)\n",
                     ull(c.filtered + c.filteredEarly), ull(c.filteredEarly));
    if (c.lostNeeded > 0)
        std::fprintf(stderr,
                     "talvek-hook: %llu opens, closes and the like not shown were lost with the "
                     "ring buffer full: calls on those descriptors may be missing\n",
                     ull(c.lostNeeded));
}
