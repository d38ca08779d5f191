/* The Windows view's kernel side: the NT file calls that the watched
 * processes make to Wine's Unix ntdll.so, one ntev record per call, through
 * a ring buffer.
 *
 * A uprobe on each Nt* function's entry (a program per function and per
 * architecture) keeps the arguments and names in a per-thread entry of
 * `pending`; one uretprobe per architecture completes it with the NTSTATUS
 * and what the call wrote back (the handle made, IO_STATUS_BLOCK.Information)
 * and sends it. Calling conventions: x86_64 Wine 8 builds its Nt* functions
 * ms_abi (arguments in rcx, rdx, r8, r9, then on the stack above the return
 * address and 32 bytes of home space), Wine 10 System V (rdi, rsi, rdx,
 * rcx, r8, r9, then on the stack above the return address); each function
 * has an entry program for each (the loader tells per library which one
 * applies). i386 is stdcall (argument N at sp + 4 * (N + 1) at the entry). A call that a thread
 * makes while inside another one (Wine's NtOpenFile calls the exported NtCreateFile, and so on) is
 * not the program's: it runs on a deeper stack than the call in progress, so an entry below the
 * pending entry's stack pointer is skipped, and a return is the pending call's only when the stack
 * is back above it. (A call from a signal handler on a stack above the thread's would be taken for
 * a new call, and the interrupted call's record lost.) */
#include "hook/bpf/kernel_types.bpf.h"
#include "hook/bpf/watch_maps.bpf.h"
#include "hook/bpf/watch_procs.bpf.h"
#include "hook/windows/nt_event.h"

char LICENSE[] SEC("license") = "GPL";

struct pending {
    struct ntev ev;   /* first: the ring gets a prefix of it */
    __u64 entry_sp;   /* the stack pointer at the entry of the call in progress */
    __u64 handle_out; /* where NtCreateFile/NtOpenFile write the handle */
    __u64 io;         /* the IO_STATUS_BLOCK */
    __u8 active;
    __u8 wow;
};

/* ---- Arguments and structures of both architectures ---- */

static __always_inline __u64 read_ptr(__u64 addr, int wow) {
    __u64 v = 0;
    if (addr)
        bpf_probe_read_user(&v, wow ? 4 : 8, (const void*)addr);
    return v;
}

static __always_inline __u64 arg(struct uregs* r, int i, int wow, int sysv) {
    if (wow)
        return read_ptr(r->sp + 4 * (i + 1), 1);
    if (sysv) {
        switch (i) {
        case 0:
            return r->di;
        case 1:
            return r->si;
        case 2:
            return r->dx;
        case 3:
            return r->cx;
        case 4:
            return r->r8;
        case 5:
            return r->r9;
        default:
            return read_ptr(r->sp + 8 * (i - 5), 0);
        }
    }
    switch (i) {
    case 0:
        return r->cx;
    case 1:
        return r->dx;
    case 2:
        return r->r8;
    case 3:
        return r->r9;
    default:
        return read_ptr(r->sp + 8 * (i + 1), 0);
    }
}

/* UTF-16 text of `bytes` bytes at addr into dst, cut to NTEV_NAME_UNITS. */
static __always_inline __u16 read_units(__u16* dst, __u64 addr, __u32 bytes, __u8* flags,
                                        __u8 cut) {
    if (bytes > 2 * NTEV_NAME_UNITS) {
        bytes = 2 * NTEV_NAME_UNITS;
        *flags |= cut;
    }
    /* The mask is what the verifier sees bound the size (and it is even). */
    __u32 size = bytes & NTEV_NAME_MASK;
    if (!addr || size == 0 || bpf_probe_read_user(dst, size, (const void*)addr))
        return 0;
    return (__u16)size;
}

