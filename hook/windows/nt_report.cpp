#include "hook/windows/nt_report.h"

namespace {

// A process's exit, exec or fork only updates the handles; it is not a call.
bool IsProcessEvent(const ntev& ev) {
    return ev.call == NTEV_PROCESS_EXIT || ev.call == NTEV_PROCESS_EXEC ||
           ev.call == NTEV_PROCESS_FORK;
}

} // namespace

// A call the mapping does not report (a pipe, a device, a handle not
// followed) is counted as not reported.
void NtReporter::TakeSink(const ntev& ev, void* ctx) {
    auto* r = static_cast<NtReporter*>(ctx);
    const NtOutcome outcome = r->mapper.Map(ev, &r->call);
    if (IsProcessEvent(ev))
        return;
    if (outcome == NtOutcome::Reported)
        TraceReport(r->out, r->call, ev.pid, ev.comm, sizeof ev.comm);
    else
        TraceCount(r->out, outcome == NtOutcome::LostLongName ? TraceOutcome::LostLongName
                                                              : TraceOutcome::NotReported);
}

void NtReporter::UnreadSink(const ntev& ev, void* ctx) {
    if (!IsProcessEvent(ev))
        TraceCount(static_cast<NtReporter*>(ctx)->out, TraceOutcome::LostEnd);
}
