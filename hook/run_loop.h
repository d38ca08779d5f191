// The hook's one run loop, over any source: starts the command held until
// the source watches it, forwards the first stop signal (SIGINT, SIGTERM) to
// the command (a second one ends the hook), applies control lines, flushes
// the output and notes losses, reads what is left at the end until the
// source is empty, and gives the exit status. SIGUSR1, or an output that
// broke, ends the watching only: the trace is closed and the hook waits for
// the command to end by itself.
#pragma once

#include <string>

#include "hook/filter_control.h"
#include "hook/source.h"
#include "hook/trace_output.h"

struct RunSetUp {
    SourceWatch watch;                // what to watch besides the command
    char** command = nullptr;         // -- COMMAND ARGS..., or nullptr
    FilterControl* control = nullptr; // --control, or nullptr
};

// Runs until the command (or every --pid tree) ends, or a stop signal ends
// the hook. The trace may be closed (TraceEnd) before it returns. False with `why` when the watch
// cannot start: then nothing it started stays. Else *status is the command's exit status (128 +
// signal when a signal ended it, or the signal that ended the hook), 0 without a command.
bool RunWatch(Source* source, const RunSetUp& run, TraceOutput* out, int* status, std::string* why);
