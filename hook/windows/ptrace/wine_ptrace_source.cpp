// The Windows view under ptrace as a source: the tracer hands each call's
// record as the call returns; the monitor's filter acts in the output, on
// each mapped row.
#include "hook/windows/ptrace/wine_ptrace_source.h"

#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "hook/windows/nt_report.h"
#include "hook/windows/ptrace/wine_tracer.h"

namespace {

class WindowsPtraceSource : public Source {
  public:
    WindowsPtraceSource(DriveTable drives, std::function<bool(char)> driveIsNetwork,
                        std::vector<LibPlan> plans)
        : reporter_{NtMapper(std::move(drives), std::move(driveIsNetwork)), nullptr, {}},
          plans_(std::move(plans)) {}

    bool Start(const SourceWatch& w, TraceOutput* out, std::string* why) override {
        reporter_.out = out;
        command_ = w.command;
        session_ = WineTraceStart(w.command, w.pids, plans_, why);
        return session_ != nullptr;
    }

    void SetFilter(const IfsFilter&) override {}

    int Poll(int timeoutMs) override {
        if (session_ != nullptr)
            return WineTracePoll(session_, timeoutMs, NtReporter::TakeSink, &reporter_);
        // Detached: the command, still the hook's child, runs on to its end.
        if (command_ > 0 && !ended_ && waitpid(command_, &status_, WNOHANG) == command_)
            ended_ = true;
        if (command_ <= 0 || ended_)
            return -1;
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        return 0;
    }

    bool Traces() const override { return true; }

    bool CommandEnded(int* status) override {
        if (session_ != nullptr)
            return WineTraceCommandEnded(session_, status);
        *status = status_;
        return ended_;
    }

    // Nothing of the tracer's stays in the processes: they run on untraced.
    void StopWatching() override { Stop(); }

    void Stop() override {
        reporter_.Finish();
        if (session_ != nullptr) {
            ended_ = WineTraceCommandEnded(session_, &status_);
            WineTraceStop(session_);
        }
        session_ = nullptr;
    }

  private:
    NtReporter reporter_;
    std::vector<LibPlan> plans_;
    WineTraceSession* session_ = nullptr;
    pid_t command_ = 0;
    bool ended_ = false; // the command's end, once detached
    int status_ = 0;
};

} // namespace

std::unique_ptr<Source> MakeWindowsPtraceSource(DriveTable drives,
                                                std::function<bool(char letter)> driveIsNetwork,
                                                std::vector<LibPlan> plans) {
    return std::make_unique<WindowsPtraceSource>(std::move(drives), std::move(driveIsNetwork),
                                                 std::move(plans));
}
