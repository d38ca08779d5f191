// talvek-hook: the file-system calls of Linux processes as call-trace lines
// (tools/call_trace.h), one line per call, for the stand-in driver.
//
//   talvek-hook [--view system|windows] [--backend ebpf|ptrace] [--out FILE]
//               [--wine-prefix DIR] [--wine-lib DIR]...
//               (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)
//
// The system view (hook/syscalls/) shows the Linux file calls; the Windows
// view (hook/wine/) the NT file calls that Windows programs make to Wine.
//
// Exit status: the command's (128 + signal when a signal ended it) with
// -- COMMAND, else 0; 2 when no backend can watch what was asked, 1 on a
// usage error or a failure on the way.
#include <errno.h>
#include <fcntl.h>
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
#include "hook/syscalls/ebpf_backend.h"
#include "hook/syscalls/host_lookups.h"
#include "hook/syscalls/ptrace_backend.h"
#include "hook/syscalls/sysev_map.h"
#include "hook/wine/nt_map.h"
#include "hook/wine/wine_backend.h"

namespace {

constexpr uint64_t kFlushNs = 50000000;      // output leaves at least every 50 ms
constexpr uint64_t kLossNoteNs = 5000000000; // a # line with the counts while calls are lost
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
                 "                   [--wine-prefix DIR] [--wine-lib DIR]...\n"
                 "                   (--all [--exclude-pid N]... | --pid N | -- COMMAND ARGS...)\n",
                 what);
    std::exit(1);
}

pid_t PidArgument(const char* text) {
    char* end;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value <= 0 || value > 0x3FFFFFFF)
        Usage("a process id must be a positive number");
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
                Usage((arg + " needs a value").c_str());
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
            o.pids.push_back(PidArgument(value()));
        } else if (arg == "--exclude-pid") {
            o.exclude.push_back(PidArgument(value()));
        } else if (arg == "--backend") {
            const std::string b = value();
            if (b == "ebpf")
                o.backend = Backend::Ebpf;
            else if (b == "ptrace")
                o.backend = Backend::Ptrace;
            else
                Usage("--backend is ebpf or ptrace");
        } else if (arg == "--out") {
            o.out = value();
        } else if (arg == "--wine-prefix") {
            o.winePrefix = value();
        } else if (arg == "--view") {
            const std::string v = value();
            if (v == "system")
                o.view = View::System;
            else if (v == "windows")
                o.view = View::Windows;
            else
                Usage("--view is system or windows");
        } else if (arg == "--wine-lib") {
            o.wineLibs.push_back(value());
        } else {
            Usage(("unknown argument " + arg).c_str());
        }
    }
    const int watches = (o.all ? 1 : 0) + (o.pids.empty() ? 0 : 1) + (o.command ? 1 : 0);
    if (watches != 1)
        Usage("give exactly one of --all, --pid N, -- COMMAND");
    if (!o.exclude.empty() && !o.all)
        Usage("--exclude-pid goes with --all");
    return o;
}

// The output, its buffer and the counts.
struct Output {
    int fd = 1;
    std::string buffer;
    uint64_t lastFlush = 0;
    uint64_t lastLossNote = 0;
    bool broken = false; // the reader went away
    SysevMapper* mapper = nullptr;
    NtMapper* ntMapper = nullptr; // the Windows view's
    uint64_t events = 0;          // calls handed over by the backend
    uint64_t pending = 0;         // lines in the buffer
    uint64_t written = 0;         // lines the reader took
    uint64_t lostName = 0;
    uint64_t lostRing = 0; // from the backend
    uint64_t lostEnd = 0;  // still in the ring when the hook stopped reading
    uint64_t lostOut = 0;  // formatted, but the reader went away or the hook was stopped
    uint64_t skipped = 0;  // calls the backend let run unread (not reported)
    IfsCall call;
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
    return o->lostName + o->lostRing + o->lostEnd + o->lostOut;
}

