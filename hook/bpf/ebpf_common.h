// What both views' eBPF loaders share: whether eBPF can run here, libbpf's
// messages, the kernel side's table of watched processes and the reading of
// its ring buffer in batches.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

struct ring_buffer;

struct EbpfWatch {
    bool all = false;           // every process but the excluded trees
    std::vector<pid_t> roots;   // watched trees (--pid, or the started command)
    std::vector<pid_t> exclude; // with --all: these trees stay out
};

// Whether the eBPF backend can run here; when not, `why` gets one
// line naming what is missing and what to do.
bool EbpfAvailable(std::string* why);

// libbpf speaks only when TALVEK_HOOK_DEBUG is set.
void EbpfSetLibbpfPrint();

// Sets `why` to what failed, the error and `hint`; returns false.
bool EbpfFail(std::string* why, const std::string& what, int err,
              const char* hint = "TALVEK_HOOK_DEBUG=1 shows libbpf's messages; --backend ptrace "
                                 "works without eBPF");

// A kernel side's table of watched processes (with `all`, the excluded ones)
// and its count of entries, kept by both sides.
struct EbpfProcTable {
    int fd = -1;
    uint64_t* listed = nullptr;
    bool all = false;
};

// Lists a tree (a process, or a thread standing for it, and every process
// below it now). A process that ended before it was listed is taken out
// again: the kernel side takes out only those that end after.
bool EbpfListTree(const EbpfProcTable& t, pid_t root);

// Fills the table for a watch: the roots, or with --all the hook itself and
// the excluded trees.
bool EbpfFillProcessTable(const EbpfProcTable& t, const EbpfWatch& watch, std::string* why);

// Whether every watched tree has ended: then nothing more can come.
bool EbpfNoneWatched(const EbpfProcTable& t);

// Adds a tree to watch after the start (the hook's own command, started held
// until this returns); with --all every tree but the excluded ones is
// watched already. Never the hook itself.
bool EbpfAddTree(const EbpfProcTable& t, pid_t pid);

// A ring buffer read in batches: its record callback calls EbpfRingTake for
// each record and returns -1 when it answers false (the batch is full).
struct EbpfRing {
    ring_buffer* ring = nullptr;
    int handed = 0;
    bool batchFull = false;
};

bool EbpfRingTake(EbpfRing* r);

// Hands every waiting record to the callback, a batch at most; waits up to
// timeoutMs for the first (a few milliseconds at most once every watched
// tree has ended). Returns the records handed over, or -1 on a failure.
int EbpfRingPoll(EbpfRing* r, const EbpfProcTable& t, int timeoutMs);

// A loader's ring whose records, decoded as Record, go to the current
// poll's sink.
template <typename Record> struct EbpfRecordRing : EbpfRing {
    void (*sink)(const Record& record, void* ctx) = nullptr;
    void* sinkCtx = nullptr;
};

// EbpfRingPoll, handing each record to sink.
template <typename Record>
int EbpfRingPollTo(EbpfRecordRing<Record>* r, const EbpfProcTable& t, int timeoutMs,
                   void (*sink)(const Record& record, void* ctx), void* ctx) {
    r->sink = sink;
    r->sinkCtx = ctx;
    return EbpfRingPoll(r, t, timeoutMs);
}

// The end of the loader's record callback: hands the decoded record to the
// sink and returns what the callback returns (-1 stops this poll; the record
// counts as consumed).
template <typename Record> int EbpfRingHand(EbpfRecordRing<Record>* r, const Record& record) {
    r->sink(record, r->sinkCtx);
    return EbpfRingTake(r) ? 0 : -1;
}

// The sum over CPUs of the first `slots` slots of a per-CPU counter array.
uint64_t EbpfSumCounters(int fd, uint32_t slots);
