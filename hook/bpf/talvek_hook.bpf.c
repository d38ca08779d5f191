/* talvek-hook's kernel side: the file-related system calls of the watched
 * processes, one sysev record per call, through a ring buffer.
 *
 * At a call's entry the arguments and names go into a per-thread entry of
 * `pending`; at its exit the result completes the record, which is then
 * copied to the ring. Calls of processes that are not watched stop at the
 * first map lookup. Kernel structures are read with CO-RE, through the few
 * fields declared below, so no generated kernel header is needed. */
#include <linux/types.h>
#include <linux/bpf.h>
#include <bpf/bpf_helpers.h>
#include <bpf/bpf_core_read.h>

typedef __u8 uint8_t;
typedef __u16 uint16_t;
typedef __u32 uint32_t;
typedef __s32 int32_t;
typedef __u64 uint64_t;
typedef __s64 int64_t;

#include "hook/syscall_event.h"
#include "hook/bpf/talvek_hook_maps.h"

char LICENSE[] SEC("license") = "GPL";

/* Set by the loader before the programs are loaded. */
const volatile __u8 watch_all = 0; /* every process but the excluded trees */

/* ---- The kernel's structures, only the fields read here ---- */

typedef struct {
    int counter;
} atomic_t;

struct signal_struct {
    atomic_t live; /* threads not yet exiting */
} __attribute__((preserve_access_index));

struct inode {
    unsigned short i_mode;
} __attribute__((preserve_access_index));

struct file {
    struct inode* f_inode;
} __attribute__((preserve_access_index));

struct fdtable {
    unsigned int max_fds;
    struct file** fd;
} __attribute__((preserve_access_index));

struct files_struct {
    struct fdtable* fdt;
} __attribute__((preserve_access_index));

struct task_struct {
    int pid;
    int tgid;
    struct files_struct* files;
    struct signal_struct* signal;
} __attribute__((preserve_access_index));

/* The syscall tracepoints' records: a common header, the call number, then
 * the arguments (enter) or the result (exit). */
struct sys_enter_ctx {
    __u64 common;
    int nr;
    int pad;
    unsigned long args[6];
};

struct sys_exit_ctx {
    __u64 common;
    int nr;
    int pad;
    long ret;
};

/* ---- Maps ---- */

struct pending {
    struct sysev ev; /* first: the ring gets a prefix of it */
    __u64 name1;     /* user addresses of the names, for a retry at exit */
    __u64 name2;
    __u32 len1; /* bytes of path1 with its NUL, 0 when none */
    __s32 nr;   /* the call number seen at entry */
};

struct {
    __uint(type, BPF_MAP_TYPE_RINGBUF);
    __uint(max_entries, TALVEK_RING_BYTES);
} events SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
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
    __uint(max_entries, TALVEK_MAX_PROCS);
    __type(key, __u32);
    __type(value, __u8);
} procs SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, TALVEK_COUNTER_COUNT);
    __type(key, __u32);
    __type(value, __u64);
} counters SEC(".maps");

/* ---- Small routines ---- */

static __always_inline void count(__u32 which) {
    __u64* n = bpf_map_lookup_elem(&counters, &which);
    if (n)
        *n += 1;
}

static __always_inline int is_watched(__u32 tgid) {
    int listed = bpf_map_lookup_elem(&procs, &tgid) != 0;
    return watch_all ? !listed : listed;
}

/* Starts the record of a call of the current thread, or returns 0 when the
 * process is not watched. */
static __always_inline struct pending* begin(void* ctx, __u16 call, int fd) {
    __u64 id = bpf_get_current_pid_tgid();
    __u32 tgid = id >> 32, tid = (__u32)id, key = 0;
    if (!is_watched(tgid))
        return 0;
    struct pending* z = bpf_map_lookup_elem(&zero, &key);
    if (!z)
        return 0;
    if (bpf_map_update_elem(&pending, &tid, z, BPF_ANY)) {
        count(TALVEK_LOST_UNTRACKED);
        return 0;
    }
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (!p)
        return 0;
    p->ev.pid = tgid;
    p->ev.tid = tid;
    p->ev.call = call;
    p->ev.fd = fd;
    p->nr = ((struct sys_enter_ctx*)ctx)->nr;
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
 * TALVEK_MAX_IOV buffers). */
