// talvek-render --missing: the answer of a trace's failed look-ups
// (trace/trace_lookups.h) as text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "trace/trace_lookups.h"

struct MissingOptions {
    bool all = false;  // list the names found elsewhere and made later too
    bool tsv = false;  // one row per name with every field
    long limit = -1;   // >= 0: the end of a run: at most this many never-found names
    std::string trace; // the trace's path as given, for the command that lists them all
};

// By program (pid and name), in the order of their first failure: the names
// never found, each once with how often, the function and result of its
// first failure and, for a file name looked for in several folders, the
// folders in order; then a count of the names found elsewhere and made
// later (listed with all).
// successes: the trace's successful calls on names (none: a trace of
// failures alone, said in a line).
void PrintMissing(std::FILE* out, const std::vector<LookupName>& names, uint64_t successes,
                  const MissingOptions& options);
