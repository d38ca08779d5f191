// talvek-hook's command line:
//
//   talvek-hook [--view system|windows] [--backend ebpf|ptrace] [--out FILE]
//               [--out-limit BYTES] [--wine-prefix DIR] [--wine-lib DIR]... [--functions LIST]
//               [--results all|ok|failed] [--monitoring on|off] [--control FILE]
//               [--say-source]
//               (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)
//   talvek-hook --invoking-user    (hook_main.cpp)
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "hook/trace_output.h"
#include "trace/ifs_filter.h"

enum class Backend { Default, Ebpf, Ptrace };
enum class View { System, Windows };

struct HookOptions {
    View view = View::System;
    Backend backend = Backend::Default;
    bool all = false;
    std::vector<pid_t> pids;
    std::vector<pid_t> exclude;
    char** command = nullptr;
    const char* out = nullptr;
    uint64_t outLimit = kTraceOutLimit; // --out-limit BYTES
    std::string winePrefix;             // --wine-prefix, else $WINEPREFIX
    std::vector<std::string> wineLibs;
    IfsFilter filter;              // --functions, --results, --monitoring
    const char* control = nullptr; // --control FILE
    bool saySource = false;        // --say-source: one line naming the view and backend
};

// The options; on a usage error, a line naming the argument and the usage on
// standard error, and exit status 2.
HookOptions ParseCommandLine(int argc, char** argv);
