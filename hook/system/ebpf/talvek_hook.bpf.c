/* talvek-hook's kernel side: the file-related system calls of the watched
 * processes, one sysev record per call, through a ring buffer.
 *
 * Two raw tracepoints see every system call: sys_enter jumps (tail call)
 * through a table indexed by the call number to the program of that call
 * (one table for 64-bit calls, one for the 32-bit calls of 32-bit programs),
 * which stops at once unless the process is watched, and otherwise puts the
 * arguments and names into a per-thread entry of `pending`; sys_exit
 * completes that entry with the result and copies it to the ring. Raw
 * tracepoints need no tracefs and attach and detach at once (a tracepoint
 * per call costs the kernel a grace period each to detach). Kernel
 * structures are read with CO-RE (hook/bpf/kernel_types.bpf.h). The call
 * numbers are x86-64's and x86's (ia32). */
#include "hook/bpf/kernel_types.bpf.h"

#include "hook/bpf/dentry_walk.bpf.h"
#include "hook/bpf/talvek_hook_maps.h"
#include "hook/bpf/watch_maps.bpf.h"
#include "hook/bpf/watch_procs.bpf.h"
#include "hook/system/arch/watched_calls.h"
#include "hook/system/ebpf/talvek_filter.h"
#include "hook/system/syscall_event.h"

char LICENSE[] SEC("license") = "GPL";

_Static_assert(SYSEV_PATH_SIZE == TALVEK_NAME_BYTES, "a walked name fills a record's name");

/* ---- Maps ---- */

struct pending {
    struct sysev ev; /* first: the ring gets a prefix of it */
    __u64 name1;     /* user addresses of the names, for a retry at exit */
    __u64 name2;
    __u64 llseek_result; /* _llseek (32-bit): where the new position is written */
    __u32 len1;          /* bytes of path1 with its NUL, 0 when none */
    __s32 nr;            /* the call number seen at entry */
    __s32 restart;       /* interrupted with this restart code: EINTR or made again */
    __u64 msghdr;        /* recvmsg: the message whose descriptors the exit reads */
};

/* Descriptors whose open (or dup) record found the ring full: the calls on
 * them are marked SYSEV_ST_FD_LOST, for the reader to count them lost. */
struct fd_key {
    __u32 tgid;
    __s32 fd;
};

struct {
    __uint(type, BPF_MAP_TYPE_LRU_HASH);
    __uint(max_entries, TALVEK_MAX_LOST_FDS);
    __type(key, struct fd_key);
    __type(value, __u8);
} lost_fds SEC(".maps");

__u8 any_lost_fd = 0; /* lost_fds has been used: look there */

/* ---- Small routines ---- */

/* A 32-bit call (of a 32-bit program, or int 0x80): other numbers, registers
 * and structure layouts. */
static __always_inline int in_compat_call(void) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    if (!bpf_core_field_exists(task->thread_info.status))
        return 0;
    return BPF_CORE_READ(task, thread_info.status) & TS_COMPAT;
}

/* Argument i (0..5) of the current call, from its entry registers. */
static __always_inline __u64 syscall_arg(struct bpf_raw_tracepoint_args* ctx, int i, int compat) {
    struct pt_regs* regs = (struct pt_regs*)ctx->args[0];
    if (compat) {
        switch (i) {
        case 0:
            return (__u32)BPF_CORE_READ(regs, bx);
        case 1:
            return (__u32)BPF_CORE_READ(regs, cx);
        case 2:
            return (__u32)BPF_CORE_READ(regs, dx);
        case 3:
            return (__u32)BPF_CORE_READ(regs, si);
        case 4:
            return (__u32)BPF_CORE_READ(regs, di);
        default:
            return (__u32)BPF_CORE_READ(regs, bp);
        }
    }
    switch (i) {
    case 0:
        return BPF_CORE_READ(regs, di);
    case 1:
        return BPF_CORE_READ(regs, si);
    case 2:
        return BPF_CORE_READ(regs, dx);
    case 3:
        return BPF_CORE_READ(regs, r10);
    case 4:
        return BPF_CORE_READ(regs, r8);
    default:
        return BPF_CORE_READ(regs, r9);
    }
}

/* Starts the record of a call of the current thread, or returns 0 when the
 * process is not watched. */
static __always_inline struct pending* begin(struct bpf_raw_tracepoint_args* ctx, __u16 call,
                                             int fd) {
    __u32 tgid, tid;
    struct pending* p = watched_entry(&tgid, &tid);
    if (!p)
        return 0;
    /* The record up to the names; the names are cut off by their NULs (and
     * the ring gets path2 only when there is one). */
    __builtin_memset(&p->ev, 0, __builtin_offsetof(struct sysev, path1));
    p->ev.path1[0] = 0;
    p->ev.path2[0] = 0;
    p->name1 = 0;
    p->name2 = 0;
    p->llseek_result = 0;
    p->len1 = 0;
    p->restart = 0; /* an interrupted call made again comes here anew */
    p->ev.pid = tgid;
    p->ev.tid = tid;
    p->ev.call = call;
    p->ev.fd = fd;
    p->nr = (__s32)ctx->args[1];
    return p;
}