std::string Counts(const Output* o) {
    char text[256];
    std::snprintf(
        text, sizeof text,
        "%llu calls seen, %llu written, %llu lost (%llu ring buffer full, %llu names "
        "unreadable, %llu unread at the end, %llu not written)",
        static_cast<unsigned long long>(o->events + o->lostRing + o->skipped),
        static_cast<unsigned long long>(o->written), static_cast<unsigned long long>(Lost(o)),
        static_cast<unsigned long long>(o->lostRing), static_cast<unsigned long long>(o->lostName),
        static_cast<unsigned long long>(o->lostEnd), static_cast<unsigned long long>(o->lostOut));
    return text;
}

// Called often: flushes every 50 ms and notes losses every 5 s.
void Tick(Output* o) {
    const uint64_t now = Now();
    if (Lost(o) > 0 && now - o->lastLossNote >= kLossNoteNs) {
        o->buffer += "# talvek-hook: " + Counts(o) + "\n";
        o->lastLossNote = now;
    }
    if (!o->buffer.empty() && (now - o->lastFlush >= kFlushNs || o->buffer.size() > kOutBufferMax))
        Flush(o);
}

// Appends the line of o->call; comm is a record's 16-byte name field.
void Report(Output* o, uint32_t pid, const char* comm16) {
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
        break;
    case MapOutcome::Lost:
        ++o->lostName;
        break;
    case MapOutcome::NotReported:
        break;
    }
}

// A call still in the ring when the hook must stop reading: counted, not written.
void CountUnread(const sysev& ev, void* ctx) {
    auto* o = static_cast<Output*>(ctx);
    if (!IsProcessEvent(ev)) {
        ++o->events;
        ++o->lostEnd;
    }
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
    if (opt.command != nullptr)
        ReleaseCommand(&cmd);
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
        const int polled = PtracePoll(s, 20, Sink, out);
        out->skipped = PtraceGetCounters(s).skipped;
        if (polled < 0)
            break;
        Tick(out);
    }
    int status = 0;
    const bool ended = PtraceCommandEnded(s, &status);
    out->skipped = PtraceGetCounters(s).skipped;
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

// One eBPF view's session as RunEbpf drives it: poll hands records to the
// view's sink, or with countOnly counts them as unread.
struct EbpfView {
    std::function<bool(const EbpfWatch& watch, std::string* why)> start;
    std::function<bool(pid_t pid)> addRoot;
    std::function<int(int timeoutMs, bool countOnly, Output* out)> poll;
    std::function<uint64_t()> lostRing;
    std::function<void()> stop;
};

EbpfView SystemView() {
    auto s = std::make_shared<EbpfSession*>(nullptr);
    EbpfView v;
    v.start = [s](const EbpfWatch& w, std::string* why) { return (*s = EbpfStart(w, why)); };
    v.addRoot = [s](pid_t pid) { return EbpfAddRoot(*s, pid); };
    v.poll = [s](int ms, bool countOnly, Output* o) {
        return EbpfPoll(*s, ms, countOnly ? CountUnread : Sink, o);
    };
    v.lostRing = [s] { return EbpfGetCounters(*s).lostRingFull; };
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
    if (!started || (opt.command != nullptr && !view.addRoot(cmd.pid))) {
        if (opt.command != nullptr)
            AbandonCommand(&cmd);
        if (started)
            view.stop();
        Unavailable(why.empty() ? "the eBPF backend could not watch the command" : why);
    }
    if (opt.command != nullptr)
        ReleaseCommand(&cmd);
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
    NtMapper ntMapper(drives, [&drives](char letter) { return DriveIsNetwork(drives, letter); });
    out.ntMapper = &ntMapper;
    out.lastFlush = out.lastLossNote = Now();

    struct sigaction sa {};
    sa.sa_handler = OnStopSignal; // no SA_RESTART: waits end early
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const int status = opt.view == View::Windows  ? RunEbpf(opt, &out, WindowsView(wineLibs))
                       : backend == Backend::Ebpf ? RunEbpf(opt, &out, SystemView())
                                                  : RunPtrace(opt, &out);
    Flush(&out);
    if (opt.out != nullptr)
        close(out.fd);
    std::fprintf(stderr, "talvek-hook: %s\n", Counts(&out).c_str());
    return status;
}
