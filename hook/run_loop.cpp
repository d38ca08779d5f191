// The hook's one run loop (run_loop.h).
#include "hook/run_loop.h"

#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "hook/command_start.h"
#include "hook/proc_text.h"

namespace {

constexpr int kPollMs = 20;
constexpr uint64_t kDrainGuardNs = 10000000000; // reading until empty, bounded as a guard only
constexpr uint64_t kDrainEarlyNs = 500000000;   // leaving early: what is there, briefly
constexpr uint64_t kCountUnreadNs = 200000000;  // then what is left, counted as lost

volatile sig_atomic_t g_stopSignal = 0;
volatile sig_atomic_t g_stopWatching = 0;

void OnStopSignal(int sig) {
    g_stopSignal = sig;
}

void OnStopWatching(int) {
    g_stopWatching = 1;
}

// SIGINT and SIGTERM stop the command (then the hook); SIGUSR1 stops only
// the watching, the command runs on.
void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal; // no SA_RESTART: waits end early
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = OnStopWatching;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// Passes the first stop signal on to the command, which decides; true when
// the hook is to end (a second one, or any without a command).
bool HookToEnd(pid_t command, int* forwarded) {
    const int sig = g_stopSignal;
    if (sig == 0)
        return false;
    if (command == 0 || *forwarded != 0)
        return true;
    *forwarded = sig;
    g_stopSignal = 0;
    kill(command, sig);
    return false;
}

int ExitStatusOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

// Whether every process named with --pid has ended (gone, or a zombie).
bool AllGone(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
        char path[32];
        std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
        std::string text;
        if (!ReadProcText(path, &text, 4096))
            continue;
        ProcStat stat;
        if (!ParseProcStat(text.data(), text.size(), &stat) || stat.state != 'Z')
            return false;
    }
    return true;
}

// Applies the control lines that arrived.
void ApplyControl(FilterControl* control, Source* source, TraceOutput* out) {
    IfsFilter next = out->filter;
    if (control == nullptr || !FilterControlPoll(control, &next))
        return;
    source->SetFilter(next);
    out->filter = next;
}

// For a source that watches from the side: whether the command (reaped here,
// its wait status in *wait) or every --pid tree has ended.
bool WatchEnded(const RunSetUp& run, pid_t command, bool* commandEnded, int* wait) {
    *commandEnded = command > 0 && waitpid(command, wait, WNOHANG) == command;
    return *commandEnded || (!run.watch.pids.empty() && AllGone(run.watch.pids));
}

// Reads what the source holds until it is empty, a stop signal comes or
// `bound` passes; what is left then is counted as lost, quickly and again
// within a bound. At the command's end the ring holds the tree's last calls:
// written to a file, the output never waits for a reader, so reading until
// the ring is empty is quick, and the bound is only a guard against
// processes the tree left behind that keep the ring from emptying.
void Drain(Source* source, uint64_t bound) {
    const uint64_t until = NowNs() + bound;
    while (g_stopSignal == 0 && NowNs() < until && source->Poll(0) > 0) {
    }
    const uint64_t countUntil = NowNs() + kCountUnreadNs;
    while (source->CountUnread(0) > 0 && NowNs() < countUntil) {
    }
}

// The watch ended early (SIGUSR1, or the output broke): the watched
// processes run on unwatched. The trace is closed with the counts at once;
// then, with a command, the hook waits for it, still passing stop signals
// on. A tracing source stays attached as a pass-through until the tree ends
// (its processes run under a seccomp filter that, without a tracer, would
// fail every watched call with ENOSYS). *ended tells whether the command
// ended, its wait status in *wait.
void RunUnwatched(Source* source, pid_t command, TraceOutput* out, int* forwarded, bool* ended,
                  int* wait) {
    if (!source->Traces())
        Drain(source, kDrainEarlyNs);
    source->StopWatching();
    TraceEnd(out);
    if (command == 0)
        return;
    std::fprintf(stderr, "talvek-hook: watching stopped; waiting for the command to end\n");
    while (!HookToEnd(command, forwarded)) {
        if (source->Traces()) {
            if (source->Poll(kPollMs) < 0)
                break;
        } else if (waitpid(command, wait, WNOHANG) == command) {
            *ended = true;
            return;
        } else {
            usleep(kPollMs * 1000);
        }
    }
}

// Starts the command held, then the source on it; false with `why`, and
// nothing left started, when either cannot.
bool StartWatch(Source* source, const RunSetUp& run, TraceOutput* out, StartedCommand* cmd,
                std::string* why) {
    const ChildSetUp* setUp = source->Prepare(out->filter, run.control == nullptr);
    if (run.command != nullptr && !StartCommandHeld(run.command, setUp, cmd, why))
        return false;
    SourceWatch watch = run.watch;
    watch.exclude.push_back(getpid()); // never the hook itself
    watch.command = run.command != nullptr ? cmd->pid : 0;
    if (!source->Start(watch, out, why)) {
        if (run.command != nullptr)
            AbandonCommand(cmd);
        source->Stop();
        return false;
    }
    if (run.command != nullptr) {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) != nullptr)
            source->SetWorkingFolder(cmd->pid, here); // the command starts in the hook's folder
        ReleaseCommand(cmd);
    }
    return true;
}

} // namespace

bool RunWatch(Source* source, const RunSetUp& run, TraceOutput* out, int* status,
              std::string* why) {
    g_stopSignal = 0;
    g_stopWatching = 0;
    CatchStopSignals();
    out->stop = &g_stopSignal;
    StartedCommand cmd;
    if (!StartWatch(source, run, out, &cmd, why))
        return false;
    const pid_t command = run.command != nullptr ? cmd.pid : 0;
    int forwarded = 0;
    bool ended = false;
    int wait = 0;
    for (;;) {
        if (g_stopWatching != 0 || out->broken) {
            RunUnwatched(source, command, out, &forwarded, &ended, &wait);
            break;
        }
        if (HookToEnd(command, &forwarded))
            break;
        ApplyControl(run.control, source, out);
        if (source->Poll(kPollMs) < 0)
            break;
        TraceTick(out);
        if (!source->Traces() && WatchEnded(run, command, &ended, &wait)) {
            Drain(source, kDrainGuardNs);
            break;
        }
    }
    if (source->Traces() && !ended)
        ended = source->CommandEnded(&wait);
    source->Stop();
    *status = 0;
    if (command == 0)
        return true;
    if (!ended && !source->Traces()) {
        kill(command, SIGKILL);
        waitpid(command, &wait, 0);
    }
    const std::string error = CommandStartError(&cmd);
    if (!error.empty())
        std::fprintf(stderr, "talvek-hook: cannot run %s\n", error.c_str());
    *status = ended ? ExitStatusOf(wait) : 128 + (forwarded ? forwarded : SIGTERM);
    return true;
}