/* Reads a NUL-terminated name from the process; returns its length with the
 * NUL, or 0 with `unreadable` set. A name that fills the buffer is cut when
 * the process's name goes on. */
static __always_inline __u32 read_name(char* dst, __u64 addr, __u8* flags, __u8 cut,
                                       __u8 unreadable) {
    if (!addr)
        return 0;
    long n = bpf_probe_read_user_str(dst, SYSEV_PATH_SIZE, (const void*)addr);
    if (n <= 0) {
        dst[0] = 0;
        *flags |= unreadable;
        return 0;
    }
    *flags &= ~unreadable;
    if (n == SYSEV_PATH_SIZE) {
        char next = 0;
        if (bpf_probe_read_user(&next, 1, (const void*)(addr + SYSEV_PATH_SIZE - 1)) == 0 && next)
            *flags |= cut;
    }
    return (__u32)n;
}

static __always_inline void name1(struct pending* p, __u64 addr) {
    p->name1 = addr;
    p->len1 = read_name(p->ev.path1, addr, &p->ev.flags, SYSEV_PATH1_CUT, SYSEV_PATH1_UNREADABLE);
}

static __always_inline void name2(struct pending* p, __u64 addr) {
    p->name2 = addr;
    read_name(p->ev.path2, addr, &p->ev.flags, SYSEV_PATH2_CUT, SYSEV_PATH2_UNREADABLE);
}

/* readv and the like: the first buffer and the total asked (of the first
 * TALVEK_MAX_IOV buffers). A 32-bit iovec is two 32-bit words. */
static __always_inline void iovec_sum(struct pending* p, __u64 vec, __u64 count, int compat) {
    __u64 total = 0, size = compat ? 8 : 16;
    for (int i = 0; i < TALVEK_MAX_IOV; i++) {
        __u64 v[2] = {0, 0};
        if (i >= count)
            break;
        if (bpf_probe_read_user(v, size, (const void*)(vec + i * size)))
            break;
        __u64 base = compat ? (__u32)v[0] : v[0];
        __u64 len = compat ? v[0] >> 32 : v[1];
        if (i == 0)
            p->ev.a[0] = base;
        total += len;
    }
    p->ev.a[1] = total;
}

/* The open file of descriptor `fd` of the current process, or 0. */
static __always_inline struct file* file_of(long fd) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    struct fdtable* fdt = BPF_CORE_READ(task, files, fdt);
    if (!fdt || fd < 0 || fd >= BPF_CORE_READ(fdt, max_fds))
        return 0;
    struct file** table = BPF_CORE_READ(fdt, fd);
    struct file* f = 0;
    if (bpf_probe_read_kernel(&f, sizeof(f), &table[fd]))
        return 0;
    return f;
}

/* What descriptor `fd` of the current process refers to. */
static __always_inline __u8 fd_kind(long fd) {
    struct file* f = file_of(fd);
    if (!f)
        return SYSEV_FD_UNKNOWN;
    unsigned short mode = BPF_CORE_READ(f, f_inode, i_mode);
    switch (mode & 0170000) {
    case 0100000:
        return SYSEV_FD_FILE;
    case 0040000:
        return SYSEV_FD_DIR;
    default:
        return SYSEV_FD_OTHER;
    }
}

/* A received descriptor's file: its name, position and close-on-exec flag,
 * into the record. A name that does not fit, or deeper than the walk, is
 * left empty (the loader then asks /proc): the part the walk built would
 * read as another name. */
static __always_inline void describe_received(struct pending* p, long fd) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    struct fdtable* fdt = BPF_CORE_READ(task, files, fdt);
    p->ev.path1[0] = 0;
    p->ev.a[0] = p->ev.a[1] = 0;
    p->len1 = 0;
    if (!fdt || fd < 0 || fd >= BPF_CORE_READ(fdt, max_fds))
        return;
    struct file** table = BPF_CORE_READ(fdt, fd);
    struct file* f = 0;
    unsigned long* coe = BPF_CORE_READ(fdt, close_on_exec);
    unsigned long word = 0;
    if (bpf_probe_read_kernel(&f, sizeof(f), &table[fd]) || !f)
        return;
    bpf_probe_read_kernel(&word, sizeof(word), &coe[fd / 64]);
    p->ev.a[0] = (word >> (fd % 64)) & 1;
    p->ev.a[1] = BPF_CORE_READ(f, f_pos);
    int at_root;
    p->len1 = walk_file_name((__u64)f, (struct walked_name*)p->ev.path1, &at_root);
    if (at_root != TALVEK_WALK_ROOT)
        p->len1 = 0;
}

