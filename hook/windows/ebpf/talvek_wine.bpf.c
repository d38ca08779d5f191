/* The Windows view's kernel side: the NT file calls that the watched
 * processes make to Wine's Unix ntdll.so, one ntev record per call, through
 * a ring buffer.
 *
 * A uprobe on each Nt* function's entry (a program per function and per
 * calling convention, the arguments read as hook/windows/nt_args.h tells)
 * keeps the arguments and names in a per-thread entry of `pending`; one
 * uretprobe per architecture completes it with the NTSTATUS and what the
 * call wrote back (the handle made, IO_STATUS_BLOCK.Information) and sends
 * it. The loader tells per library which convention applies. A call that a
 * thread makes while inside another one (Wine's NtOpenFile calls the
 * exported NtCreateFile, and so on) is not the program's: it runs on a
 * deeper stack than the call in progress, so an entry below the pending
 * entry's stack pointer is skipped, and a return is the pending call's only
 * when the stack is back above it. (A call from a signal handler on a stack
 * above the thread's would be taken for a new call, and the interrupted
 * call's record lost.) */
#include "hook/bpf/kernel_types.bpf.h"
#include "hook/bpf/watch_maps.bpf.h"
#include "hook/bpf/watch_procs.bpf.h"
#define nt_read_user(dst, size, addr) bpf_probe_read_user(dst, size, (const void*)(addr))
#include "hook/windows/nt_args.h"

char LICENSE[] SEC("license") = "GPL";

struct pending {
    struct nt_call call;
};

/* ---- Entry and return ---- */

/* Starts the record of a call of the current thread, or returns 0 when the
 * process is not watched or the thread is inside another watched call. */
static __always_inline struct nt_call* begin(struct uregs* r, __u16 call, int wow) {
    __u32 tgid, tid;
    struct pending* e = watched_entry(&tgid, &tid);
    if (!e)
        return 0;
    struct nt_call* p = &e->call;
    if (p->active && r->sp < p->entry_sp)
        return 0; /* a call made inside the call in progress */
    nt_begin(p, call, wow, r->sp, tgid, tid);
    if (!wow) {
        struct task_struct* task = (struct task_struct*)bpf_get_current_task();
        nt_mark_wow64(p, BPF_CORE_READ(task, thread.gsbase));
    }
    return p;
}

static __always_inline int finish(struct uregs* r) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct pending* e = bpf_map_lookup_elem(&pending, &tid);
    if (!e)
        return 0;
    struct nt_call* p = &e->call;
    if (!p->active || r->sp <= p->entry_sp)
        return 0; /* none in progress, or the return of an inner call */
    nt_complete(p, r->ax);
    p->ev.ts_ns = bpf_ktime_get_ns();
    process_comm(p->ev.comm, sizeof(p->ev.comm));
    send_record(&p->ev, nt_record_size(p), TALVEK_LOST_RING_FULL);
    return 0;
}

SEC("uretprobe")
int ret64(struct uregs* r) {
    return finish(r);
}

SEC("uretprobe")
int ret32(struct uregs* r) {
    return finish(r);
}

/* The entry programs of a function: enter64_NAME (x86_64, Microsoft
 * registers), enterv64_NAME (x86_64, System V registers) and enter32_NAME
 * (i386). The convention is a constant in each, so that the verifier sees
 * each register read at a fixed offset. */
#define ENTRY_PROGRAM(prefix, name, call, wow, sysv)                                               \
    SEC("uprobe") int prefix##name(struct uregs* r) {                                              \
        struct nt_call* p = begin(r, call, wow);                                                   \
        if (p) {                                                                                   \
            name##_args(p, r, wow, sysv);                                                          \
            nt_args_done(p);                                                                       \
        }                                                                                          \
        return 0;                                                                                  \
    }
#define ENTRY_PROGRAMS(name, call)                                                                 \
    ENTRY_PROGRAM(enter64_, name, call, 0, 0)                                                      \
    ENTRY_PROGRAM(enterv64_, name, call, 0, 1)                                                     \
    ENTRY_PROGRAM(enter32_, name, call, 1, 0)
NT_WATCHED_FUNCTIONS(ENTRY_PROGRAMS)

/* ---- Processes ---- */

/* The threads inside NtCreateUserProcess, with its process flags: the
 * process it forks (Wine forks twice, the second from the first) learns
 * from them whether it inherits handles. Programs of their own, not an
 * ENTRY: the calls Wine makes inside it (opening the program's file) stay
 * the program's. */
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, TALVEK_MAX_PENDING);
    __type(key, __u32);
    __type(value, __u32);
} creating SEC(".maps");

#define CREATE_PROGRAM(prefix, wow, sysv)                                                          \
    SEC("uprobe") int prefix##NtCreateUserProcess(struct uregs* r) {                               \
        __u64 id = bpf_get_current_pid_tgid();                                                     \
        __u32 tid = (__u32)id, flags = nt_create_process_flags(r, wow, sysv);                      \
        if (is_watched(id >> 32))                                                                  \
            bpf_map_update_elem(&creating, &tid, &flags, BPF_ANY);                                 \
        return 0;                                                                                  \
    }
CREATE_PROGRAM(create64_, 0, 0)
CREATE_PROGRAM(createv64_, 0, 1)
CREATE_PROGRAM(create32_, 1, 0)

SEC("uretprobe")
int create_ret(struct uregs* r) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    bpf_map_delete_elem(&creating, &tid);
    return 0;
}

static __always_inline void send_process_event(__u16 call, __u32 tgid, __u32 tid, __u64 parent,
                                               const __u32* flags) {
    const __u64 size = __builtin_offsetof(struct ntev, name);
    struct ntev* ev = bpf_ringbuf_reserve(&events, size, 0);
    if (!ev) {
        count(TALVEK_LOST_RING_FULL);
        return;
    }
    __builtin_memset(ev, 0, size);
    ev->call = call;
    ev->pid = tgid;
    ev->tid = tid;
    ev->root = parent;
    if (flags) {
        ev->a[0] = *flags;
        ev->a[1] = 1;
    }
    ev->ts_ns = bpf_ktime_get_ns();
    bpf_ringbuf_submit(ev, wakeup_flag(size));
}

/* A watched process's new processes are watched too (hook/bpf/watch_procs.bpf.h);
 * its new processes, its exec and its exit are recorded. */
static __always_inline void view_fork(struct task_struct* parent, __u32 ptgid, __u32 child,
                                      int thread) {
    if (thread)
        return;
    __u32 tid = (__u32)bpf_get_current_pid_tgid(); /* the fork runs in the parent's thread */
    send_process_event(NTEV_PROCESS_FORK, child, child, ptgid,
                       bpf_map_lookup_elem(&creating, &tid));
}

static __always_inline void view_exec(__u32 tgid, __u32 tid) {
    send_process_event(NTEV_PROCESS_EXEC, tgid, tid, 0, 0);
}

static __always_inline void view_exit(__u32 tgid, __u32 tid) {
    send_process_event(NTEV_PROCESS_EXIT, tgid, tid, 0, 0);
}
