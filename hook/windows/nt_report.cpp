#include "hook/windows/nt_report.h"

namespace {

// A process's exit, exec or fork only updates the handles; it is not a call.
bool IsProcessEvent(const ntev& ev) {
    return ev.call == NTEV_PROCESS_EXIT || ev.call == NTEV_PROCESS_EXEC ||
           ev.call == NTEV_PROCESS_FORK;
}

void Write(NtReporter* r, const std::vector<NtHeldRow>& rows) {
    for (const NtHeldRow& row : rows) {
        if (row.none)
            TraceCount(r->out, TraceOutcome::NotReported);
        else
            TraceReport(r->out, row.call, row.pid, row.comm, sizeof row.comm);
    }
}

} // namespace

// A call the mapping does not report (a pipe, a device, a handle not
// followed) is counted as not reported; one whose row waits for a later
// call is counted when that call settles it, before that call's own row.
void NtReporter::TakeSink(const ntev& ev, void* ctx) {
    auto* r = static_cast<NtReporter*>(ctx);
    Write(r, r->mapper.Settle(ev));
    const NtOutcome outcome = r->mapper.Map(ev, &r->call);
    if (IsProcessEvent(ev) || outcome == NtOutcome::Held)
        return;
    if (outcome == NtOutcome::Reported)
        TraceReport(r->out, r->call, ev.pid, ev.comm, sizeof ev.comm);
    else
        TraceCount(r->out, outcome == NtOutcome::LostLongName ? TraceOutcome::LostLongName
                                                              : TraceOutcome::NotReported);
}

void NtReporter::Finish() {
    if (out != nullptr)
        Write(this, mapper.SettleAll());
}

void NtReporter::UnreadSink(const ntev& ev, void* ctx) {
    if (!IsProcessEvent(ev))
        TraceCount(static_cast<NtReporter*>(ctx)->out, TraceOutcome::LostEnd);
}