/* The descriptors (at most TALVEK_MAX_RECEIVED) in the first control message
 * of a received msghdr, when it is SCM_RIGHTS: one record each, ret the
 * descriptor, path1 its name. msghdr: 7 words, the
 * control buffer at word 4 and its length (as the kernel filled it) at 5;
 * cmsghdr: len (a word), level, type. */
#define TALVEK_MAX_RECEIVED 4
static __always_inline void send_received(struct pending* p, int compat) {
    __u64 control = 0, length = 0, len = 0, header = compat ? 12 : 16;
    __s32 level_type[2] = {0, 0};
    if (compat) {
        __u32 w[2] = {0, 0};
        bpf_probe_read_user(w, sizeof(w), (const void*)(p->msghdr + 16));
        control = w[0];
        length = w[1];
        bpf_probe_read_user(w, 4, (const void*)control);
        len = w[0];
    } else {
        bpf_probe_read_user(&control, 8, (const void*)(p->msghdr + 32));
        bpf_probe_read_user(&length, 8, (const void*)(p->msghdr + 40));
        bpf_probe_read_user(&len, 8, (const void*)control);
    }
    bpf_probe_read_user(level_type, sizeof(level_type), (const void*)(control + header - 8));
    if (!control || len > length || level_type[0] != 1 || level_type[1] != 1)
        return; /* not SOL_SOCKET, SCM_RIGHTS */
    for (int i = 0; i < TALVEK_MAX_RECEIVED; i++) {
        __s32 fd = -1;
        if (header + 4 * (i + 1) > len ||
            bpf_probe_read_user(&fd, 4, (const void*)(control + header + 4 * i)))
            break;
        p->ev.ret = fd;
        p->ev.fd_kind = fd_kind(fd);
        describe_received(p, fd);
        __u32 len = p->len1 < SYSEV_PATH_SIZE ? p->len1 : SYSEV_PATH_SIZE;
        filter_submit(&p->ev, __builtin_offsetof(struct sysev, path1) + len);
    }
}

/* The name of the folder (or file) that descriptor `fd` refers to, into
 * path2 with SYSEV_ST_BASE; one longer than the buffer, or deeper than the
 * walk, gives SYSEV_ST_BASE_CUT instead. */
static __always_inline void note_base(struct pending* p, long fd) {
    struct file* f = file_of(fd);
    if (!f)
        return;
    int at_root;
    __u32 n = walk_file_name((__u64)f, (struct walked_name*)p->ev.path2, &at_root);
    p->ev.state |= SYSEV_ST_BASE;
    if (at_root == TALVEK_WALK_OUTSIDE) {
        p->ev.state |= SYSEV_ST_BASE_OUTSIDE;
        return;
    }
    if (!n || !at_root) {
        p->ev.state |= SYSEV_ST_BASE_CUT;
        return;
    }
    p->name2 = 1; /* the record carries path2 */
}

#define O_APPEND_FLAG 02000
#define SEEK_END_WHENCE 2
#define RESOLVE_IN_ROOT_FLAG 0x10

/* What the call's row depends on, as it is now, at the call's end. */
static __always_inline void note_state(struct pending* p, long ret) {
    __u16 call = p->ev.call;
    long fd = p->ev.fd;
    if (call == SYSEV_OPEN && ret >= 0)
        p->ev.fd_kind = fd_kind(ret);
    /* A relative name (or fchdir) on a base descriptor: the base's name. */
    int in_root = call == SYSEV_OPEN && (p->ev.a[2] & RESOLVE_IN_ROOT_FLAG);
    int relative = p->ev.path1[0] != '/' || in_root;
    if (fd >= 0 && call != SYSEV_RENAME && relative && (p->len1 > 1 || call == SYSEV_FCHDIR))
        note_base(p, fd);
    if (call == SYSEV_FCNTL_LOCK && (p->ev.a[1] >> 16) == SEEK_END_WHENCE) {
        p->ev.size = BPF_CORE_READ(file_of(fd), f_inode, i_size);
        p->ev.state |= SYSEV_ST_SIZE;
    }
    if (call == SYSEV_COPY && (p->ev.a[3] & SYSEV_COPY_WHOLE)) {
        p->ev.size = BPF_CORE_READ(file_of(fd), f_inode, i_size);
        p->ev.state |= SYSEV_ST_SIZE;
    }
    if (call == SYSEV_WRITE && !p->ev.a[3] && ret >= 0) {
        struct file* f = file_of(fd);
        if (f && (BPF_CORE_READ(f, f_flags) & O_APPEND_FLAG)) {
            p->ev.pos_after = BPF_CORE_READ(f, f_pos);
            p->ev.state |= SYSEV_ST_POS;
        }
    }
    /* Descriptors whose open was lost. */
    if (any_lost_fd) {
        struct fd_key k = {p->ev.pid, (__s32)fd};
        if (call == SYSEV_OPEN) {
            k.fd = (__s32)ret;
            if (ret >= 0)
                bpf_map_delete_elem(&lost_fds, &k);
        } else if (fd >= 0 && bpf_map_lookup_elem(&lost_fds, &k)) {
            p->ev.state |= SYSEV_ST_FD_LOST;
            if (call == SYSEV_CLOSE && ret == 0)
                bpf_map_delete_elem(&lost_fds, &k);
        }
    }
}

