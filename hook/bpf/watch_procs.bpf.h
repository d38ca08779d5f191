/* The watched processes as they come and go, the same for every view: a new
 * process joins its parent's side of the table before it first runs, a
 * thread's end frees its entry of `pending`, a process's end (its last
 * thread) takes it out of the table. What a view records of a watched
 * process's fork, exec and exit is its own: it defines view_fork, view_exec
 * and view_exit. */
#ifndef TALVEK_HOOK_BPF_WATCH_PROCS_H
#define TALVEK_HOOK_BPF_WATCH_PROCS_H

#include "hook/bpf/kernel_types.bpf.h"
#include "hook/bpf/watch_maps.bpf.h"

/* A watched process made a process (thread 0) or a thread `child`. */
static __always_inline void view_fork(struct task_struct* parent, __u32 ptgid, __u32 child,
                                      int thread);
/* A watched process's successful exec. */
static __always_inline void view_exec(__u32 tgid, __u32 tid);
/* A watched process ended; called while it is still in the table. */
static __always_inline void view_exit(__u32 tgid, __u32 tid);

/* A new thread belongs to its process already. */
SEC("raw_tracepoint/sched_process_fork")
int on_fork(struct bpf_raw_tracepoint_args* ctx) {
    struct task_struct* parent = (struct task_struct*)ctx->args[0];
    struct task_struct* child = (struct task_struct*)ctx->args[1];
    __u32 ptgid = BPF_CORE_READ(parent, tgid);
    __u32 cpid = BPF_CORE_READ(child, pid);
    __u32 ctgid = BPF_CORE_READ(child, tgid);
    int thread = cpid != ctgid;
    if (!thread)
        join_parent(ptgid, ctgid);
    if (is_watched(ptgid))
        view_fork(parent, ptgid, cpid, thread);
    return 0;
}

SEC("raw_tracepoint/sched_process_exec")
int on_exec(struct bpf_raw_tracepoint_args* ctx) {
    __u64 id = bpf_get_current_pid_tgid();
    if (is_watched(id >> 32))
        view_exec(id >> 32, (__u32)id);
    return 0;
}

/* The end is reported before the process leaves the table: a reader that
 * finds the table empty has every record in the ring. */
SEC("raw_tracepoint/sched_process_exit")
int on_exit(struct bpf_raw_tracepoint_args* ctx) {
    struct task_struct* task = (struct task_struct*)ctx->args[0];
    __u64 id = bpf_get_current_pid_tgid();
    __u32 tgid = id >> 32, tid = (__u32)id;
    bpf_map_delete_elem(&pending, &tid);
    if (BPF_CORE_READ(task, signal, live.counter) != 0)
        return 0;
    int listed = bpf_map_lookup_elem(&procs, &tgid) != 0;
    if (watch_all ? !listed : listed)
        view_exit(tgid, tid);
    if (listed)
        leave_table(tgid);
    return 0;
}

#endif
