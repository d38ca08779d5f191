// talvek-hook: the file-system calls of Linux processes as call-trace lines
// (tools/call_trace.h), one line per call, for the stand-in driver.
//
//   talvek-hook [--view system|windows] [--backend ebpf|ptrace] [--out FILE]
//               [--wine-prefix DIR] [--wine-lib DIR]... [--functions LIST]
//               [--results all|ok|failed] [--monitoring on|off] [--control FILE]
//               (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)
//
// The system view (hook/syscalls/) shows the Linux file calls; the Windows
// view (hook/wine/) the NT file calls that Windows programs make to Wine.
//
// Exit status: the command's (128 + signal when a signal ended it) with
// -- COMMAND, else 0; 2 on a usage error (a line naming the argument, then
// the usage) or when no backend can watch what was asked; 1 on a failure on
// the way.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hook/command_start.h"
#include "hook/filter_control.h"
#include "trace/ifs_filter.h"
#include "hook/syscalls/ebpf_backend.h"
#include "hook/syscalls/folder_at_call.h"
#include "hook/syscalls/ebpf_filter.h"
#include "hook/syscalls/host_lookups.h"
#include "hook/syscalls/ptrace_backend.h"
#include "hook/syscalls/ptrace_filter.h"
#include "hook/syscalls/seccomp_filter.h"
#include "hook/syscalls/sysev_filter.h"
#include "hook/syscalls/sysev_map.h"
#include "hook/wine/nt_map.h"
#include "hook/wine/wine_backend.h"
#include "trace/call_trace.h"

namespace {

constexpr uint64_t kFlushNs = 50000000;      // output leaves at least every 50 ms
constexpr uint64_t kLossNoteNs = 5000000000; // then a # line with the counts every 5 s
constexpr size_t kOutBufferMax = 1 << 16;

enum class Backend { Default, Ebpf, Ptrace };
enum class View { System, Windows };

struct Options {
    Backend backend = Backend::Default;
    bool all = false;
    std::vector<pid_t> pids;
    std::vector<pid_t> exclude;
    char** command = nullptr;
    const char* out = nullptr;
    std::string winePrefix;
    IfsFilter filter;              // --functions, --results, --monitoring
    const char* control = nullptr; // --control FILE
    View view = View::System;
    std::vector<std::string> wineLibs;
};

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int sig) {
    g_stopSignal = sig;
}

uint64_t Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

[[noreturn]] void Usage(const char* what) {
    std::fprintf(stderr,
                 "talvek-hook: %s\n"
                 "usage: talvek-hook [--view system|windows] [--backend ebpf|ptrace] [--out FILE]\n"
                 "                   [--wine-prefix DIR] [--wine-lib DIR]... [--functions LIST]\n"
                 "                   [--results all|ok|failed] [--monitoring on|off]\n"
                 "                   [--control FILE]\n"
                 "                   (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)\n",
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

Options ParseOptions(int argc, char** argv) {
    Options o;
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
        } else if (arg == "--wine-prefix") {
            o.winePrefix = value();
        } else if (arg == "--functions" || arg == "--results" || arg == "--monitoring") {
            const char* text = value();
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
        } else if (arg == "--wine-lib") {
            o.wineLibs.push_back(value());
        } else {
            Usage(("unknown argument \"" + arg + "\"").c_str());
        }
    }
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
    return o;
}