/* Sends the current thread's record with its result. */
static __always_inline void finish(struct pending* p, long ret) {
    if (p->llseek_result && ret == 0) {
        __s64 pos = 0;
        if (bpf_probe_read_user(&pos, sizeof(pos), (const void*)p->llseek_result) == 0)
            ret = pos;
    }
    p->ev.ret = ret;
    p->ev.ts_ns = bpf_ktime_get_ns();
    process_comm(p->ev.comm, sizeof(p->ev.comm));
    if (p->ev.call == SYSEV_RECEIVE_FD) {
        if (ret >= 0)
            send_received(p, in_compat_call());
        p->ev.call = SYSEV_NONE;
        p->restart = 0;
        return;
    }
    /* A name that was not yet in memory at entry is there now. */
    if (p->ev.flags & SYSEV_PATH1_UNREADABLE)
        p->len1 =
            read_name(p->ev.path1, p->name1, &p->ev.flags, SYSEV_PATH1_CUT, SYSEV_PATH1_UNREADABLE);
    if ((p->ev.flags & SYSEV_PATH2_UNREADABLE) && !(p->ev.state & SYSEV_ST_BASE))
        read_name(p->ev.path2, p->name2, &p->ev.flags, SYSEV_PATH2_CUT, SYSEV_PATH2_UNREADABLE);
    /* Only as much of the record as holds something: without a second name,
     * the record ends with the first one. */
    __u64 size = sizeof(struct sysev);
    if (!p->name2) {
        __u32 len = p->len1;
        if (len > SYSEV_PATH_SIZE)
            len = SYSEV_PATH_SIZE;
        size = __builtin_offsetof(struct sysev, path1) + len;
    }
    if (filter_submit(&p->ev, size)) {
        /* What the process does with a descriptor it got is lost too. */
        if ((p->ev.call == SYSEV_OPEN || p->ev.call == SYSEV_DUP) && ret >= 0) {
            struct fd_key k = {p->ev.pid, (__s32)ret};
            __u8 one = 1;
            bpf_map_update_elem(&lost_fds, &k, &one, BPF_ANY);
            any_lost_fd = 1;
        }
    }
    p->ev.call = SYSEV_NONE;
    p->restart = 0;
}

#define ERESTARTSYS 512
#define ERESTARTNOINTR 513
#define ERESTARTNOHAND 514
#define ERESTART_RESTARTBLOCK 516
#define SA_RESTART_FLAG 0x10000000

/* Completes the current thread's record with the call's result and sends it.
 * A call interrupted by a signal waits for what the signal makes of it. */
SEC("raw_tp/sys_exit")
int on_sys_exit(struct bpf_raw_tracepoint_args* ctx) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (!p || p->ev.call == SYSEV_NONE || p->restart) /* no watched call in progress */
        return 0;
    struct pt_regs* regs = (struct pt_regs*)ctx->args[0];
    if (p->nr != (__s32)BPF_CORE_READ(regs, orig_ax)) { /* left from a call whose exit was missed */
        p->ev.call = SYSEV_NONE;
        return 0;
    }
    long ret = (long)ctx->args[1];
    note_state(p, ret);
    /* The kernel's restart codes never reach the process: a signal handler
     * turns them into EINTR, or the kernel makes the call again. */
    if (ret <= -ERESTARTSYS && ret >= -ERESTART_RESTARTBLOCK) {
        p->restart = (__s32)ret;
        return 0;
    }
    finish(p, ret);
    return 0;
}

/* A signal for a thread whose call was interrupted: with a handler, the
 * program gets EINTR unless the call is one the kernel makes again
 * (SA_RESTART, or ERESTARTNOINTR); without one the call is made again
 * (its record comes then), or the process ends. */
SEC("raw_tp/signal_deliver")
int on_signal_deliver(struct bpf_raw_tracepoint_args* ctx) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (!p || !p->restart || p->ev.call == SYSEV_NONE)
        return 0;
    struct k_sigaction* ka = (struct k_sigaction*)ctx->args[2];
    unsigned long handler = (unsigned long)BPF_CORE_READ(ka, sa.sa_handler);
    if (handler <= 1) /* SIG_DFL, SIG_IGN */
        return 0;
    long code = -p->restart;
    int eintr = code == ERESTARTNOHAND || code == ERESTART_RESTARTBLOCK ||
                (code == ERESTARTSYS && !(BPF_CORE_READ(ka, sa.sa_flags) & SA_RESTART_FLAG));
    if (eintr) {
        finish(p, -4); /* EINTR */
    } else {
        p->ev.call = SYSEV_NONE;
        p->restart = 0;
    }
    return 0;
}

