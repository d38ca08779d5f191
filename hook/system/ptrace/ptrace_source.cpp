// The system view under ptrace as a source: the command runs under the
// seccomp filter, each call mapped as its exit is read; the monitor's filter
// decides at each call's entry whether its exit is wanted.
#include "hook/system/ptrace/ptrace_source.h"

#include <utility>

#include "hook/system/ptrace/ptrace_backend.h"
#include "hook/system/ptrace/ptrace_filter.h"
#include "hook/system/ptrace/seccomp_filter.h"
#include "hook/system/sysev_report.h"

namespace {

const ChildSetUp kSeccompSetUp = {"seccomp", InstallTraceFilter};

class SystemPtraceSource : public Source {
  public:
    explicit SystemPtraceSource(DriveTable drives) : reporter_(std::move(drives)) {}

    const ChildSetUp* Prepare(const IfsFilter& filter, bool filterFixed) override {
        // A filter that stays as it is: the calls it leaves out need not stop
        // the command at all.
        if (filterFixed)
            LimitTraceFilter([filter](const SyscallDecode& d) { return TracedFor(filter, d); });
        return &kSeccompSetUp;
    }

    bool Start(const SourceWatch& w, TraceOutput* out, std::string* why) override {
        out_ = out;
        reporter_.Start(out);
        session_ = PtraceStart(w.command, w.pids, Follows, this, why);
        if (session_ == nullptr)
            return false;
        PtraceSetAppends(session_, Appends);
        PtraceSetWanted(session_, Wanted, this);
        return true;
    }

    void SetWorkingFolder(pid_t pid, const std::string& folder) override {
        reporter_.Mapper().SetWorkingFolder(static_cast<uint32_t>(pid), folder);
    }

    // Wanted reads the filter from the output at each call.
    void SetFilter(const IfsFilter& f) override { reporter_.SetFilter(f); }

    int Poll(int timeoutMs) override {
        const int n = PtracePoll(session_, timeoutMs, SysevReporter::TakeSink, &reporter_);
        TakeCounts();
        return n;
    }

    bool Traces() const override { return true; }

    bool CommandEnded(int* status) override { return PtraceCommandEnded(session_, status); }

    void StopWatching() override {
        TakeCounts();
        PtracePassThrough(session_);
    }

    void Stop() override {
        if (session_ == nullptr)
            return;
        TakeCounts();
        PtraceStop(session_);
        session_ = nullptr;
    }

  private:
    void TakeCounts() {
        const PtraceCounters c = PtraceGetCounters(session_);
        out_->counts.skipped = c.skipped;
        out_->counts.filteredEarly = c.unwanted;
    }

    static bool Follows(uint32_t pid, int32_t fd, void* ctx) {
        return static_cast<SystemPtraceSource*>(ctx)->reporter_.Mapper().Follows(pid, fd);
    }
    static bool Appends(uint32_t pid, int32_t fd, void* ctx) {
        return static_cast<SystemPtraceSource*>(ctx)->reporter_.Mapper().Appends(pid, fd);
    }
    static bool Wanted(const sysev& entry, void* ctx) {
        return PtraceCallWanted(static_cast<SystemPtraceSource*>(ctx)->reporter_.Filter(), entry);
    }

    SysevReporter reporter_;
    PtraceSession* session_ = nullptr;
    TraceOutput* out_ = nullptr;
};

} // namespace

std::unique_ptr<Source> MakeSystemPtraceSource(DriveTable drives) {
    return std::make_unique<SystemPtraceSource>(std::move(drives));
}
