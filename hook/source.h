// Where the hook's calls come from: one view of the watched processes under
// one backend (hook/system/ebpf/, hook/system/ptrace/, hook/windows/ebpf/).
// A source maps what its backend records to IFS calls and hands them, with
// what became of every call, to the output (trace_output.h); the run loop
// (run_loop.h) drives it and knows no view.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/command_start.h"
#include "trace/ifs_filter.h"
#include "hook/trace_output.h"

struct SourceWatch {
    bool all = false;           // every process but the excluded trees (--all)
    std::vector<pid_t> pids;    // --pid trees
    std::vector<pid_t> exclude; // with all: these trees stay out; never the hook itself
    pid_t command = 0;          // the command, started held until Start returns; 0 without
};

class Source {
  public:
    virtual ~Source() = default;

    // Before anything starts: what the command's child sets up before it runs
    // the command (nullptr: nothing). filterFixed: the filter will not change
    // during the run (no --control), so what it leaves out may stay out for good.
    virtual const ChildSetUp* Prepare(const IfsFilter& filter, bool filterFixed) {
        (void)filter;
        (void)filterFixed;
        return nullptr;
    }

    // Starts watching, under out->filter; from now on the source hands its
    // calls to out. False with `why` when it cannot; Stop then ends what began.
    virtual bool Start(const SourceWatch& watch, TraceOutput* out, std::string* why) = 0;

    // The working folder of the command, before it runs.
    virtual void SetWorkingFolder(pid_t pid, const std::string& folder) {
        (void)pid;
        (void)folder;
    }

    // The monitor's filter becomes f; the output still holds the one before.
    virtual void SetFilter(const IfsFilter& f) = 0;

    // Waits up to timeoutMs for calls, maps them and hands them to the
    // output, and brings the backend's own counts up to date. Returns the
    // records taken, or -1 once nothing more can come.
    virtual int Poll(int timeoutMs) = 0;

    // Whether the source traces what it watches (ptrace): it then waits for
    // the processes itself, Poll returns -1 once every one has ended,
    // CommandEnded tells how the command ended, and Stop ends the command's
    // tree if it still runs. Other sources watch from the side: the run loop
    // waits for the command, ends the watch when the command or every --pid
    // tree has ended, drains what the source still holds (Poll, then
    // CountUnread), and ends the command itself.
    virtual bool Traces() const { return false; }

    // A tracing source: true with the command's wait status once it ended.
    virtual bool CommandEnded(int* status) {
        (void)status;
        return false;
    }

    // Takes what still waits without mapping it, each call counted as
    // unread at the end; returns the records taken.
    virtual int CountUnread(int timeoutMs) {
        (void)timeoutMs;
        return 0;
    }

    // Stops watching and takes the backend's last counts; safe after a
    // failed Start.
    virtual void Stop() = 0;

    // The watch ends early (the monitor went away) and the watched processes
    // run on. A side source stops (Stop). A tracing source takes its counts
    // and from then on only resumes its processes, reading nothing (Poll
    // hands no calls and returns -1 once they have ended); processes it
    // attached to it detaches from.
    virtual void StopWatching() { Stop(); }
};