/* ---- The calls ---- */

/* The program of each call, reached from on_sys_enter through enter_calls
 * (and enter_calls32); `compat` tells a 32-bit call. */
#define ENTER(name)                                                                                \
    static __always_inline int name##_body(struct bpf_raw_tracepoint_args* ctx, int compat);       \
    SEC("raw_tp") int enter_##name(struct bpf_raw_tracepoint_args* ctx) {                          \
        return name##_body(ctx, in_compat_call());                                                 \
    }                                                                                              \
    static __always_inline int name##_body(struct bpf_raw_tracepoint_args* ctx, int compat)
#define ARG(i) syscall_arg(ctx, i, compat)
#define FD(i) ((int)syscall_arg(ctx, i, compat))
/* A file position from argument i: 32-bit calls split it over i and i + 1. */
#define POS(i) (compat ? ARG(i) | ARG((i) + 1) << 32 : ARG(i))
#define BEGIN(call, fd)                                                                            \
    struct pending* p = begin(ctx, call, fd);                                                      \
    if (!p)                                                                                        \
        return 0;

/* open and creat: openat on the working folder. */
ENTER(open) {
    BEGIN(SYSEV_OPEN, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    p->ev.a[1] = ARG(2);
    name1(p, ARG(0));
    return 0;
}

ENTER(creat) {
    BEGIN(SYSEV_OPEN, SYSEV_AT_FDCWD);
    p->ev.a[0] = 01 | 0100 | 01000; /* O_WRONLY | O_CREAT | O_TRUNC */
    p->ev.a[1] = ARG(1);
    name1(p, ARG(0));
    return 0;
}

ENTER(openat) {
    BEGIN(SYSEV_OPEN, FD(0));
    p->ev.a[0] = ARG(2);
    p->ev.a[1] = ARG(3);
    name1(p, ARG(1));
    return 0;
}

ENTER(openat2) {
    BEGIN(SYSEV_OPEN, FD(0));
    __u64 how[3] = {0, 0, 0}; /* struct open_how: flags, mode, resolve */
    bpf_probe_read_user(how, sizeof(how), (const void*)ARG(2));
    p->ev.a[0] = how[0];
    p->ev.a[1] = how[1];
    p->ev.a[2] = how[2];
    name1(p, ARG(1));
    return 0;
}

ENTER(close) {
    BEGIN(SYSEV_CLOSE, FD(0));
    return 0;
}

ENTER(close_range) {
    BEGIN(SYSEV_CLOSE_RANGE, FD(0));
    p->ev.a[0] = (__u32)ARG(1);
    p->ev.a[1] = (__u32)ARG(2);
    return 0;
}

/* Reads and writes: buffer, bytes asked, offset, positional. */
#define RW(name, call, positional)                                                                 \
    ENTER(name) {                                                                                  \
        BEGIN(call, FD(0));                                                                        \
        p->ev.a[0] = ARG(1);                                                                       \
        p->ev.a[1] = ARG(2);                                                                       \
        if (positional) {                                                                          \
            p->ev.a[2] = POS(3);                                                                   \
            p->ev.a[3] = 1;                                                                        \
        }                                                                                          \
        return 0;                                                                                  \
    }
RW(read, SYSEV_READ, 0)
RW(pread64, SYSEV_READ, 1)
RW(write, SYSEV_WRITE, 0)
RW(pwrite64, SYSEV_WRITE, 1)

/* Vectored: (fd, vec, count[, pos_l, pos_h[, flags]]); the v2 calls take
 * the file position when pos is -1. */
#define RWV(name, call, positional)                                                                \
    ENTER(name) {                                                                                  \
        BEGIN(call, FD(0));                                                                        \
        iovec_sum(p, ARG(1), ARG(2), compat);                                                      \
        __u64 pos = positional ? POS(3) : (__u64)-1;                                               \
        if (pos != (__u64)-1) {                                                                    \
            p->ev.a[2] = pos;                                                                      \
            p->ev.a[3] = 1;                                                                        \
        }                                                                                          \
        return 0;                                                                                  \
    }
RWV(readv, SYSEV_READ, 0)
RWV(preadv, SYSEV_READ, 1)
RWV(preadv2, SYSEV_READ, 1)
RWV(writev, SYSEV_WRITE, 0)
RWV(pwritev, SYSEV_WRITE, 1)
RWV(pwritev2, SYSEV_WRITE, 1)

ENTER(lseek) {
    BEGIN(SYSEV_LSEEK, FD(0));
    p->ev.a[0] = compat ? (__u64)(__s64)(__s32)ARG(1) : ARG(1);
    p->ev.a[1] = ARG(2);
    return 0;
}

/* 32-bit _llseek(fd, offset_high, offset_low, result, whence): the new
 * position is written to *result; the exit puts it in ret. */
ENTER(llseek32) {
    BEGIN(SYSEV_LSEEK, FD(0));
    p->ev.a[0] = ARG(1) << 32 | ARG(2);
    p->ev.a[1] = ARG(4);
    p->llseek_result = ARG(3);
    return 0;
}

ENTER(fsync) {
    BEGIN(SYSEV_FSYNC, FD(0));
    return 0;
}

ENTER(fdatasync) {
    BEGIN(SYSEV_FSYNC, FD(0));
    p->ev.a[0] = 1;
    return 0;
}

/* fcntl: the record locks, and F_DUPFD as a dup. Other commands are not
 * recorded. */
#define F_DUPFD 0
#define F_SETLK 6
#define F_SETLKW 7
#define F_OFD_SETLK 37
#define F_OFD_SETLKW 38
#define F_DUPFD_CLOEXEC 1030
#define F_SETFD 2
#define O_CLOEXEC_FLAG 02000000

#define F_SETLK64 13 /* 32-bit calls: with the 64-bit layout */
#define F_SETLKW64 14

/* struct flock: l_type and l_whence, then l_start and l_len at 8 and 16; in
 * 32-bit calls at 4 and 8 as 32-bit numbers, or (the 64 commands and the
 * OFD ones) at 4 and 12. */
static __always_inline void read_flock(struct pending* p, __u64 addr, int compat, int wide) {
    __u16 tw[2] = {0, 0};
    __s64 start = 0, len = 0;
    bpf_probe_read_user(tw, sizeof(tw), (const void*)addr);
    if (!compat) {
        bpf_probe_read_user(&start, 8, (const void*)(addr + 8));
        bpf_probe_read_user(&len, 8, (const void*)(addr + 16));
    } else if (wide) {
        bpf_probe_read_user(&start, 8, (const void*)(addr + 4));
        bpf_probe_read_user(&len, 8, (const void*)(addr + 12));
    } else {
        __s32 s32[2] = {0, 0};
        bpf_probe_read_user(s32, sizeof(s32), (const void*)(addr + 4));
        start = s32[0];
        len = s32[1];
    }
    p->ev.a[1] = tw[0] | (__u64)tw[1] << 16;
    p->ev.a[2] = start;
    p->ev.a[3] = len;
}

ENTER(fcntl) {
    unsigned int cmd = (unsigned int)ARG(1);
    if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) {
        BEGIN(SYSEV_DUP, FD(0));
        p->ev.a[0] = (__u64)-1;
        p->ev.a[1] = cmd == F_DUPFD_CLOEXEC ? O_CLOEXEC_FLAG : 0;
        return 0;
    }
    if (cmd == F_SETFD) {
        BEGIN(SYSEV_SETFD, FD(0));
        p->ev.a[0] = ARG(2) & 1; /* FD_CLOEXEC */
        return 0;
    }
    int wide = cmd != F_SETLK && cmd != F_SETLKW;
    if (compat && (cmd == F_SETLK64 || cmd == F_SETLKW64))
        cmd = cmd == F_SETLK64 ? F_SETLK : F_SETLKW;
    if (cmd != F_SETLK && cmd != F_SETLKW && cmd != F_OFD_SETLK && cmd != F_OFD_SETLKW)
        return 0;
    BEGIN(SYSEV_FCNTL_LOCK, FD(0));
    p->ev.a[0] = cmd;
    read_flock(p, ARG(2), compat, wide);
    return 0;
}

