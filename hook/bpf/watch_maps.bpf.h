/* What the kernel side of each view has alike: the ring buffer the reader
 * takes records from, the calls in progress per thread, the table of
 * watched processes, and the counters. `struct pending` (the state of one
 * thread's call in progress) is each view's own, defined in its .bpf.c. */
#ifndef TALVEK_HOOK_BPF_WATCH_MAPS_H
#define TALVEK_HOOK_BPF_WATCH_MAPS_H

#include "hook/bpf/kernel_types.bpf.h"
#include "hook/bpf/talvek_hook_maps.h"

struct pending;

const volatile __u8 watch_all = 0; /* every process but the excluded trees */

struct {
    __uint(type, BPF_MAP_TYPE_RINGBUF);
    __uint(max_entries, TALVEK_RING_BYTES);
} events SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(map_flags, BPF_F_NO_PREALLOC);
    __uint(max_entries, TALVEK_MAX_PENDING);
    __type(key, __u32); /* thread id */
    __type(value, struct pending);
} pending SEC(".maps");

/* A zeroed entry: the source that clears a pending entry at entry. */
struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, 1);
    __type(key, __u32);
    __type(value, struct pending);
} zero SEC(".maps");

/* Watched processes (thread group ids); with watch_all, the excluded ones. */
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(map_flags, BPF_F_NO_PREALLOC);
    __uint(max_entries, TALVEK_MAX_PROCS);
    __type(key, __u32);
    __type(value, __u8);
} procs SEC(".maps");

/* Entries in procs, kept by both sides (the loader reads it through the
 * mapped .bss): with none left, no watched process remains to report. */
__u64 procs_listed = 0;

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, TALVEK_COUNTER_COUNT);
    __type(key, __u32);
    __type(value, __u64);
} counters SEC(".maps");

/* The process's name (its first thread's), not the calling thread's: a
 * thread that names itself (SetThreadDescription, pthread_setname_np) does
 * not rename the process in the rows. */
static __always_inline void process_comm(char* dst, __u32 size) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    struct task_struct* leader = BPF_CORE_READ(task, group_leader);
    if (!leader || bpf_core_read_str(dst, size, &leader->comm) <= 0)
        bpf_get_current_comm(dst, size);
}

static __always_inline void count(__u32 which) {
    __u64* n = bpf_map_lookup_elem(&counters, &which);
    if (n)
        *n += 1;
}

static __always_inline int is_watched(__u32 tgid) {
    int listed = bpf_map_lookup_elem(&procs, &tgid) != 0;
    return watch_all ? !listed : listed;
}

/* The reader is woken when the unread part of the ring grows past
 * TALVEK_WAKEUP_BYTES, once per crossing (it also looks every few
 * milliseconds on its own): a wake-up per record, or per record while the
 * reader is behind, would cost the watched programs more than the rest of
 * the hook together. */
static __always_inline __u64 wakeup_flag(__u64 size) {
    __u64 unread = bpf_ringbuf_query(&events, BPF_RB_AVAIL_DATA);
    return unread < TALVEK_WAKEUP_BYTES && unread + size + 8 >= TALVEK_WAKEUP_BYTES
               ? BPF_RB_FORCE_WAKEUP
               : BPF_RB_NO_WAKEUP;
}

/* Copies a record to the ring buffer; when the ring is full, counts it in
 * slot `lost` and returns non-zero. */
static __always_inline long send_record(void* record, __u64 size, __u32 lost) {
    long err = bpf_ringbuf_output(&events, record, size, wakeup_flag(size));
    if (err)
        count(lost);
    return err;
}

/* The thread's entry in `pending`, made (zeroed) at its first call: a thread
 * keeps its entry from call to call (it is freed when the thread ends),
 * cheaper than making and freeing one per call. 0 when the table is full. */
static __always_inline struct pending* pending_entry(__u32 tid) {
    __u32 key = 0;
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (p)
        return p;
    struct pending* z = bpf_map_lookup_elem(&zero, &key);
    if (!z || bpf_map_update_elem(&pending, &tid, z, BPF_NOEXIST)) {
        count(TALVEK_LOST_UNTRACKED);
        return 0;
    }
    return bpf_map_lookup_elem(&pending, &tid);
}

/* The current thread's entry in `pending` when its process is watched, with
 * its process and thread ids; 0 otherwise. */
static __always_inline struct pending* watched_entry(__u32* tgid, __u32* tid) {
    __u64 id = bpf_get_current_pid_tgid();
    *tgid = id >> 32;
    *tid = (__u32)id;
    return is_watched(*tgid) ? pending_entry(*tid) : 0;
}

/* A new process joins its parent's side of the table (watched, or excluded
 * under watch_all) before it first runs. */
static __always_inline void join_parent(__u32 ptgid, __u32 ctgid) {
    if (!bpf_map_lookup_elem(&procs, &ptgid))
        return;
    __u8 one = 1;
    long err = bpf_map_update_elem(&procs, &ctgid, &one, BPF_NOEXIST);
    if (err == 0)
        __sync_fetch_and_add(&procs_listed, 1);
    else if (err != -17 /* EEXIST */)
        count(TALVEK_LOST_UNTRACKED);
}

/* A process's last thread has ended: it leaves the table (after its end was
 * reported, so that a reader that finds the table empty has every record). */
static __always_inline void leave_table(__u32 tgid) {
    if (bpf_map_delete_elem(&procs, &tgid) == 0)
        __sync_fetch_and_add(&procs_listed, -1);
}

#endif
