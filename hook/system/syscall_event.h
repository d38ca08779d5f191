/* One file-related Linux system call as a hook backend saw it: the call, its
 * arguments and names as the process passed them, and its result. Both
 * backends (eBPF in the kernel, ptrace in user space) fill this record; the
 * mapping to IFS call records reads only this. Plain C so that the BPF
 * program shares it. */
#ifndef TALVEK_HOOK_SYSCALL_EVENT_H
#define TALVEK_HOOK_SYSCALL_EVENT_H

#ifdef __BPF__
/* vmlinux.h or the kernel's types provide the fixed-width integers. */
#else
#include <stdint.h>
#endif

#define SYSEV_COMM_SIZE 16
#define SYSEV_PATH_SIZE 256 /* a name with its NUL; longer names are cut, flagged */
#define SYSEV_AT_FDCWD (-100)

/* The calls, normalised: open/creat/openat/openat2 are all SYSEV_OPEN with a
 * dirfd (SYSEV_AT_FDCWD for open and creat) and the open flags (creat as
 * O_CREAT|O_WRONLY|O_TRUNC). Per call, what fd, fd2 and a[] hold: */
enum sysev_call {
    SYSEV_NONE = 0,
    SYSEV_OPEN,       /* fd dirfd, path1, a0 flags, a1 mode, a2 openat2's resolve; ret the new fd */
    SYSEV_CLOSE,      /* fd */
    SYSEV_READ,       /* fd, a0 buffer address, a1 bytes asked, a2 offset, a3 1 when */
    SYSEV_WRITE,      /*   positional (pread/pwrite/preadv/pwritev), else 0; */
                      /*   readv/writev: a0 the first iovec's buffer, a1 the total asked */
    SYSEV_LSEEK,      /* fd, a0 offset (signed), a1 whence; ret the new position */
    SYSEV_FSYNC,      /* fd, a0 1 for fdatasync */
    SYSEV_FCNTL_LOCK, /* fd, a0 cmd (F_SETLK, F_SETLKW, F_OFD_SETLK, F_OFD_SETLKW), */
                      /*   a1 l_type | l_whence << 16, a2 l_start, a3 l_len */
    SYSEV_FLOCK,      /* fd, a0 operation (LOCK_SH/EX/UN | LOCK_NB) */
    SYSEV_UTIMENS,    /* fd dirfd, path1 (empty: futimens on fd), a0 flags */
    SYSEV_STAT,       /* fd dirfd, path1, a0 at-flags (AT_EMPTY_PATH with an empty */
                      /*   name is an fstat of fd) */
    SYSEV_ACCESS,     /* fd dirfd, path1, a0 mode, a1 at-flags */
    SYSEV_UNLINK,     /* fd dirfd, path1, a0 at-flags (AT_REMOVEDIR: a folder) */
    SYSEV_MKDIR,      /* fd dirfd, path1, a0 mode */
    SYSEV_RMDIR,      /* fd dirfd (SYSEV_AT_FDCWD), path1 */
    SYSEV_CHDIR,      /* path1 */
    SYSEV_FCHDIR,     /* fd */
    SYSEV_RENAME,     /* fd old dirfd, fd2 new dirfd, path1 old, path2 new, a0 flags */
    SYSEV_STATFS,     /* path1 */
    SYSEV_FSTATFS,    /* fd */
    SYSEV_SYNC,       /* nothing */
    SYSEV_SYNCFS,     /* fd */
    SYSEV_GETDENTS,   /* fd, a0 buffer address, a1 bytes asked; ret bytes, 0 at the end */
    SYSEV_DUP,        /* fd the old descriptor, a0 the new one asked for (dup2/dup3), */
                      /*   or -1 (dup, fcntl F_DUPFD), a1 O_CLOEXEC when the new one */
                      /*   is close-on-exec; ret the new descriptor */
    SYSEV_FORK,       /* a new process or thread: ret its id, a0 1 for a thread */
    SYSEV_EXEC,       /* a successful execve: the process's descriptors stay, comm changes */
    SYSEV_EXIT,       /* the process ended: its descriptors are gone */
    SYSEV_CLOSE_RANGE, /* fd the first descriptor, a0 the last, a1 flags
                          (CLOSE_RANGE_CLOEXEC: marked, not closed) */
    SYSEV_SETFD,       /* fd, a0 1 to mark close-on-exec, 0 to clear (F_SETFD, FIOCLEX) */
    SYSEV_COPY,        /* fd the source, fd2 the destination, a0 the source offset, a1 the
                          destination offset, a2 bytes asked, a3 SYSEV_COPY_* bits; ret
                          bytes copied (copy_file_range, sendfile, ioctl FICLONE) */
    SYSEV_CHMOD,       /* fd dirfd, path1 (empty: fchmod on fd), a0 mode */
    SYSEV_RECEIVE_FD,  /* a descriptor received over a socket (SCM_RIGHTS): fd the
                          socket, ret the new descriptor, path1 its name as the
                          kernel has it (/proc/PID/fd), fd_kind, a0 1 for close-on-exec,
                          a1 its position */
    SYSEV_CALL_COUNT
};

