/* The monitor's filter in the kernel: a record is sent to the ring buffer
 * only when the call may be shown, or when user space needs it to follow
 * descriptors, folders and processes. The decision is made at the call's
 * exit (on_sys_exit), where both what the call is and its result are known,
 * just before the record would take room in the ring; a call that is left
 * out costs its entry and exit programs, nothing more. Which IFS functions a
 * call can become is decided by user space (hook/system/sysev_filter.h),
 * which writes the table below whenever the filter changes; the kernel side
 * knows no function names.
 *
 * Ring-full losses of records that may be shown go to the loss counter
 * TALVEK_LOST_RING_FULL, as before; those of records only needed by user
 * space go to a counter of their own (TALVEK_LOST_NEEDED), so that the loss
 * count counts only calls that would have been shown. */
#ifndef TALVEK_HOOK_BPF_FILTER_H
#define TALVEK_HOOK_BPF_FILTER_H

#include <linux/types.h>

#include "driver/driver_ctl.h"
#include "hook/system/syscall_event.h"
#ifdef __BPF__
#include "hook/bpf/watch_maps.bpf.h"
#endif

/* talvek_filter_call.flags */
#define TALVEK_FILTER_NEEDED 0x1     /* sent even when it is not shown */
#define TALVEK_FILTER_ZERO_FAILS 0x2 /* a result of 0 is a failure too */

struct talvek_filter_call {
    __u32 funcs; /* the functions the call can become: bit i, position i of the list */
    __u32 flags;
};

struct talvek_filter {
    __u32 set;            /* 0 until user space wrote the table: every record is sent */
    __u32 monitoring;     /* 0: nothing is sent */
    __u32 results;        /* 0 every result, 1 successful only, 2 failed only */
    __u32 funcs;          /* the enabled functions, bits as above */
    __u32 process_events; /* fork, exec and exit are sent */
    __u32 pad;
    struct talvek_filter_call calls[SYSEV_CALL_COUNT];
};

#ifdef __BPF__

struct {
    __uint(type, BPF_MAP_TYPE_ARRAY);
    __uint(max_entries, 1);
    __type(key, __u32);
    __type(value, struct talvek_filter);
} filter SEC(".maps");

static __always_inline struct talvek_filter* filter_state(void) {
    __u32 key = 0;
    struct talvek_filter* f = bpf_map_lookup_elem(&filter, &key);
    return f && f->set ? f : 0;
}

/* Whether the call's record may pass the monitor's filter. */
static __always_inline int filter_may_show(const struct talvek_filter* f,
                                           const struct talvek_filter_call* c, __s64 ret) {
    if (!(c->funcs & f->funcs))
        return 0;
    int failed = ret < 0 || (ret == 0 && (c->flags & TALVEK_FILTER_ZERO_FAILS));
    if (f->results == RESULTS_OK)
        return !failed;
    if (f->results == RESULTS_FAILED)
        return failed;
    return 1;
}

/* Sends a completed call's record when it may be shown or is needed;
 * non-zero when it was to be sent and the ring buffer was full. */
static __always_inline long filter_submit(struct sysev* ev, __u64 size) {
    struct talvek_filter* f = filter_state();
    if (!f)
        return send_record(ev, size, TALVEK_LOST_RING_FULL);
    __u32 call = ev->call;
    if (!f->monitoring || call >= SYSEV_CALL_COUNT) {
        count(TALVEK_FILTERED_OUT);
        return 0;
    }
    const struct talvek_filter_call* c = &f->calls[call];
    if (filter_may_show(f, c, ev->ret))
        return send_record(ev, size, TALVEK_LOST_RING_FULL);
    if (c->flags & TALVEK_FILTER_NEEDED)
        return send_record(ev, size, TALVEK_LOST_NEEDED);
    count(TALVEK_FILTERED_OUT);
    return 0;
}

/* Whether fork, exec and exit records are sent. */
static __always_inline int filter_process_events(void) {
    struct talvek_filter* f = filter_state();
    return !f || (f->monitoring && f->process_events);
}

#endif /* __BPF__ */

#endif