ENTER(flock) {
    BEGIN(SYSEV_FLOCK, FD(0));
    p->ev.a[0] = ARG(1);
    return 0;
}

/* utime and utimes(name, times); futimesat(dirfd, name, times). */
ENTER(utime) {
    BEGIN(SYSEV_UTIMENS, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}

ENTER(futimesat) {
    BEGIN(SYSEV_UTIMENS, FD(0));
    name1(p, ARG(1));
    return 0;
}

ENTER(utimensat) {
    BEGIN(SYSEV_UTIMENS, FD(0));
    p->ev.a[0] = ARG(3);
    name1(p, ARG(1));
    return 0;
}

/* stat and lstat are newstat and newlstat here. */
#define AT_SYMLINK_NOFOLLOW 0x100
#define STAT_ON_CWD(name, atflags)                                                                 \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_STAT, SYSEV_AT_FDCWD);                                                         \
        p->ev.a[0] = atflags;                                                                      \
        name1(p, ARG(0));                                                                          \
        return 0;                                                                                  \
    }
STAT_ON_CWD(newstat, 0)
STAT_ON_CWD(newlstat, AT_SYMLINK_NOFOLLOW)

/* fstat: a stat of the descriptor, as newfstatat with an empty name. */
#define AT_EMPTY_PATH 0x1000
ENTER(newfstat) {
    BEGIN(SYSEV_STAT, FD(0));
    p->ev.a[0] = AT_EMPTY_PATH;
    return 0;
}

ENTER(newfstatat) {
    BEGIN(SYSEV_STAT, FD(0));
    p->ev.a[0] = ARG(3);
    name1(p, ARG(1));
    return 0;
}