/* A UNICODE_STRING: Length, MaximumLength, then the Buffer pointer (at 4 or 8). */
static __always_inline __u16 read_ustring(__u16* dst, __u64 us, int wow, __u8* flags, __u8 cut) {
    __u16 length = 0;
    if (!us || bpf_probe_read_user(&length, 2, (const void*)us))
        return 0;
    return read_units(dst, read_ptr(us + (wow ? 4 : 8), wow), length, flags, cut);
}

/* OBJECT_ATTRIBUTES: RootDirectory at 4 or 8, ObjectName at 8 or 16. */
static __always_inline void read_attributes(struct pending* p, __u64 oa) {
    if (!oa)
        return;
    p->ev.root = read_ptr(oa + (p->wow ? 4 : 8), p->wow);
    p->ev.a[0] = (__u32)read_ptr(oa + (p->wow ? 12 : 24), 1); /* Attributes */
    p->ev.name_bytes = read_ustring(p->ev.name, read_ptr(oa + (p->wow ? 8 : 16), p->wow), p->wow,
                                    &p->ev.flags, NTEV_NAME_CUT);
}

/* A folder opened for listing: the name's whole buffer (MaximumLength, at 2),
 * so that what follows the name, FindFirstFile's mask, comes too. */
static __always_inline void read_tail(struct pending* p, __u64 oa) {
    __u64 us = oa ? read_ptr(oa + (p->wow ? 8 : 16), p->wow) : 0;
    __u16 max = 0;
    if (!us || p->ev.name_bytes == 0 || (p->ev.flags & NTEV_NAME_CUT) ||
        bpf_probe_read_user(&max, 2, (const void*)(us + 2)))
        return;
    if (max > 2 * NTEV_NAME_UNITS)
        max = 2 * NTEV_NAME_UNITS;
    __u32 size = max & NTEV_NAME_MASK;
    if (size <= p->ev.name_bytes ||
        bpf_probe_read_user(p->ev.name, size, (const void*)read_ptr(us + (p->wow ? 4 : 8), p->wow)))
        return;
    p->ev.name_tail_bytes = (__u16)(size - p->ev.name_bytes);
}

#define FILE_LIST_DIRECTORY_ACCESS 0x1
#define FILE_DIRECTORY_FILE_OPTION 0x1

/* ---- Entry and return ---- */

/* Starts the record of a call of the current thread, or returns 0 when the
 * process is not watched or the thread is inside another watched call. */
static __always_inline struct pending* begin(struct uregs* r, __u16 call, int wow) {
    __u32 tgid, tid;
    struct pending* p = watched_entry(&tgid, &tid);
    if (!p)
        return 0;
    if (p->active && r->sp < p->entry_sp)
        return 0; /* a call made inside the call in progress */
    __builtin_memset(&p->ev, 0, __builtin_offsetof(struct ntev, name));
    p->ev.name2_bytes = 0;
    p->ev.pid = tgid;
    p->ev.tid = tid;
    p->ev.call = call;
    p->ev.flags = wow ? NTEV_WOW32 : 0;
    p->entry_sp = r->sp;
    p->handle_out = 0;
    p->io = 0;
    p->wow = wow;
    p->active = 1;
    return p;
}

static __always_inline int finish(struct uregs* r) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (!p || !p->active || r->sp <= p->entry_sp)
        return 0; /* none in progress, or the return of an inner call */
    p->active = 0;
    p->ev.status = (__s32)r->ax;
    p->ev.ts_ns = bpf_ktime_get_ns();
    process_comm(p->ev.comm, sizeof(p->ev.comm));
    if (p->handle_out && p->ev.status >= 0)
        p->ev.handle = read_ptr(p->handle_out, p->wow);
    if (p->io) {
        p->ev.information = read_ptr(p->io + (p->wow ? 4 : 8), p->wow);
        /* An overlapped call Wine completed at once returns STATUS_PENDING
         * with the outcome already in the block. */
        if (!bpf_probe_read_user(&p->ev.io_status, 4, (const void*)p->io))
            p->ev.flags |= NTEV_IO_STATUS;
    }
    __u64 size = sizeof(struct ntev);
    if (p->ev.name2_bytes == 0) {
        __u32 len = p->ev.name_bytes + p->ev.name_tail_bytes;
        if (len > 2 * NTEV_NAME_UNITS)
            len = 2 * NTEV_NAME_UNITS;
        size = __builtin_offsetof(struct ntev, name) + len;
    }
    send_record(&p->ev, size, TALVEK_LOST_RING_FULL);
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
        struct pending* p = begin(r, call, wow);                                                   \
        if (p)                                                                                     \
            name##_args(p, r, wow, sysv);                                                          \
        return 0;                                                                                  \
    }