struct user_iovec {
    __u64 base;
    __u64 len;
};

static __always_inline void iovec_sum(struct pending* p, __u64 vec, __u64 count) {
    __u64 total = 0;
    for (int i = 0; i < TALVEK_MAX_IOV; i++) {
        struct user_iovec v;
        if (i >= count)
            break;
        if (bpf_probe_read_user(&v, sizeof(v), (const void*)(vec + i * sizeof(v))))
            break;
        if (i == 0)
            p->ev.a[0] = v.base;
        total += v.len;
    }
    p->ev.a[1] = total;
}

/* What descriptor `fd` of the current process refers to. */
static __always_inline __u8 fd_kind(long fd) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    struct fdtable* fdt = BPF_CORE_READ(task, files, fdt);
    if (!fdt || fd < 0 || fd >= BPF_CORE_READ(fdt, max_fds))
        return SYSEV_FD_UNKNOWN;
    struct file** table = BPF_CORE_READ(fdt, fd);
    struct file* f = 0;
    if (bpf_probe_read_kernel(&f, sizeof(f), &table[fd]) || !f)
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

static __always_inline void submit(struct sysev* ev, __u64 size) {
    if (bpf_ringbuf_output(&events, ev, size, 0))
        count(TALVEK_LOST_RING_FULL);
}

/* Completes the current thread's record with the call's result and sends it. */
static __always_inline int finish(struct sys_exit_ctx* ctx) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct pending* p = bpf_map_lookup_elem(&pending, &tid);
    if (!p)
        return 0;
    if (p->nr != ctx->nr) { /* left from a call whose exit was missed */
        bpf_map_delete_elem(&pending, &tid);
        return 0;
    }
    long ret = ctx->ret;
    /* The kernel's restart codes never reach the process: the call was
     * interrupted (and may be made again). */
    if (ret <= -512 && ret >= -516)
        ret = -4; /* EINTR */
    p->ev.ret = ret;
    p->ev.ts_ns = bpf_ktime_get_ns();
    bpf_get_current_comm(p->ev.comm, sizeof(p->ev.comm));
    /* A name that was not yet in memory at entry is there now. */
    if (p->ev.flags & SYSEV_PATH1_UNREADABLE)
        p->len1 =
            read_name(p->ev.path1, p->name1, &p->ev.flags, SYSEV_PATH1_CUT, SYSEV_PATH1_UNREADABLE);
    if (p->ev.flags & SYSEV_PATH2_UNREADABLE)
        read_name(p->ev.path2, p->name2, &p->ev.flags, SYSEV_PATH2_CUT, SYSEV_PATH2_UNREADABLE);
    if (p->ev.call == SYSEV_OPEN && ret >= 0)
        p->ev.fd_kind = fd_kind(ret);
    /* Only as much of the record as holds something: without a second name,
     * the record ends with the first one. */
    __u64 size = sizeof(struct sysev);
    if (!p->name2) {
        __u32 len = p->len1;
        if (len > SYSEV_PATH_SIZE)
            len = SYSEV_PATH_SIZE;
        size = __builtin_offsetof(struct sysev, path1) + len;
    }
    submit(&p->ev, size);
    bpf_map_delete_elem(&pending, &tid);
    return 0;
}

/* ---- The calls ---- */