// The output, its buffer and the counts.
struct Output {
    int fd = 1;
    std::string buffer;
    uint64_t lastFlush = 0;
    bool broken = false; // the reader went away
    SysevMapper* mapper = nullptr;
    NtMapper* ntMapper = nullptr; // the Windows view's
    uint64_t events = 0;          // calls handed over by the backend
    uint64_t pending = 0;         // lines in the buffer
    uint64_t written = 0;         // lines the reader took
    uint64_t lostName = 0;
    uint64_t lostLongName = 0;   // names longer than a record holds
    uint64_t lostDescriptor = 0; // calls on descriptors whose open was lost
    uint64_t notReported = 0;    // no IFS counterpart, or a descriptor not followed
    uint64_t lastLossNote = 0;   // 0: no # line yet
    uint64_t lostRing = 0;       // from the backend
    uint64_t lostEnd = 0;        // still in the ring when the hook stopped reading
    uint64_t lostOut = 0;        // formatted, but the reader went away or the hook was stopped
    uint64_t skipped = 0;        // calls the backend let run unread (not reported)
    IfsCall call;
    std::vector<sysev> batch; // eBPF: the records of one poll
    std::function<bool(const std::string&)> folderExists;
    IfsFilter filter;                  // what the monitor asked for
    FilterControl control;             // --control
    std::function<void()> forgetState; // a fresh mapper
    uint64_t filtered = 0;             // mapped, not asked for
    uint64_t filteredEarly = 0;        // left out by the backend (kernel, or not stopped for)
    uint64_t lostNeeded = 0;           // not shown, needed by the mapper, lost in the ring
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

// Writes the buffer out. A stop signal that interrupts a write held up by the
// reader ends the output: the hook must stop even when nobody reads, and what
// was not written is counted as lost.
void Flush(Output* o) {
    size_t done = 0;
    while (done < o->buffer.size() && !o->broken) {
        const size_t left = o->buffer.size() - done;
        const ssize_t n = write(o->fd, o->buffer.data() + done, left);
        const bool interrupted = (n < 0 && errno == EINTR) || (n > 0 && size_t(n) < left);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (!interrupted)
            o->broken = true;
        if (interrupted && g_stopSignal != 0)
            o->broken = true;
    }
    const uint64_t taken = CallLines(o->buffer, done);
    o->written += taken;
    o->pending -= taken;
    o->buffer.erase(0, done);
    if (o->broken) {
        o->lostOut += o->pending;
        o->pending = 0;
        o->buffer.clear();
    }
    o->lastFlush = Now();
}

uint64_t Lost(const Output* o) {
    return o->lostName + o->lostLongName + o->lostDescriptor + o->lostRing + o->lostEnd +
           o->lostOut;
}

// Seen = written + lost + not reported, once the buffer is out (Flush first).
// Calls that the monitor did not ask for are not reported, whether the
// backend left them out or the mapper's row did not pass the filter.
std::string Counts(const Output* o) {
    using ull = unsigned long long;
    const uint64_t notAsked = o->filtered + o->filteredEarly + o->lostNeeded;
    char text[384];
    std::snprintf(text, sizeof text,
                  "%llu calls seen, %llu written, %llu lost (%llu ring buffer full, %llu names "
                  "unreadable, %llu names too long, %llu descriptor unknown, %llu unread at the "
                  "end, %llu not written), %llu not reported",
                  ull(o->events + o->lostRing + o->skipped + o->filteredEarly + o->lostNeeded),
                  ull(o->written), ull(Lost(o)), ull(o->lostRing), ull(o->lostName),
                  ull(o->lostLongName), ull(o->lostDescriptor), ull(o->lostEnd), ull(o->lostOut),
                  ull(o->notReported + o->skipped + notAsked));
    return text;
}

// A # line with the counts: the first as soon as a loss is known, then every
// 5 s, and one at the end.
void NoteLoss(Output* o) {
    Flush(o);
    o->buffer += "# talvek-hook: " + Counts(o) + "\n";
    o->lastLossNote = Now();
}

// Called often: flushes every 50 ms and notes losses.
void Tick(Output* o) {
    const uint64_t now = Now();
    if (Lost(o) > 0 && (o->lastLossNote == 0 || now - o->lastLossNote >= kLossNoteNs))
        NoteLoss(o);
    if (!o->buffer.empty() && (now - o->lastFlush >= kFlushNs || o->buffer.size() > kOutBufferMax))
        Flush(o);
}

// Appends the line of o->call when it passes the monitor's filter; comm is a
// record's 16-byte name field.
void Report(Output* o, uint32_t pid, const char* comm16) {
    if (!IfsFilterPasses(o->filter, o->call.func, o->call.result)) {
        ++o->filtered;
        return;
    }
    char comm[SYSEV_COMM_SIZE + 1];
    std::memcpy(comm, comm16, SYSEV_COMM_SIZE);
    comm[SYSEV_COMM_SIZE] = '\0';
    AppendTraceLine(o->call, pid, comm, &o->buffer);
    ++o->pending;
    if (o->buffer.size() > kOutBufferMax)
        Flush(o);
}

bool IsProcessEvent(const sysev& ev) {
    return ev.call == SYSEV_FORK || ev.call == SYSEV_EXEC || ev.call == SYSEV_EXIT;
}

void Sink(const sysev& ev, void* ctx) {
    auto* o = static_cast<Output*>(ctx);
    if (!IsProcessEvent(ev))
        ++o->events;
    switch (o->mapper->Map(ev, &o->call)) {
    case MapOutcome::Reported:
        Report(o, ev.pid, ev.comm);
        // A copy's second row counts as a call of its own.
        if (o->mapper->TakeSecond(&o->call)) {
            ++o->events;
            Report(o, ev.pid, ev.comm);
        }
        break;
    case MapOutcome::Lost:
        if (SysevMayShow(o->filter, ev.call))
            ++o->lostName;
        else
            ++o->filtered;
        break;
    case MapOutcome::LostLongName:
        ++o->lostLongName;
        break;
    case MapOutcome::LostDescriptor:
        ++o->lostDescriptor;
        break;
    case MapOutcome::NotReported:
        if (!IsProcessEvent(ev))
            ++o->notReported;
        break;
    }
}

// A call still in the ring when the hook must stop reading: counted, not written.
void CountUnread(const sysev& ev, void* ctx) {
    auto* o = static_cast<Output*>(ctx);
    if (!IsProcessEvent(ev)) {
        ++o->events;
        if (SysevMayShow(o->filter, ev.call) && SysevResultMayShow(o->filter, ev.call, ev.ret))
            ++o->lostEnd;
        else if (SysevCallFilterOf(ev.call).funcs != 0)
            ++o->filtered;
        else
            ++o->notReported; // no IFS counterpart
    }
}

// Applies the control lines that arrived. When the mapper is to see calls it
// did not see so far (monitoring turned on, a function that needs the
// descriptors), what it knew is stale: it starts afresh, as if the hook had
// just started.
bool ApplyControl(Output* o) {
    IfsFilter next = o->filter;
    if (!FilterControlPoll(&o->control, &next))
        return false;
    bool stale = false;
    for (uint16_t call = 0; call < SYSEV_CALL_COUNT; ++call)
        stale = stale || (SysevNeeded(next, call) && !SysevNeeded(o->filter, call));
    if (stale && o->forgetState)
        o->forgetState();
    o->filter = next;
    return true;
}

bool IsProcessEvent(const ntev& ev) {
    return ev.call == NTEV_PROCESS_EXIT || ev.call == NTEV_PROCESS_EXEC;
}

void NtSinkOf(const ntev& ev, void* ctx) {
    auto* o = static_cast<Output*>(ctx);
    if (!IsProcessEvent(ev))
        ++o->events;
    if (o->ntMapper->Map(ev, &o->call) == NtOutcome::Reported)
        Report(o, ev.pid, ev.comm);
}

void NtCountUnread(const ntev& ev, void* ctx) {
    auto* o = static_cast<Output*>(ctx);
    if (!IsProcessEvent(ev)) {
        ++o->events;
        ++o->lostEnd;
    }
}

const char* g_createdOut = nullptr; // --out FILE when the hook made it
std::string g_commandFolder;        // where the command starts

[[noreturn]] void Unavailable(const std::string& what) {
    std::fprintf(stderr, "talvek-hook: %s\n", what.c_str());
    if (g_createdOut != nullptr)
        unlink(g_createdOut); // nothing half-started stays
    std::exit(2);
}

// Whether a drive of the prefix lies on a network file system, as the system
// view decides for its names.
bool DriveIsNetwork(const DriveTable& drives, char letter) {
    static const HookLookups host = HostLookups();
    for (const DriveRoot& r : drives.roots) {
        if (r.letter == letter && host.isNetwork)
            return host.isNetwork(r.unixRoot.empty() ? "/" : r.unixRoot);
    }
    return false;
}

int ExitStatusOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

int RunPtrace(const Options& opt, Output* out) {
    StartedCommand cmd;
    std::string why;
    // Without control lines the filter stays as it is: the calls it leaves out
    // need not stop the command at all.
    if (opt.control == nullptr)
        LimitTraceFilter([f = out->filter](const SyscallDecode& d) { return TracedFor(f, d); });
    if (opt.command != nullptr && !StartCommandHeld(opt.command, true, &cmd, &why))
        Unavailable(why);
    const PtraceFollows follows = [](uint32_t pid, int32_t fd, void* ctx) {
        return static_cast<Output*>(ctx)->mapper->Follows(pid, fd);
    };
    PtraceSession* s = PtraceStart(opt.command ? cmd.pid : 0, opt.pids, follows, out, &why);
    if (s == nullptr) {
        if (opt.command != nullptr)
            AbandonCommand(&cmd);
        Unavailable(why);
    }
    PtraceSetAppends(s, [](uint32_t pid, int32_t fd, void* ctx) {
        return static_cast<Output*>(ctx)->mapper->Appends(pid, fd);
    });
    PtraceSetWanted(
        s,
        [](const sysev& entry, void* ctx) {
            return PtraceCallWanted(static_cast<Output*>(ctx)->filter, entry);
        },
        out);
    if (opt.command != nullptr) {
        if (!g_commandFolder.empty())
            out->mapper->SetWorkingFolder(static_cast<uint32_t>(cmd.pid), g_commandFolder);
        ReleaseCommand(&cmd);
    }
    int forwarded = 0;
    while (!out->broken) {
        const int sig = g_stopSignal;
        if (sig != 0 && opt.command == nullptr)
            break;
        if (sig != 0 && forwarded == 0) {
            forwarded = sig; // the command decides; a second signal ends the hook
            g_stopSignal = 0;
            kill(cmd.pid, sig);
        } else if (sig != 0) {
            break;
        }
        ApplyControl(out);
        const int polled = PtracePoll(s, 20, Sink, out);
        out->skipped = PtraceGetCounters(s).skipped;
        out->filteredEarly = PtraceGetCounters(s).unwanted;
        if (polled < 0)
            break;
        Tick(out);
    }
    int status = 0;
    const bool ended = PtraceCommandEnded(s, &status);
    out->skipped = PtraceGetCounters(s).skipped;
    out->filteredEarly = PtraceGetCounters(s).unwanted;
    PtraceStop(s);
    if (opt.command == nullptr)
        return 0;
    const std::string error = CommandStartError(&cmd);
    if (!error.empty())
        std::fprintf(stderr, "talvek-hook: cannot run %s\n", error.c_str());
    return ended ? ExitStatusOf(status) : 128 + (forwarded ? forwarded : SIGTERM);
}

// Whether every process named with --pid has ended (gone, or a zombie).
bool AllGone(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
        char path[32];
        std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
        std::FILE* f = std::fopen(path, "r");
        if (f == nullptr)
            continue;
        char state = 0;
        const bool read = std::fscanf(f, "%*d (%*[^)]) %c", &state) == 1;
        std::fclose(f);
        if (!read || state != 'Z')
            return false;
    }
    return true;
}

