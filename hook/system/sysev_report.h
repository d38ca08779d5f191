// What the system view's sources (hook/system/ebpf/, hook/system/ptrace/)
// share: the mapper, and each record to the output, mapped to its rows or
// counted as what became of it.
#pragma once

#include "hook/dos_name.h"
#include "trace/ifs_call.h"
#include "trace/ifs_filter.h"
#include "hook/system/syscall_event.h"
#include "hook/system/sysev_map.h"
#include "hook/trace_output.h"

class SysevReporter {
  public:
    explicit SysevReporter(DriveTable drives);

    // From now on records go to out, under out->filter.
    void Start(TraceOutput* out) { out_ = out; }

    SysevMapper& Mapper() { return mapper_; }
    const IfsFilter& Filter() const { return out_->filter; }

    // Maps a record: its rows to the output, or what became of the call.
    void Take(const sysev& ev);

    // A record still in the ring when the hook must stop reading: counted,
    // not mapped.
    void CountUnread(const sysev& ev);

    // The filter becomes f (the output still holds the one before). When the
    // mapper is to see calls it did not see so far (monitoring turned on, a
    // function that needs the descriptors), what it knew is stale: it starts
    // afresh, as if the hook had just started.
    void SetFilter(const IfsFilter& f);

    // Take and CountUnread as backend sinks, ctx the reporter.
    static void TakeSink(const sysev& ev, void* ctx);
    static void UnreadSink(const sysev& ev, void* ctx);

  private:
    DriveTable drives_;
    SysevMapper mapper_;
    TraceOutput* out_ = nullptr;
    IfsCall call_;
};
