// The system view's records to the output (sysev_report.h).
#include "hook/system/sysev_report.h"

#include <utility>

#include "hook/system/host_lookups.h"
#include "hook/system/sysev_filter.h"

namespace {

// Fork, exec and exit change the mapper's state; they are not calls.
bool IsProcessEvent(const sysev& ev) {
    return ev.call == SYSEV_FORK || ev.call == SYSEV_EXEC || ev.call == SYSEV_EXIT;
}

} // namespace

SysevReporter::SysevReporter(DriveTable drives)
    : drives_(drives), mapper_(std::move(drives), HostLookups()) {}

void SysevReporter::Take(const sysev& ev) {
    const MapOutcome outcome = mapper_.Map(ev, &call_);
    if (IsProcessEvent(ev))
        return;
    switch (outcome) {
    case MapOutcome::Reported:
        TraceReport(out_, call_, ev.pid, ev.comm, sizeof ev.comm);
        // A copy's second row counts as a call of its own.
        if (mapper_.TakeSecond(&call_))
            TraceReport(out_, call_, ev.pid, ev.comm, sizeof ev.comm);
        break;
    case MapOutcome::Lost:
        TraceCount(out_, SysevMayShow(Filter(), ev.call) ? TraceOutcome::LostName
                                                         : TraceOutcome::Filtered);
        break;
    case MapOutcome::LostLongName:
        TraceCount(out_, TraceOutcome::LostLongName);
        break;
    case MapOutcome::LostOutsideRoot:
        TraceCount(out_, TraceOutcome::LostOutsideRoot);
        break;
    case MapOutcome::LostDescriptor:
        TraceCount(out_, TraceOutcome::LostDescriptor);
        break;
    case MapOutcome::NotReported:
        TraceCount(out_, TraceOutcome::NotReported);
        break;
    }
}

void SysevReporter::CountUnread(const sysev& ev) {
    if (IsProcessEvent(ev))
        return;
    if (SysevMayShow(Filter(), ev.call) && SysevResultMayShow(Filter(), ev.call, ev.ret))
        TraceCount(out_, TraceOutcome::LostEnd);
    else if (SysevCallFilterOf(ev.call).funcs != 0)
        TraceCount(out_, TraceOutcome::Filtered);
    else
        TraceCount(out_, TraceOutcome::NotReported); // no IFS counterpart
}

void SysevReporter::SetFilter(const IfsFilter& f) {
    bool stale = false;
    for (uint16_t call = 0; call < SYSEV_CALL_COUNT; ++call)
        stale = stale || (SysevNeeded(f, call) && !SysevNeeded(Filter(), call));
    if (stale)
        mapper_ = SysevMapper(drives_, HostLookups());
}

void SysevReporter::TakeSink(const sysev& ev, void* ctx) {
    static_cast<SysevReporter*>(ctx)->Take(ev);
}

void SysevReporter::UnreadSink(const sysev& ev, void* ctx) {
    static_cast<SysevReporter*>(ctx)->CountUnread(ev);
}