// Reads one batch from the ring, decides its failed calls' folders as they were
// at the calls, then maps it.
int PollEbpf(EbpfSession* s, int timeoutMs, Output* out) {
    out->batch.clear();
    const SysevSink collect = [](const sysev& ev, void* ctx) {
        static_cast<std::vector<sysev>*>(ctx)->push_back(ev);
    };
    const int n = EbpfPoll(s, timeoutMs, collect, &out->batch);
    DecideFoldersAtCall(&out->batch, *out->mapper, out->folderExists);
    for (const sysev& ev : out->batch)
        Sink(ev, out);
    return n;
}

// One eBPF view's session as RunEbpf drives it: poll hands records to the
// view's sink, or with countOnly counts them as unread.
struct EbpfView {
    std::function<bool(const EbpfWatch& watch, std::string* why)> start;
    std::function<bool(pid_t pid)> addRoot;
    std::function<int(int timeoutMs, bool countOnly, Output* out)> poll;
    std::function<uint64_t()> lostRing;
    std::function<bool(const IfsFilter& f)> setFilter; // in the kernel, where the view can
    std::function<EbpfFilterCounts()> filterCounts;
    std::function<void()> stop;
};

EbpfView SystemView() {
    auto s = std::make_shared<EbpfSession*>(nullptr);
    EbpfView v;
    v.start = [s](const EbpfWatch& w, std::string* why) { return (*s = EbpfStart(w, why)); };
    v.addRoot = [s](pid_t pid) { return EbpfAddRoot(*s, pid); };
    v.poll = [s](int ms, bool countOnly, Output* o) {
        return countOnly ? EbpfPoll(*s, ms, CountUnread, o) : PollEbpf(*s, ms, o);
    };
    v.lostRing = [s] { return EbpfGetCounters(*s).lostRingFull; };
    v.setFilter = [s](const IfsFilter& f) { return EbpfSetFilter(*s, f); };
    v.filterCounts = [s] { return EbpfGetFilterCounts(*s); };
    v.stop = [s] { EbpfStop(*s); };
    return v;
}

