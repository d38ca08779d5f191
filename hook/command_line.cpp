// talvek-hook's command line (command_line.h).
#include "hook/command_line.h"

#include <errno.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

namespace {

[[noreturn]] void Usage(const char* what) {
    std::fprintf(stderr,
                 "talvek-hook: %s\n"
                 "usage: talvek-hook [--view system|windows] [--backend ebpf|ptrace] [--out FILE]\n"
                 "                   [--out-limit BYTES] [--wine-prefix DIR] [--wine-lib DIR]...\n"
                 "                   [--functions LIST] [--results all|ok|failed]\n"
                 "                   [--monitoring on|off] [--control FILE] [--say-source]\n"
                 "                   (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)\n"
                 "       talvek-hook --invoking-user\n",
                 what);
    std::exit(2);
}

// "--pid needs a process id, got "abc"".
[[noreturn]] void Refuse(const std::string& option, const char* expected, const char* got) {
    Usage((option + " needs " + expected + ", got \"" + got + "\"").c_str());
}

pid_t PidArgument(const std::string& option, const char* text) {
    char* end;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || value <= 0 || value > 0x3FFFFFFF)
        Refuse(option, "a process id", text);
    return static_cast<pid_t>(value);
}

// A byte count: decimal digits, at least 1.
uint64_t BytesArgument(const std::string& option, const char* text) {
    char* end;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || value == 0)
        Refuse(option, "a number of bytes", text);
    return value;
}

// One of --all, --pid N and -- COMMAND, and --exclude-pid only with --all.
void CheckWhatToWatch(const HookOptions& o) {
    std::string given;
    for (const char* w :
         {o.all ? "--all" : "", o.pids.empty() ? "" : "--pid N", o.command ? "-- COMMAND" : ""}) {
        if (*w != '\0')
            given += (given.empty() ? "" : " and ") + std::string(w);
    }
    if (given.empty())
        Usage("give one of --all, --pid N, -- COMMAND; got none");
    if (given.find(" and ") != std::string::npos)
        Usage(("give only one of --all, --pid N, -- COMMAND; got " + given).c_str());
    if (!o.exclude.empty() && !o.all)
        Usage(("--exclude-pid goes with --all, not with " + given).c_str());
}

} // namespace

HookOptions ParseCommandLine(int argc, char** argv) {
    HookOptions o;
    if (const char* prefix = getenv("WINEPREFIX"))
        o.winePrefix = prefix;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Usage((arg + " needs a value after it").c_str());
            return argv[++i];
        };
        if (arg == "--") {
            if (i + 1 >= argc)
                Usage("-- needs a command");
            o.command = argv + i + 1;
            break;
        }
        if (arg == "--all") {
            o.all = true;
        } else if (arg == "--pid") {
            o.pids.push_back(PidArgument(arg, value()));
        } else if (arg == "--exclude-pid") {
            o.exclude.push_back(PidArgument(arg, value()));
        } else if (arg == "--backend") {
            const char* b = value();
            if (std::strcmp(b, "ebpf") == 0)
                o.backend = Backend::Ebpf;
            else if (std::strcmp(b, "ptrace") == 0)
                o.backend = Backend::Ptrace;
            else
                Refuse(arg, "ebpf or ptrace", b);
        } else if (arg == "--out") {
            o.out = value();
        } else if (arg == "--out-limit") {
            o.outLimit = BytesArgument(arg, value());
        } else if (arg == "--wine-prefix") {
            o.winePrefix = value();
        } else if (arg == "--functions" || arg == "--results" || arg == "--monitoring") {
            const char* text = value();
            if (arg == "--functions" && *text == '\0')
                Usage("--functions needs at least one function: with none no call is written");
            std::string error;
            const bool ok = arg == "--functions" ? IfsFilterParseFunctions(text, &o.filter, &error)
                            : arg == "--results"
                                ? IfsFilterParseResults(text, &o.filter, &error)
                                : IfsFilterParseMonitoring(text, &o.filter, &error);
            if (!ok)
                Usage((arg + ": " + error).c_str());
        } else if (arg == "--control") {
            o.control = value();
        } else if (arg == "--view") {
            const char* v = value();
            if (std::strcmp(v, "system") == 0)
                o.view = View::System;
            else if (std::strcmp(v, "windows") == 0)
                o.view = View::Windows;
            else
                Refuse(arg, "system or windows", v);
        } else if (arg == "--say-source") {
            o.saySource = true;
        } else if (arg == "--wine-lib") {
            o.wineLibs.push_back(value());
        } else {
            Usage(("unknown argument \"" + arg + "\"").c_str());
        }
    }
    CheckWhatToWatch(o);
    return o;
}
