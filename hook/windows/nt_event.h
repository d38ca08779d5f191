/* One NT file call of a Windows program under Wine, as the kernel side of
 * the Windows view saw it at the entry and the return of a Nt* function of
 * Wine's Unix ntdll.so: the arguments the program passed, the names it gave
 * (UTF-16, as in the call) and the NTSTATUS it got. Plain C so that the BPF
 * program shares it; the mapping (nt_map.h) reads only this. */
#ifndef TALVEK_HOOK_NT_EVENT_H
#define TALVEK_HOOK_NT_EVENT_H

#ifndef __BPF__
#include <stdint.h>
#endif

#define NTEV_COMM_SIZE 16
/* UTF-16 units of a name; longer names are cut, flagged. Room for every name
 * Windows 98 could use (259 characters) with the NT prefix ("\??\UNC\"). */
#define NTEV_NAME_UNITS 511
#define NTEV_NAME_MASK 0x3FE /* an even size of at most 2 * NTEV_NAME_UNITS bytes */

/* The functions, and what each record holds besides pid, tid and status: */
enum ntev_call {
    NTEV_NONE = 0,
    NTEV_CREATE_FILE,       /* handle made, root, name, access, disposition, options, */
                            /*   a0 OBJECT_ATTRIBUTES.Attributes */
    NTEV_OPEN_FILE,         /*   (NtOpenFile: disposition FILE_OPEN) */
    NTEV_QUERY_ATTRIBUTES,  /* root, name (NtQueryAttributesFile and ...FullAttributesFile) */
    NTEV_DELETE_FILE,       /* root, name */
    NTEV_QUERY_DIRECTORY,   /* handle, name the mask (none: name_bytes 0), info_class */
    NTEV_READ,              /* handle, buffer, length asked, offset (NTEV_HAS_OFFSET), */
    NTEV_WRITE,             /*   information the bytes transferred */
    NTEV_CLOSE,             /* handle */
    NTEV_SET_INFORMATION,   /* handle, info_class, info[] the first bytes of the */
                            /*   information; rename: name2 the new name, root its base */
    NTEV_LOCK,              /* handle, offset, length, a0 FailImmediately, a1 ExclusiveLock */
    NTEV_UNLOCK,            /* handle, offset, length */
    NTEV_FLUSH,             /* handle */
    NTEV_QUERY_VOLUME,      /* handle, info_class */
    NTEV_QUERY_INFORMATION, /* handle, info_class (NtQueryInformationFile) */
    NTEV_DUPLICATE,         /* root the source handle, handle the copy made, a0 options, */
                            /*   a1 NTEV_DUP_*, access its attributes (NtDuplicateObject) */
    NTEV_PROCESS_EXIT,      /* the process ended: its handles are gone */
    NTEV_PROCESS_EXEC,      /* the process ran a new program: a new Windows process */
    NTEV_PROCESS_FORK,      /* pid the new process, root its parent, a1 1 when */
                            /*   NtCreateUserProcess made it, a0 then its process flags */
    NTEV_CALL_COUNT
};

/* The functions watched, each with the record it makes (the same set for
 * every backend and architecture: Wine's Unix ntdll.so exports each). */
#define NT_WATCHED_FUNCTIONS(X)                                                                    \
    X(NtCreateFile, NTEV_CREATE_FILE)                                                              \
    X(NtOpenFile, NTEV_OPEN_FILE)                                                                  \
    X(NtQueryAttributesFile, NTEV_QUERY_ATTRIBUTES)                                                \
    X(NtQueryFullAttributesFile, NTEV_QUERY_ATTRIBUTES)                                            \
    X(NtDeleteFile, NTEV_DELETE_FILE)                                                              \
    X(NtQueryDirectoryFile, NTEV_QUERY_DIRECTORY)                                                  \
    X(NtReadFile, NTEV_READ)                                                                       \
    X(NtWriteFile, NTEV_WRITE)                                                                     \
    X(NtClose, NTEV_CLOSE)                                                                         \
    X(NtSetInformationFile, NTEV_SET_INFORMATION)                                                  \
    X(NtLockFile, NTEV_LOCK)                                                                       \
    X(NtUnlockFile, NTEV_UNLOCK)                                                                   \
    X(NtFlushBuffersFile, NTEV_FLUSH)                                                              \
    X(NtQueryVolumeInformationFile, NTEV_QUERY_VOLUME)                                             \
    X(NtQueryInformationFile, NTEV_QUERY_INFORMATION)                                              \
    X(NtDuplicateObject, NTEV_DUPLICATE)

/* flags */
#define NTEV_NAME_CUT 0x1 /* the name was longer than NTEV_NAME_UNITS: cut */
#define NTEV_NAME2_CUT 0x2
#define NTEV_HAS_OFFSET 0x4 /* offset was given (a pointer to it was not NULL) */
#define NTEV_WOW32 0x8      /* a 32-bit process (i386 ntdll.so) */
#define NTEV_IO_STATUS 0x10 /* io_status holds IO_STATUS_BLOCK.Status at the return */
#define NTEV_WOW64 0x20     /* a 32-bit program in a 64-bit process (its TEB's WowTebOffset) */
#define NTEV_REDIR_OFF 0x40 /* and its thread has turned file-system redirection off */

/* a[1] of NTEV_DUPLICATE: which processes are the caller itself */
#define NTEV_DUP_FROM_SELF 0x1
#define NTEV_DUP_TO_SELF 0x2

/* NtCreateUserProcess's process flags: the new process inherits the
 * handles made inheritable (OBJ_INHERIT, in a0 of an open's record). */
#define NTEV_INHERIT_HANDLES 0x4
#define NTEV_OBJ_INHERIT 0x2

#define NTEV_INFO_BYTES 40 /* FILE_BASIC_INFORMATION, the largest read in full */

struct ntev {
    uint64_t ts_ns;
    uint32_t pid;
    uint32_t tid;
    uint16_t call; /* enum ntev_call */
    uint8_t flags;
    uint8_t pad;
    int32_t status; /* the NTSTATUS returned */
    uint64_t handle;
    uint64_t root; /* OBJECT_ATTRIBUTES.RootDirectory (rename: the new name's) */
    uint32_t access;
    uint32_t disposition;
    uint32_t options;
    uint32_t info_class;
    uint64_t information; /* IO_STATUS_BLOCK.Information at the return */
    int32_t io_status;    /* IO_STATUS_BLOCK.Status at the return (NTEV_IO_STATUS) */
    uint32_t pad2;
    uint64_t buffer;
    uint64_t length;
    int64_t offset;
    uint64_t a[2];
    uint8_t info[NTEV_INFO_BYTES];
    char comm[NTEV_COMM_SIZE];
    uint16_t name_bytes; /* bytes of name (UTF-16), at most 2 * NTEV_NAME_UNITS */
    uint16_t name2_bytes;
    /* A folder opened for listing: the bytes that follow the name in its
     * buffer, up to the buffer's end (FindFirstFile's mask, which kernelbase
     * leaves there behind the folder's name), in name[] after name_bytes. */
    uint16_t name_tail_bytes;
    uint16_t name[NTEV_NAME_UNITS + 1];
    uint16_t name2[NTEV_NAME_UNITS + 1];
};

#endif
