// The Windows view under eBPF as a source: the NT calls read from the ring
// and mapped; the monitor's filter acts in the output, on each mapped row.
#include "hook/windows/ebpf/wine_source.h"

#include <utility>

#include "hook/windows/ebpf/wine_backend.h"
#include "hook/windows/nt_map.h"

namespace {

// A process's exit or exec drops its handles; it is not a call.
bool IsProcessEvent(const ntev& ev) {
    return ev.call == NTEV_PROCESS_EXIT || ev.call == NTEV_PROCESS_EXEC ||
           ev.call == NTEV_PROCESS_FORK;
}

class WindowsEbpfSource : public Source {
  public:
    WindowsEbpfSource(DriveTable drives, std::function<bool(char)> driveIsNetwork,
                      std::vector<WineLib> libs)
        : mapper_(std::move(drives), std::move(driveIsNetwork)), libs_(std::move(libs)) {}

    bool Start(const SourceWatch& w, TraceOutput* out, std::string* why) override {
        out_ = out;
        session_ = WineStart(EbpfWatch{w.all, w.pids, w.exclude}, libs_, why);
        if (session_ == nullptr)
            return false;
        if (w.command > 0 && !WineAddRoot(session_, w.command)) {
            *why = "the eBPF backend could not watch the command";
            return false;
        }
        return true;
    }

    // The output applies the filter to each mapped row.
    void SetFilter(const IfsFilter&) override {}

    int Poll(int timeoutMs) override {
        const int n = WinePoll(session_, timeoutMs, TakeSink, this);
        out_->counts.lostRing = WineLostRingFull(session_);
        return n;
    }

    int CountUnread(int timeoutMs) override {
        return WinePoll(session_, timeoutMs, UnreadSink, this);
    }

    void Stop() override {
        if (session_ == nullptr)
            return;
        out_->counts.lostRing = WineLostRingFull(session_);
        WineStop(session_);
        session_ = nullptr;
    }

  private:
    // A call the mapping does not report (a pipe, a device, a handle not
    // followed) is counted as not reported.
    static void TakeSink(const ntev& ev, void* ctx) {
        auto* s = static_cast<WindowsEbpfSource*>(ctx);
        const NtOutcome outcome = s->mapper_.Map(ev, &s->call_);
        if (IsProcessEvent(ev))
            return;
        if (outcome == NtOutcome::Reported)
            TraceReport(s->out_, s->call_, ev.pid, ev.comm, sizeof ev.comm);
        else
            TraceCount(s->out_, outcome == NtOutcome::LostLongName ? TraceOutcome::LostLongName
                                                                   : TraceOutcome::NotReported);
    }

    static void UnreadSink(const ntev& ev, void* ctx) {
        if (!IsProcessEvent(ev))
            TraceCount(static_cast<WindowsEbpfSource*>(ctx)->out_, TraceOutcome::LostEnd);
    }

    NtMapper mapper_;
    std::vector<WineLib> libs_;
    WineSession* session_ = nullptr;
    TraceOutput* out_ = nullptr;
    IfsCall call_;
};

} // namespace

std::unique_ptr<Source> MakeWindowsEbpfSource(DriveTable drives,
                                              std::function<bool(char letter)> driveIsNetwork,
                                              std::vector<WineLib> libs) {
    return std::make_unique<WindowsEbpfSource>(std::move(drives), std::move(driveIsNetwork),
                                               std::move(libs));
}
