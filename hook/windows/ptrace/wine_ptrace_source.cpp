// The Windows view under ptrace as a source: the tracer hands each call's
// record as the call returns; the monitor's filter acts in the output, on
// each mapped row.
#include "hook/windows/ptrace/wine_ptrace_source.h"

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
        session_ = WineTraceStart(w.command, w.pids, plans_, why);
        return session_ != nullptr;
    }

    void SetFilter(const IfsFilter&) override {}

    int Poll(int timeoutMs) override {
        return WineTracePoll(session_, timeoutMs, NtReporter::TakeSink, &reporter_);
    }

    bool Traces() const override { return true; }

    bool CommandEnded(int* status) override { return WineTraceCommandEnded(session_, status); }

    void Stop() override {
        if (session_ != nullptr)
            WineTraceStop(session_);
        session_ = nullptr;
    }

  private:
    NtReporter reporter_;
    std::vector<LibPlan> plans_;
    WineTraceSession* session_ = nullptr;
};

} // namespace

std::unique_ptr<Source> MakeWindowsPtraceSource(DriveTable drives,
                                                std::function<bool(char letter)> driveIsNetwork,
                                                std::vector<LibPlan> plans) {
    return std::make_unique<WindowsPtraceSource>(std::move(drives), std::move(driveIsNetwork),
                                                 std::move(plans));
}