#define SYSEV_COPY_AT_IN 0x1  /* a0 holds the source offset (else its position) */
#define SYSEV_COPY_AT_OUT 0x2 /* a1 holds the destination offset */
#define SYSEV_COPY_WHOLE 0x4  /* a whole-file clone: ret 0, the size in `size` */

/* fd_kind: what the descriptor of a successful SYSEV_OPEN refers to, when the
 * backend could tell (0 when it could not). */
enum sysev_fd_kind { SYSEV_FD_UNKNOWN = 0, SYSEV_FD_FILE, SYSEV_FD_DIR, SYSEV_FD_OTHER };

/* flags */
#define SYSEV_PATH1_CUT 0x1 /* path1 longer than the buffer: cut */
#define SYSEV_PATH2_CUT 0x2
#define SYSEV_PATH1_UNREADABLE 0x4 /* path1 could not be read from the process */
#define SYSEV_PATH2_UNREADABLE 0x8

/* state: what the backend found at the call itself, for the mapping not to
 * look it up later, when it may have changed. */
#define SYSEV_ST_FOLDERS 0x1        /* the names' folders were looked at (a failed call): */
#define SYSEV_ST_NO_FOLDER1 0x2     /*   path1's folder does not exist */
#define SYSEV_ST_NO_FOLDER2 0x4     /*   path2's folder does not exist */
#define SYSEV_ST_BASE 0x8           /* path2 holds the name of the base descriptor fd */
#define SYSEV_ST_BASE_CUT 0x10      /*   that name was longer than the buffer */
#define SYSEV_ST_POS 0x20           /* pos_after: the descriptor's position after the call */
#define SYSEV_ST_SIZE 0x40          /* size: the file's size at the call */
#define SYSEV_ST_FD_LOST 0x80       /* fd's own open was lost (its record never came) */
#define SYSEV_ST_BASE_OUTSIDE 0x100 /* the base descriptor lies outside the process's root */

struct sysev {
    uint64_t ts_ns;  /* monotonic time of the call's end */
    uint32_t pid;    /* process (thread group) id */
    uint32_t tid;    /* thread id */
    uint16_t call;   /* enum sysev_call */
    uint8_t fd_kind; /* enum sysev_fd_kind */
    uint8_t flags;   /* SYSEV_PATH* bits */
    int32_t fd;
    int32_t fd2;
    uint32_t state; /* SYSEV_ST_* bits */
    int64_t ret;    /* the call's result: >= 0, or -errno */
    uint64_t a[4];
    uint64_t pos_after; /* with SYSEV_ST_POS */
    uint64_t size;      /* with SYSEV_ST_SIZE */
    char comm[SYSEV_COMM_SIZE];
    char path1[SYSEV_PATH_SIZE];
    char path2[SYSEV_PATH_SIZE];
};

#ifdef __cplusplus
/* Where a backend hands each record it read. */
using SysevSink = void (*)(const sysev& ev, void* ctx);
#endif

#endif