#define ENTRY(name, call)                                                                          \
    static __always_inline void name##_args(struct pending* p, struct uregs* r, int wow,           \
                                            int sysv);                                             \
    ENTRY_PROGRAM(enter64_, name, call, 0, 0)                                                      \
    ENTRY_PROGRAM(enterv64_, name, call, 0, 1)                                                     \
    ENTRY_PROGRAM(enter32_, name, call, 1, 0)                                                      \
    static __always_inline void name##_args(struct pending* p, struct uregs* r, int wow, int sysv)
#define ARG(i) arg(r, i, wow, sysv)

/* An offset or a length passed by pointer (LARGE_INTEGER*). */
static __always_inline int read_large(__u64 addr, __s64* value) {
    return addr && bpf_probe_read_user(value, 8, (const void*)addr) == 0;
}

/* NtCreateFile(handle*, access, attributes*, io*, allocation*, file attributes,
 * share, disposition, options, ea, ea length) */
ENTRY(NtCreateFile, NTEV_CREATE_FILE) {
    p->handle_out = ARG(0);
    p->ev.access = (__u32)ARG(1);
    p->io = ARG(3);
    p->ev.disposition = (__u32)ARG(7);
    p->ev.options = (__u32)ARG(8);
    read_attributes(p, ARG(2));
    if ((p->ev.access & FILE_LIST_DIRECTORY_ACCESS) && (p->ev.options & FILE_DIRECTORY_FILE_OPTION))
        read_tail(p, ARG(2));
}

/* NtOpenFile(handle*, access, attributes*, io*, share, options) */
ENTRY(NtOpenFile, NTEV_OPEN_FILE) {
    p->handle_out = ARG(0);
    p->ev.access = (__u32)ARG(1);
    p->io = ARG(3);
    p->ev.disposition = 1; /* FILE_OPEN */
    p->ev.options = (__u32)ARG(5);
    read_attributes(p, ARG(2));
    if ((p->ev.access & FILE_LIST_DIRECTORY_ACCESS) && (p->ev.options & FILE_DIRECTORY_FILE_OPTION))
        read_tail(p, ARG(2));
}

/* NtQueryAttributesFile(attributes*, info*), and the Full one alike */
ENTRY(NtQueryAttributesFile, NTEV_QUERY_ATTRIBUTES) {
    read_attributes(p, ARG(0));
}

ENTRY(NtQueryFullAttributesFile, NTEV_QUERY_ATTRIBUTES) {
    read_attributes(p, ARG(0));
}

/* NtDeleteFile(attributes*) */
ENTRY(NtDeleteFile, NTEV_DELETE_FILE) {
    read_attributes(p, ARG(0));
}

/* NtQueryDirectoryFile(handle, event, apc, apc context, io*, buffer, length,
 * class, single entry, mask*, restart) */
ENTRY(NtQueryDirectoryFile, NTEV_QUERY_DIRECTORY) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    p->ev.info_class = (__u32)ARG(7);
    p->ev.name_bytes = read_ustring(p->ev.name, ARG(9), wow, &p->ev.flags, NTEV_NAME_CUT);
}

/* NtReadFile/NtWriteFile(handle, event, apc, apc context, io*, buffer, length,
 * offset*, key) */
