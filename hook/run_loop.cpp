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
constexpr int kDrainPollMs = 50;
constexpr uint64_t kDrainNs = 500000000;       // what the tree did up to its end
constexpr uint64_t kCountUnreadNs = 200000000; // then what is left, counted as lost

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int sig) {
    g_stopSignal = sig;
}

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal; // no SA_RESTART: waits end early
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
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

// What the tree did up to its end is still in the source; processes it left
// behind may go on, so the drain is bounded. What the time left is counted
// as lost, quickly and again within a bound.
void Drain(Source* source) {
    const uint64_t until = NowNs() + kDrainNs;
    while (source->Poll(kDrainPollMs) > 0 && NowNs() < until) {
    }
    const uint64_t countUntil = NowNs() + kCountUnreadNs;
    while (source->CountUnread(0) > 0 && NowNs() < countUntil) {
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
    CatchStopSignals();
    out->stop = &g_stopSignal;
    StartedCommand cmd;
    if (!StartWatch(source, run, out, &cmd, why))
        return false;
    const pid_t command = run.command != nullptr ? cmd.pid : 0;
    int forwarded = 0;
    bool ended = false;
    int wait = 0;
    while (!out->broken) {
        const int sig = g_stopSignal;
        if (sig != 0 && (command == 0 || forwarded != 0))
            break;
        if (sig != 0) {
            forwarded = sig; // the command decides; a second signal ends the hook
            g_stopSignal = 0;
            kill(command, sig);
        }
        ApplyControl(run.control, source, out);
        if (source->Poll(kPollMs) < 0)
            break;
        TraceTick(out);
        if (!source->Traces() && WatchEnded(run, command, &ended, &wait)) {
            Drain(source);
            break;
        }
    }
    if (source->Traces())
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
