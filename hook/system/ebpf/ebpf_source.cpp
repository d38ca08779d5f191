// The system view under eBPF as a source: the ring's records read in
// batches, each batch's failed calls given the folders as they were at the
// calls, then mapped; the monitor's filter applied in the kernel.
#include "hook/system/process_root.h"
#include "hook/system/ebpf/ebpf_source.h"

#include <utility>
#include <vector>

#include "hook/system/ebpf/ebpf_backend.h"
#include "hook/system/ebpf/ebpf_filter.h"
#include "hook/system/folder_at_call.h"
#include "hook/system/host_lookups.h"
#include "hook/system/sysev_report.h"

namespace {

class SystemEbpfSource : public Source {
  public:
    explicit SystemEbpfSource(DriveTable drives)
        : reporter_(std::move(drives)), folderExists_(HostLookups().folderExists) {}

    bool Start(const SourceWatch& w, TraceOutput* out, std::string* why) override {
        out_ = out;
        reporter_.Start(out);
        session_ = EbpfStart(EbpfWatch{w.all, w.pids, w.exclude}, why);
        if (session_ == nullptr)
            return false;
        if (!EbpfSetFilter(session_, out->filter)) {
            *why = "the eBPF backend could not take the filter";
            return false;
        }
        if (w.command > 0 && !EbpfAddRoot(session_, w.command)) {
            *why = "the eBPF backend could not watch the command";
            return false;
        }
        return true;
    }

    void SetWorkingFolder(pid_t pid, const std::string& folder) override {
        reporter_.Mapper().SetWorkingFolder(static_cast<uint32_t>(pid), folder);
    }

    void SetFilter(const IfsFilter& f) override {
        reporter_.SetFilter(f);
        EbpfSetFilter(session_, f);
    }

    int Poll(int timeoutMs) override {
        batch_.clear();
        const int n = EbpfPoll(session_, timeoutMs, Collect, &batch_);
        DecideFoldersAtCall(&batch_, reporter_.Mapper(), folderExists_, ProcessRoot);
        for (const sysev& ev : batch_)
            reporter_.Take(ev);
        out_->counts.lostRing = EbpfGetCounters(session_).lostRingFull;
        return n;
    }

    int CountUnread(int timeoutMs) override {
        return EbpfPoll(session_, timeoutMs, SysevReporter::UnreadSink, &reporter_);
    }

    void Stop() override {
        if (session_ == nullptr)
            return;
        const EbpfFilterCounts filter = EbpfGetFilterCounts(session_);
        out_->counts.lostRing = EbpfGetCounters(session_).lostRingFull;
        out_->counts.filteredEarly = filter.filteredOut;
        out_->counts.lostNeeded = filter.lostNeeded;
        EbpfStop(session_);
        session_ = nullptr;
    }

  private:
    static void Collect(const sysev& ev, void* ctx) {
        static_cast<std::vector<sysev>*>(ctx)->push_back(ev);
    }

    SysevReporter reporter_;
    std::function<bool(const std::string&)> folderExists_;
    EbpfSession* session_ = nullptr;
    TraceOutput* out_ = nullptr;
    std::vector<sysev> batch_; // the records of one poll
};

} // namespace

std::unique_ptr<Source> MakeSystemEbpfSource(DriveTable drives) {
    return std::make_unique<SystemEbpfSource>(std::move(drives));
}