ENTER(statx) {
    BEGIN(SYSEV_STAT, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}

ENTER(access) {
    BEGIN(SYSEV_ACCESS, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    name1(p, ARG(0));
    return 0;
}

ENTER(faccessat) {
    BEGIN(SYSEV_ACCESS, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}

ENTER(faccessat2) {
    BEGIN(SYSEV_ACCESS, FD(0));
    p->ev.a[0] = ARG(2);
    p->ev.a[1] = ARG(3);
    name1(p, ARG(1));
    return 0;
}

ENTER(unlink) {
    BEGIN(SYSEV_UNLINK, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}

ENTER(unlinkat) {
    BEGIN(SYSEV_UNLINK, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}

ENTER(mkdir) {
    BEGIN(SYSEV_MKDIR, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    name1(p, ARG(0));
    return 0;
}

ENTER(mkdirat) {
    BEGIN(SYSEV_MKDIR, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}

ENTER(rmdir) {
    BEGIN(SYSEV_RMDIR, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}

ENTER(chdir) {
    BEGIN(SYSEV_CHDIR, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}

ENTER(fchdir) {
    BEGIN(SYSEV_FCHDIR, FD(0));
    return 0;
}

ENTER(rename) {
    BEGIN(SYSEV_RENAME, SYSEV_AT_FDCWD);
    p->ev.fd2 = SYSEV_AT_FDCWD;
    name1(p, ARG(0));
    name2(p, ARG(1));
    return 0;
}

#define RENAMEAT(name, flags)                                                                      \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_RENAME, FD(0));                                                                \
        p->ev.fd2 = FD(2);                                                                         \
        p->ev.a[0] = flags;                                                                        \
        name1(p, ARG(1));                                                                          \
        name2(p, ARG(3));                                                                          \
        return 0;                                                                                  \
    }
RENAMEAT(renameat, 0)
RENAMEAT(renameat2, ARG(4))

ENTER(statfs) {
    BEGIN(SYSEV_STATFS, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}

ENTER(fstatfs) {
    BEGIN(SYSEV_FSTATFS, FD(0));
    return 0;
}

ENTER(sync) {
    BEGIN(SYSEV_SYNC, 0);
    return 0;
}

ENTER(syncfs) {
    BEGIN(SYSEV_SYNCFS, FD(0));
    return 0;
}

#define GETDENTS(name)                                                                             \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_GETDENTS, FD(0));                                                              \
        p->ev.a[0] = ARG(1);                                                                       \
        p->ev.a[1] = ARG(2);                                                                       \
        return 0;                                                                                  \
    }
GETDENTS(getdents)
GETDENTS(getdents64)

ENTER(dup) {
    BEGIN(SYSEV_DUP, FD(0));
    p->ev.a[0] = (__u64)-1;
    return 0;
}

#define DUP_TO(name)                                                                               \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_DUP, FD(0));                                                                   \
        p->ev.a[0] = (__u64)(long)FD(1);                                                           \
        return 0;                                                                                  \
    }
DUP_TO(dup2)

ENTER(dup3) {
    BEGIN(SYSEV_DUP, FD(0));
    p->ev.a[0] = (__u64)(long)FD(1);
    p->ev.a[1] = ARG(2) & O_CLOEXEC_FLAG;
    return 0;
}

/* chmod and the like: FILEATTRIB's setting of attributes. */
ENTER(chmod) {
    BEGIN(SYSEV_CHMOD, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    name1(p, ARG(0));
    return 0;
}

ENTER(fchmod) {
    BEGIN(SYSEV_CHMOD, FD(0));
    p->ev.a[0] = ARG(1);
    return 0;
}

ENTER(fchmodat) {
    BEGIN(SYSEV_CHMOD, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}

/* Copies in the kernel: source fd, destination fd2; an offset given by
 * pointer is the call's own (else the descriptor's position). */
static __always_inline void copy_offset(struct pending* p, int i, __u64 addr, int wide) {
    __s64 off = 0;
    if (!addr || bpf_probe_read_user(&off, wide ? 8 : 4, (const void*)addr))
        return;
    p->ev.a[i] = wide ? off : (__s64)(__s32)off;
    p->ev.a[3] |= i == 0 ? SYSEV_COPY_AT_IN : SYSEV_COPY_AT_OUT;
}

ENTER(copy_file_range) {
    BEGIN(SYSEV_COPY, FD(0));
    p->ev.fd2 = FD(2);
    p->ev.a[2] = ARG(4);
    copy_offset(p, 0, ARG(1), 1);
    copy_offset(p, 1, ARG(3), 1);
    return 0;
}

/* sendfile(out, in, offset, count): offset is an off_t, 32 bits in the
 * 32-bit call of that name, 64 in sendfile64 and in 64-bit calls. */
#define SENDFILE(name, wide)                                                                       \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_COPY, FD(1));                                                                  \
        p->ev.fd2 = FD(0);                                                                         \
        p->ev.a[2] = ARG(3);                                                                       \
        copy_offset(p, 0, ARG(2), (wide) || !compat);                                              \
        return 0;                                                                                  \
    }
SENDFILE(sendfile, 0)
SENDFILE(sendfile64, 1)

/* ioctl: FICLONE (the whole of arg's file into fd's), FIOCLEX and FIONCLEX. */
#define FICLONE_CMD 0x40049409
#define FIOCLEX_CMD 0x5451
#define FIONCLEX_CMD 0x5450
ENTER(ioctl) {
    unsigned int cmd = (unsigned int)ARG(1);
    if (cmd == FICLONE_CMD) {
        BEGIN(SYSEV_COPY, FD(2));
        p->ev.fd2 = FD(0);
        p->ev.a[3] = SYSEV_COPY_WHOLE;
        return 0;
    }
    if (cmd != FIOCLEX_CMD && cmd != FIONCLEX_CMD)
        return 0;
    BEGIN(SYSEV_SETFD, FD(0));
    p->ev.a[0] = cmd == FIOCLEX_CMD;
    return 0;
}

/* recvmsg(fd, msg, flags), and recvmmsg's first message: the exit reads the
 * descriptors the message brought. */
ENTER(recvmsg) {
    BEGIN(SYSEV_RECEIVE_FD, FD(0));
    p->msghdr = ARG(1);
    return 0;
}

/* 32-bit socketcall(call, args): recvmsg (17) and recvmmsg (19). */
ENTER(socketcall32) {
    __u64 call = ARG(0);
    __u32 args[2] = {0, 0};
    if ((call != 17 && call != 19) || bpf_probe_read_user(args, sizeof(args), (const void*)ARG(1)))
        return 0;
    BEGIN(SYSEV_RECEIVE_FD, (int)args[0]);
    p->msghdr = args[1];
    return 0;
}

/* The calls' programs by call number, for 64-bit calls and for 32-bit ones,
 * from the list of watched calls that the ptrace backend's tables come from
 * too (hook/system/arch/watched_calls.h). */
#define ENTER_SLOT(nr, program, ...) [nr] = (void*)&enter_##program,
#define NO_SLOT(...)

struct {
    __uint(type, BPF_MAP_TYPE_PROG_ARRAY);
    __uint(max_entries, TALVEK_MAX_SYSCALL);
    __type(key, __u32);
    __array(values, int(void*));
} enter_calls SEC(".maps") = {
    .values = {TALVEK_X86_64_CALLS(ENTER_SLOT, NO_SLOT)},
};

struct {
    __uint(type, BPF_MAP_TYPE_PROG_ARRAY);
    __uint(max_entries, TALVEK_MAX_SYSCALL);
    __type(key, __u32);
    __array(values, int(void*));
} enter_calls32 SEC(".maps") = {
    .values = {TALVEK_I386_CALLS(ENTER_SLOT, NO_SLOT)},
};

SEC("raw_tp/sys_enter")
int on_sys_enter(struct bpf_raw_tracepoint_args* ctx) {
    /* The tail calls return only for calls without a program. */
    if (in_compat_call())
        bpf_tail_call(ctx, &enter_calls32, (__u32)ctx->args[1]);
    else
        bpf_tail_call(ctx, &enter_calls, (__u32)ctx->args[1]);
    return 0;
}

/* ---- Processes ---- */

/* Sends a record made outside a call (fork, exec, exit). */
static __always_inline void send_process_event(__u16 call, __u32 tgid, __u32 tid, long ret,
                                               __u64 a0) {
    if (!filter_process_events())
        return;
    struct sysev* ev = bpf_ringbuf_reserve(&events, __builtin_offsetof(struct sysev, path1), 0);
    if (!ev) {
        count(TALVEK_LOST_RING_FULL);
        return;
    }
    __builtin_memset(ev, 0, __builtin_offsetof(struct sysev, path1));
    ev->ts_ns = bpf_ktime_get_ns();
    ev->pid = tgid;
    ev->tid = tid;
    ev->call = call;
    ev->ret = ret;
    ev->a[0] = a0;
    process_comm(ev->comm, sizeof(ev->comm));
    bpf_ringbuf_submit(ev, wakeup_flag(__builtin_offsetof(struct sysev, path1)));
}

static __always_inline void view_fork(struct task_struct* parent, __u32 ptgid, __u32 child,
                                      int thread) {
    send_process_event(SYSEV_FORK, ptgid, BPF_CORE_READ(parent, pid), child, thread);
}

static __always_inline void view_exec(__u32 tgid, __u32 tid) {
    send_process_event(SYSEV_EXEC, tgid, tid, 0, 0);
}

static __always_inline void view_exit(__u32 tgid, __u32 tid) {
    send_process_event(SYSEV_EXIT, tgid, tid, 0, 0);
}
