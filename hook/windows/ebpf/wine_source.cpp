// The Windows view under eBPF as a source: the NT calls read from the ring
// and mapped; the monitor's filter acts in the output, on each mapped row.
#include "hook/windows/ebpf/wine_source.h"

#include <utility>

#include "hook/windows/ebpf/wine_backend.h"
#include "hook/windows/nt_report.h"

namespace {

class WindowsEbpfSource : public Source {
  public:
    WindowsEbpfSource(DriveTable drives, std::function<bool(char)> driveIsNetwork,
                      std::vector<WineLib> libs)
        : reporter_{NtMapper(std::move(drives), std::move(driveIsNetwork)), nullptr, {}},
          libs_(std::move(libs)) {}

    bool Start(const SourceWatch& w, TraceOutput* out, std::string* why) override {
        out_ = out;
        reporter_.out = out;
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
        const int n = WinePoll(session_, timeoutMs, NtReporter::TakeSink, &reporter_);
        out_->counts.lostRing = WineLostRingFull(session_);
        return n;
    }

    int CountUnread(int timeoutMs) override {
        return WinePoll(session_, timeoutMs, NtReporter::UnreadSink, &reporter_);
    }

    void Stop() override {
        if (session_ == nullptr)
            return;
        out_->counts.lostRing = WineLostRingFull(session_);
        reporter_.Finish();
        WineStop(session_);
        session_ = nullptr;
    }

  private:
    NtReporter reporter_;
    std::vector<WineLib> libs_;
    WineSession* session_ = nullptr;
    TraceOutput* out_ = nullptr;
};

} // namespace

std::unique_ptr<Source> MakeWindowsEbpfSource(DriveTable drives,
                                              std::function<bool(char letter)> driveIsNetwork,
                                              std::vector<WineLib> libs) {
    return std::make_unique<WindowsEbpfSource>(std::move(drives), std::move(driveIsNetwork),
                                               std::move(libs));
}