EbpfView WindowsView(const std::vector<WineLib>& libs) {
    auto s = std::make_shared<WineSession*>(nullptr);
    EbpfView v;
    v.start = [s, libs](const EbpfWatch& w, std::string* why) {
        return (*s = WineStart(w, libs, why));
    };
    v.addRoot = [s](pid_t pid) { return WineAddRoot(*s, pid); };
    v.poll = [s](int ms, bool countOnly, Output* o) {
        return WinePoll(*s, ms, countOnly ? NtCountUnread : NtSinkOf, o);
    };
    v.lostRing = [s] { return WineLostRingFull(*s); };
    // The filter acts in user space, on each mapped row.
    v.setFilter = [](const IfsFilter&) { return true; };
    v.filterCounts = [] { return EbpfFilterCounts{}; };
    v.stop = [s] { WineStop(*s); };
    return v;
}

int RunEbpf(const Options& opt, Output* out, const EbpfView& view) {
    EbpfWatch watch;
    watch.all = opt.all;
    watch.roots = opt.pids;
    watch.exclude = opt.exclude;
    watch.exclude.push_back(getpid()); // never the hook itself
    StartedCommand cmd;
    std::string why;
    if (opt.command != nullptr && !StartCommandHeld(opt.command, false, &cmd, &why))
        Unavailable(why);
    const bool started = view.start(watch, &why);
    const bool filtered = started && view.setFilter(out->filter);
    if (started && !filtered)
        why = "the eBPF backend could not take the filter";
    if (!filtered || (opt.command != nullptr && !view.addRoot(cmd.pid))) {
        if (opt.command != nullptr)
            AbandonCommand(&cmd);
        if (started)
            view.stop();
        Unavailable(why.empty() ? "the eBPF backend could not watch the command" : why);
    }
    if (opt.command != nullptr) {
        if (!g_commandFolder.empty())
            out->mapper->SetWorkingFolder(static_cast<uint32_t>(cmd.pid), g_commandFolder);
        ReleaseCommand(&cmd);
    }
    int status = 0;
    bool ended = false;
    int forwarded = 0;
    while (!out->broken) {
        const int sig = g_stopSignal;
        if (sig != 0 && (opt.command == nullptr || forwarded != 0))
            break;
        if (sig != 0) {
            forwarded = sig;
            g_stopSignal = 0;
            kill(cmd.pid, sig);
        }
        if (ApplyControl(out))
            view.setFilter(out->filter);
        if (view.poll(20, false, out) < 0)
            break;
        out->lostRing = view.lostRing();
        Tick(out);
        const bool commandEnded =
            opt.command != nullptr && waitpid(cmd.pid, &status, WNOHANG) == cmd.pid;
        if (commandEnded || (!opt.pids.empty() && AllGone(opt.pids))) {
            ended = commandEnded;
            // What the tree did up to its end is still in the ring; processes
            // it left behind may go on, so the drain is bounded.
            const uint64_t until = Now() + 500000000u;
            while (view.poll(50, false, out) > 0 && Now() < until) {
            }
            // What the time left in the ring is counted as lost, quickly and
            // again within a bound.
            const uint64_t countUntil = Now() + 200000000u;
            while (view.poll(0, true, out) > 0 && Now() < countUntil) {
            }
            break;
        }
    }
    out->lostRing = view.lostRing();
    out->filteredEarly = view.filterCounts().filteredOut;
    out->lostNeeded = view.filterCounts().lostNeeded;
    view.stop();
    if (opt.command == nullptr)
        return 0;
    if (!ended) {
        kill(cmd.pid, SIGKILL);
        waitpid(cmd.pid, &status, 0);
    }
    const std::string error = CommandStartError(&cmd);
    if (!error.empty())
        std::fprintf(stderr, "talvek-hook: cannot run %s\n", error.c_str());
    return ended ? ExitStatusOf(status) : 128 + (forwarded ? forwarded : SIGTERM);
}

} // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);

    std::string why;
    std::vector<WineLib> wineLibs;
    if (opt.view == View::Windows) {
        if (opt.backend == Backend::Ptrace)
            Unavailable(
                "the Windows view needs eBPF: --backend ptrace watches only the system view");
        if (!FindWineLibraries(opt.wineLibs, &wineLibs, &why))
            Unavailable(why);
        if (!EbpfAvailable(&why)) {
            const size_t ptrace = why.find("use --backend ptrace");
            if (ptrace != std::string::npos)
                why.replace(ptrace, std::string::npos, "use --view system");
            Unavailable("the Windows view needs eBPF: " + why);
        }
    }
    Backend backend = opt.backend;
    const bool ebpfReady = backend != Backend::Ptrace && EbpfAvailable(&why);
    if (backend == Backend::Default)
        backend = ebpfReady ? Backend::Ebpf : Backend::Ptrace;
    if (backend == Backend::Ebpf && !ebpfReady)
        Unavailable("the eBPF backend cannot run: " + why);
    if (opt.all && backend != Backend::Ebpf)
        Unavailable("--all needs the eBPF backend" + (why.empty() ? "" : ": " + why) +
                    "; ptrace can watch only --pid N or -- COMMAND");

    Output out;
    if (opt.out != nullptr) {
        const bool existed = access(opt.out, F_OK) == 0;
        out.fd = open(opt.out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out.fd >= 0 && !existed)
            g_createdOut = opt.out;
        if (out.fd < 0) {
            std::fprintf(stderr, "talvek-hook: cannot write %s: %s\n", opt.out, strerror(errno));
            return 1;
        }
    }
    const DriveTable drives = LoadWinePrefixDrives(opt.winePrefix);
    SysevMapper mapper(drives, HostLookups());
    out.mapper = &mapper;
    out.folderExists = HostLookups().folderExists;
    out.forgetState = [&] { mapper = SysevMapper(drives, HostLookups()); };
    out.filter = opt.filter;
    if (opt.control != nullptr) {
        // What the file holds already is the state to start with.
        if (!FilterControlOpen(&out.control, opt.control, &why)) {
            std::fprintf(stderr, "talvek-hook: %s\n", why.c_str());
            return 1;
        }
        ApplyControl(&out);
    }
    NtMapper ntMapper(drives, [&drives](char letter) { return DriveIsNetwork(drives, letter); });
    out.ntMapper = &ntMapper;
    out.lastFlush = Now();

    struct sigaction sa {};
    sa.sa_handler = OnStopSignal; // no SA_RESTART: waits end early
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (opt.command != nullptr) {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) != nullptr)
            g_commandFolder = here; // the command starts in the hook's own folder
    }
    const int status = opt.view == View::Windows  ? RunEbpf(opt, &out, WindowsView(wineLibs))
                       : backend == Backend::Ebpf ? RunEbpf(opt, &out, SystemView())
                                                  : RunPtrace(opt, &out);
    if (Lost(&out) > 0)
        NoteLoss(&out);
    Flush(&out);
    if (opt.out != nullptr)
        close(out.fd);
    std::fprintf(stderr, "talvek-hook: %s\n", Counts(&out).c_str());
    if (out.filtered + out.filteredEarly > 0)
        std::fprintf(stderr,
                     "talvek-hook: %llu calls not asked for (%llu of them left out early)\n",
                     static_cast<unsigned long long>(out.filtered + out.filteredEarly),
                     static_cast<unsigned long long>(out.filteredEarly));
    if (out.lostNeeded > 0)
        std::fprintf(stderr,
                     "talvek-hook: %llu opens, closes and the like not shown were lost with the "
                     "ring buffer full: calls on those descriptors may be missing\n",
                     static_cast<unsigned long long>(out.lostNeeded));
    FilterControlClose(&out.control);
    return status;
}