#define ENTER(name)                                                                                \
    SEC("tracepoint/syscalls/sys_enter_" #name) int enter_##name(struct sys_enter_ctx* ctx)
#define EXIT(name)                                                                                 \
    SEC("tracepoint/syscalls/sys_exit_" #name) int exit_##name(struct sys_exit_ctx* ctx) {         \
        return finish(ctx);                                                                        \
    }
#define ARG(i) (ctx->args[i])
#define FD(i) ((int)ctx->args[i])
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
EXIT(open)

ENTER(creat) {
    BEGIN(SYSEV_OPEN, SYSEV_AT_FDCWD);
    p->ev.a[0] = 01 | 0100 | 01000; /* O_WRONLY | O_CREAT | O_TRUNC */
    p->ev.a[1] = ARG(1);
    name1(p, ARG(0));
    return 0;
}
EXIT(creat)

ENTER(openat) {
    BEGIN(SYSEV_OPEN, FD(0));
    p->ev.a[0] = ARG(2);
    p->ev.a[1] = ARG(3);
    name1(p, ARG(1));
    return 0;
}
EXIT(openat)

ENTER(openat2) {
    BEGIN(SYSEV_OPEN, FD(0));
    __u64 how[2] = {0, 0}; /* struct open_how: flags, mode, resolve */
    bpf_probe_read_user(how, sizeof(how), (const void*)ARG(2));
    p->ev.a[0] = how[0];
    p->ev.a[1] = how[1];
    name1(p, ARG(1));
    return 0;
}
EXIT(openat2)

ENTER(close) {
    BEGIN(SYSEV_CLOSE, FD(0));
    return 0;
}
EXIT(close)

/* Reads and writes: buffer, bytes asked, offset, positional. */
#define RW(name, call, positional)                                                                 \
    ENTER(name) {                                                                                  \
        BEGIN(call, FD(0));                                                                        \
        p->ev.a[0] = ARG(1);                                                                       \
        p->ev.a[1] = ARG(2);                                                                       \
        if (positional) {                                                                          \
            p->ev.a[2] = ARG(3);                                                                   \
            p->ev.a[3] = 1;                                                                        \
        }                                                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
RW(read, SYSEV_READ, 0)
RW(pread64, SYSEV_READ, 1)
RW(write, SYSEV_WRITE, 0)
RW(pwrite64, SYSEV_WRITE, 1)

/* Vectored: (fd, vec, count[, pos_l, pos_h[, flags]]); the v2 calls take
 * the file position when pos is -1. */
#define RWV(name, call, positional)                                                                \
    ENTER(name) {                                                                                  \
        BEGIN(call, FD(0));                                                                        \
        iovec_sum(p, ARG(1), ARG(2));                                                              \
        if (positional && (long)ARG(3) != -1) {                                                    \
            p->ev.a[2] = ARG(3);                                                                   \
            p->ev.a[3] = 1;                                                                        \
        }                                                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
RWV(readv, SYSEV_READ, 0)
RWV(preadv, SYSEV_READ, 1)
RWV(preadv2, SYSEV_READ, 1)
RWV(writev, SYSEV_WRITE, 0)
RWV(pwritev, SYSEV_WRITE, 1)
RWV(pwritev2, SYSEV_WRITE, 1)

ENTER(lseek) {
    BEGIN(SYSEV_LSEEK, FD(0));
    p->ev.a[0] = ARG(1);
    p->ev.a[1] = ARG(2);
    return 0;
}
EXIT(lseek)

ENTER(fsync) {
    BEGIN(SYSEV_FSYNC, FD(0));
    return 0;
}
EXIT(fsync)

ENTER(fdatasync) {
    BEGIN(SYSEV_FSYNC, FD(0));
    p->ev.a[0] = 1;
    return 0;
}
EXIT(fdatasync)

/* fcntl: the record locks, and F_DUPFD as a dup. Other commands are not
 * recorded. */
#define F_DUPFD 0
#define F_SETLK 6
#define F_SETLKW 7
#define F_OFD_SETLK 37
#define F_OFD_SETLKW 38
#define F_DUPFD_CLOEXEC 1030

struct user_flock {
    short l_type;
    short l_whence;
    __s64 l_start;
    __s64 l_len;
    int l_pid;
};

ENTER(fcntl) {
    unsigned int cmd = (unsigned int)ARG(1);
    if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) {
        BEGIN(SYSEV_DUP, FD(0));
        p->ev.a[0] = (__u64)-1;
        return 0;
    }
    if (cmd != F_SETLK && cmd != F_SETLKW && cmd != F_OFD_SETLK && cmd != F_OFD_SETLKW)
        return 0;
    BEGIN(SYSEV_FCNTL_LOCK, FD(0));
    struct user_flock fl = {};
    bpf_probe_read_user(&fl, sizeof(fl), (const void*)ARG(2));
    p->ev.a[0] = cmd;
    p->ev.a[1] = (__u16)fl.l_type | (__u64)(__u16)fl.l_whence << 16;
    p->ev.a[2] = fl.l_start;
    p->ev.a[3] = fl.l_len;
    return 0;
}
EXIT(fcntl)

ENTER(flock) {
    BEGIN(SYSEV_FLOCK, FD(0));
    p->ev.a[0] = ARG(1);
    return 0;
}
EXIT(flock)

ENTER(utimensat) {
    BEGIN(SYSEV_UTIMENS, FD(0));
    p->ev.a[0] = ARG(3);
    name1(p, ARG(1));
    return 0;
}
EXIT(utimensat)

/* stat and lstat are newstat and newlstat here. */
#define AT_SYMLINK_NOFOLLOW 0x100
#define STAT_ON_CWD(name, atflags)                                                                 \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_STAT, SYSEV_AT_FDCWD);                                                         \
        p->ev.a[0] = atflags;                                                                      \
        name1(p, ARG(0));                                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
STAT_ON_CWD(newstat, 0)
STAT_ON_CWD(newlstat, AT_SYMLINK_NOFOLLOW)

ENTER(newfstatat) {
    BEGIN(SYSEV_STAT, FD(0));
    p->ev.a[0] = ARG(3);
    name1(p, ARG(1));
    return 0;
}
EXIT(newfstatat)

ENTER(statx) {
    BEGIN(SYSEV_STAT, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}
EXIT(statx)

ENTER(access) {
    BEGIN(SYSEV_ACCESS, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    name1(p, ARG(0));
    return 0;
}
EXIT(access)

ENTER(faccessat) {
    BEGIN(SYSEV_ACCESS, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}
EXIT(faccessat)

ENTER(faccessat2) {
    BEGIN(SYSEV_ACCESS, FD(0));
    p->ev.a[0] = ARG(2);
    p->ev.a[1] = ARG(3);
    name1(p, ARG(1));
    return 0;
}
EXIT(faccessat2)

ENTER(unlink) {
    BEGIN(SYSEV_UNLINK, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}
EXIT(unlink)

ENTER(unlinkat) {
    BEGIN(SYSEV_UNLINK, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}
EXIT(unlinkat)

ENTER(mkdir) {
    BEGIN(SYSEV_MKDIR, SYSEV_AT_FDCWD);
    p->ev.a[0] = ARG(1);
    name1(p, ARG(0));
    return 0;
}
EXIT(mkdir)

ENTER(mkdirat) {
    BEGIN(SYSEV_MKDIR, FD(0));
    p->ev.a[0] = ARG(2);
    name1(p, ARG(1));
    return 0;
}
EXIT(mkdirat)

ENTER(rmdir) {
    BEGIN(SYSEV_RMDIR, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}
EXIT(rmdir)

ENTER(chdir) {
    BEGIN(SYSEV_CHDIR, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}
EXIT(chdir)

ENTER(fchdir) {
    BEGIN(SYSEV_FCHDIR, FD(0));
    return 0;
}
EXIT(fchdir)

ENTER(rename) {
    BEGIN(SYSEV_RENAME, SYSEV_AT_FDCWD);
    p->ev.fd2 = SYSEV_AT_FDCWD;
    name1(p, ARG(0));
    name2(p, ARG(1));
    return 0;
}
EXIT(rename)

#define RENAMEAT(name, flags)                                                                      \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_RENAME, FD(0));                                                                \
        p->ev.fd2 = FD(2);                                                                         \
        p->ev.a[0] = flags;                                                                        \
        name1(p, ARG(1));                                                                          \
        name2(p, ARG(3));                                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
RENAMEAT(renameat, 0)
RENAMEAT(renameat2, ARG(4))

ENTER(statfs) {
    BEGIN(SYSEV_STATFS, SYSEV_AT_FDCWD);
    name1(p, ARG(0));
    return 0;
}
EXIT(statfs)

ENTER(fstatfs) {
    BEGIN(SYSEV_FSTATFS, FD(0));
    return 0;
}
EXIT(fstatfs)

ENTER(sync) {
    BEGIN(SYSEV_SYNC, 0);
    return 0;
}
EXIT(sync)

ENTER(syncfs) {
    BEGIN(SYSEV_SYNCFS, FD(0));
    return 0;
}
EXIT(syncfs)

#define GETDENTS(name)                                                                             \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_GETDENTS, FD(0));                                                              \
        p->ev.a[0] = ARG(1);                                                                       \
        p->ev.a[1] = ARG(2);                                                                       \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
GETDENTS(getdents)
GETDENTS(getdents64)

ENTER(dup) {
    BEGIN(SYSEV_DUP, FD(0));
    p->ev.a[0] = (__u64)-1;
    return 0;
}
EXIT(dup)

#define DUP_TO(name)                                                                               \
    ENTER(name) {                                                                                  \
        BEGIN(SYSEV_DUP, FD(0));                                                                   \
        p->ev.a[0] = (__u64)(long)FD(1);                                                           \
        return 0;                                                                                  \
    }                                                                                              \
    EXIT(name)
DUP_TO(dup2)
DUP_TO(dup3)

/* ---- Processes ---- */

/* Sends a record made outside a call (fork, exec, exit). */
static __always_inline void send_process_event(__u16 call, __u32 tgid, __u32 tid, long ret,
                                               __u64 a0) {
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
    bpf_get_current_comm(ev->comm, sizeof(ev->comm));
    bpf_ringbuf_submit(ev, 0);
}

/* A new process joins its parent's side (watched or excluded) before it first
 * runs; a new thread belongs to its process already. */
SEC("raw_tracepoint/sched_process_fork")
int on_fork(struct bpf_raw_tracepoint_args* ctx) {
    struct task_struct* parent = (struct task_struct*)ctx->args[0];
    struct task_struct* child = (struct task_struct*)ctx->args[1];
    __u32 ptgid = BPF_CORE_READ(parent, tgid);
    __u32 cpid = BPF_CORE_READ(child, pid);
    __u32 ctgid = BPF_CORE_READ(child, tgid);
    int thread = cpid != ctgid;
    int listed = bpf_map_lookup_elem(&procs, &ptgid) != 0;
    if (listed && !thread) {
        __u8 one = 1;
        if (bpf_map_update_elem(&procs, &ctgid, &one, BPF_ANY))
            count(TALVEK_LOST_UNTRACKED);
    }
    if (watch_all ? !listed : listed)
        send_process_event(SYSEV_FORK, ptgid, BPF_CORE_READ(parent, pid), cpid, thread);
    return 0;
}

SEC("raw_tracepoint/sched_process_exec")
int on_exec(struct bpf_raw_tracepoint_args* ctx) {
    __u64 id = bpf_get_current_pid_tgid();
    if (is_watched(id >> 32))
        send_process_event(SYSEV_EXEC, id >> 32, (__u32)id, 0, 0);
    return 0;
}

/* Every thread's end clears its entry; the process's end (its last thread)
 * is reported once and leaves the process table. */
SEC("raw_tracepoint/sched_process_exit")
int on_exit(struct bpf_raw_tracepoint_args* ctx) {
    struct task_struct* task = (struct task_struct*)ctx->args[0];
    __u64 id = bpf_get_current_pid_tgid();
    __u32 tgid = id >> 32, tid = (__u32)id;
    bpf_map_delete_elem(&pending, &tid);
    if (BPF_CORE_READ(task, signal, live.counter) != 0)
        return 0;
    int listed = bpf_map_delete_elem(&procs, &tgid) == 0;
    if (watch_all ? !listed : listed)
        send_process_event(SYSEV_EXIT, tgid, tid, 0, 0);
    return 0;
}