static __always_inline void transfer_args(struct pending* p, struct uregs* r, int wow, int sysv) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    p->ev.buffer = ARG(5);
    p->ev.length = (__u32)ARG(6);
    if (read_large(ARG(7), &p->ev.offset))
        p->ev.flags |= NTEV_HAS_OFFSET;
}

ENTRY(NtReadFile, NTEV_READ) {
    transfer_args(p, r, wow, sysv);
}

ENTRY(NtWriteFile, NTEV_WRITE) {
    transfer_args(p, r, wow, sysv);
}

/* NtClose(handle) */
ENTRY(NtClose, NTEV_CLOSE) {
    p->ev.handle = ARG(0);
}

/* NtSetInformationFile(handle, io*, info, length, class). A rename's
 * FILE_RENAME_INFORMATION: flags, RootDirectory (at 4 or 8), FileNameLength
 * (at 8 or 16), FileName (at 12 or 20). */
ENTRY(NtSetInformationFile, NTEV_SET_INFORMATION) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    __u64 info = ARG(2);
    __u32 length = (__u32)ARG(3);
    p->ev.info_class = (__u32)ARG(4);
    /* Always the full size: a shorter structure reads what follows it, unused. */
    if (info && length)
        bpf_probe_read_user(p->ev.info, NTEV_INFO_BYTES, (const void*)info);
    if (p->ev.info_class == 10 || p->ev.info_class == 65) {
        __u32 nameLength = 0;
        p->ev.root = read_ptr(info + (wow ? 4 : 8), wow);
        bpf_probe_read_user(&nameLength, 4, (const void*)(info + (wow ? 8 : 16)));
        p->ev.name2_bytes = read_units(p->ev.name2, info + (wow ? 12 : 20), nameLength,
                                       &p->ev.flags, NTEV_NAME2_CUT);
    }
}

/* NtLockFile(handle, event, apc, apc context, io*, offset*, length*, key,
 * fail immediately, exclusive) */
ENTRY(NtLockFile, NTEV_LOCK) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    read_large(ARG(5), &p->ev.offset);
    __s64 length = 0;
    read_large(ARG(6), &length);
    p->ev.length = (__u64)length;
    p->ev.a[0] = ARG(8) & 0xFF;
    p->ev.a[1] = ARG(9) & 0xFF;
}

/* NtUnlockFile(handle, io*, offset*, length*, key) */
ENTRY(NtUnlockFile, NTEV_UNLOCK) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    read_large(ARG(2), &p->ev.offset);
    __s64 length = 0;
    read_large(ARG(3), &length);
    p->ev.length = (__u64)length;
}

/* NtFlushBuffersFile(handle, io*) */
ENTRY(NtFlushBuffersFile, NTEV_FLUSH) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
}

/* NtQueryVolumeInformationFile(handle, io*, info, length, class) */
/* NtDuplicateObject(source process, source, dest process, dest*, access,
 * attributes, options): the copy's value is written to dest* at the return.
 * A process handle of ~0 (GetCurrentProcess) is the caller itself. */
ENTRY(NtDuplicateObject, NTEV_DUPLICATE) {
    const __u64 self = wow ? 0xFFFFFFFFull : ~0ull;
    p->ev.root = ARG(1);
    p->handle_out = ARG(3);
    p->ev.a[0] = (__u32)ARG(6);
    p->ev.access = (__u32)ARG(5);
    p->ev.a[1] =
        (ARG(0) == self ? NTEV_DUP_FROM_SELF : 0) | (ARG(2) == self ? NTEV_DUP_TO_SELF : 0);
}

/* NtQueryInformationFile(handle, io*, info, length, class) */
ENTRY(NtQueryInformationFile, NTEV_QUERY_INFORMATION) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    p->ev.info_class = (__u32)ARG(4);
}

ENTRY(NtQueryVolumeInformationFile, NTEV_QUERY_VOLUME) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    p->ev.info_class = (__u32)ARG(4);
}

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
        __u32 tid = (__u32)id, flags = (__u32)arg(r, 6, wow, sysv);                                \
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
