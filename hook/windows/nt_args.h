/* What a watched Nt* function of Wine's Unix ntdll.so was given, and what it
 * gave back: one call's record (struct ntev) filled from the registers and
 * the memory of the calling thread, at the entry and at the return. Both
 * backends of the Windows view read a call this way: the kernel side
 * (ebpf/talvek_wine.bpf.c, in uprobes) and the tracer (ptrace/, at its
 * breakpoints). The includer defines
 *
 *     nt_read_user(dst, size, addr)   copies size bytes of the thread's memory
 *                                     at addr; 0 on success
 *
 * and, outside the BPF target, struct uregs comes from here.
 *
 * Calling conventions: x86_64 Wine 8 builds its Nt* functions ms_abi
 * (arguments in rcx, rdx, r8, r9, then on the stack above the return address
 * and 32 bytes of home space), Wine 10 System V (rdi, rsi, rdx, rcx, r8, r9,
 * then on the stack above the return address); i386 is stdcall (argument N at
 * sp + 4 * (N + 1) at the entry). */
#ifndef TALVEK_HOOK_NT_ARGS_H
#define TALVEK_HOOK_NT_ARGS_H

#include "hook/windows/nt_event.h"

#ifndef __BPF__
#include <linux/types.h>
#include <stddef.h>
#include <sys/cdefs.h>

/* The registers at a stop, in the order of the kernel's x86_64 pt_regs (and
 * of user_regs_struct, whose first fields these are). A 32-bit thread's are
 * zero-extended. */
struct uregs {
    unsigned long r15, r14, r13, r12, bp, bx, r11, r10, r9, r8, ax, cx, dx, si, di, orig_ax, ip, cs,
        flags, sp, ss;
};
#endif

/* One thread's call in progress. */
struct nt_call {
    struct ntev ev;   /* first: the ring gets a prefix of it */
    __u64 entry_sp;   /* the stack pointer at the entry of the call in progress */
    __u64 handle_out; /* where NtCreateFile/NtOpenFile write the handle */
    __u64 io;         /* the IO_STATUS_BLOCK */
    __u64 io32;       /* new WoW64: the program's 32-bit block that io points at */
    __u8 active;
    __u8 wow;
};

/* ---- Arguments and structures of both architectures ---- */

static __always_inline __u64 read_ptr(__u64 addr, int wow) {
    __u64 v = 0;
    if (addr)
        nt_read_user(&v, wow ? 4 : 8, addr);
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
    if (!addr || size == 0 || nt_read_user(dst, size, addr))
        return 0;
    return (__u16)size;
}

/* A UNICODE_STRING: Length, MaximumLength, then the Buffer pointer (at 4 or 8). */
static __always_inline __u16 read_ustring(__u16* dst, __u64 us, int wow, __u8* flags, __u8 cut) {
    __u16 length = 0;
    if (!us || nt_read_user(&length, 2, us))
        return 0;
    return read_units(dst, read_ptr(us + (wow ? 4 : 8), wow), length, flags, cut);
}

/* OBJECT_ATTRIBUTES: RootDirectory at 4 or 8, ObjectName at 8 or 16. */
static __always_inline void read_attributes(struct nt_call* p, __u64 oa) {
    if (!oa)
        return;
    p->ev.root = read_ptr(oa + (p->wow ? 4 : 8), p->wow);
    p->ev.a[0] = (__u32)read_ptr(oa + (p->wow ? 12 : 24), 1); /* Attributes */
    p->ev.name_bytes = read_ustring(p->ev.name, read_ptr(oa + (p->wow ? 8 : 16), p->wow), p->wow,
                                    &p->ev.flags, NTEV_NAME_CUT);
}

/* A folder opened for listing: the name's whole buffer (MaximumLength, at 2),
 * so that what follows the name, FindFirstFile's mask, comes too. */
static __always_inline void read_tail(struct nt_call* p, __u64 oa) {
    __u64 us = oa ? read_ptr(oa + (p->wow ? 8 : 16), p->wow) : 0;
    __u16 max = 0;
    if (!us || p->ev.name_bytes == 0 || (p->ev.flags & NTEV_NAME_CUT) ||
        nt_read_user(&max, 2, us + 2))
        return;
    if (max > 2 * NTEV_NAME_UNITS)
        max = 2 * NTEV_NAME_UNITS;
    __u32 size = max & NTEV_NAME_MASK;
    if (size <= p->ev.name_bytes ||
        nt_read_user(p->ev.name, size, read_ptr(us + (p->wow ? 4 : 8), p->wow)))
        return;
    p->ev.name_tail_bytes = (__u16)(size - p->ev.name_bytes);
}

/* An offset or a length passed by pointer (LARGE_INTEGER*). */
static __always_inline int read_large(__u64 addr, void* value) {
    return addr && nt_read_user(value, 8, addr) == 0;
}

#define FILE_LIST_DIRECTORY_ACCESS 0x1
#define FILE_DIRECTORY_FILE_OPTION 0x1

/* ---- Entry and return ---- */

/* Starts the record of a call: what every call's record holds. */
static __always_inline void nt_begin(struct nt_call* p, __u16 call, int wow, __u64 sp, __u32 tgid,
                                     __u32 tid) {
    __builtin_memset(&p->ev, 0, __builtin_offsetof(struct ntev, name));
    p->ev.name2_bytes = 0;
    p->ev.pid = tgid;
    p->ev.tid = tid;
    p->ev.call = call;
    p->ev.flags = wow ? NTEV_WOW32 : 0;
    p->entry_sp = sp;
    p->handle_out = 0;
    p->io = 0;
    p->io32 = 0;
    p->wow = (__u8)wow;
    p->active = 1;
}

/* Wine's new WoW64 (a 32-bit program in a 64-bit process, wow64.dll
 * converting its calls): the thread's 64-bit TEB, at its GS base, points at
 * itself (0x30), holds the offset of the 32-bit TEB (WowTebOffset, 0x180C;
 * zero in a 64-bit program) and, in TlsSlots[8] (0x14C0), a value other than
 * zero while the program has turned file-system redirection off. A GS base
 * that is no TEB leaves the record as a 64-bit program's. */
#define NT_TEB64_SELF 0x30
#define NT_TEB64_WOW_TEB_OFFSET 0x180C
#define NT_TEB64_FS_REDIRECTION 0x14C0

static __always_inline void nt_mark_wow64(struct nt_call* p, __u64 teb) {
    __u64 self = 0, off = 0;
    __s32 wowTeb = 0;
    if (p->wow || !teb || nt_read_user(&self, 8, teb + NT_TEB64_SELF) || self != teb ||
        nt_read_user(&wowTeb, 4, teb + NT_TEB64_WOW_TEB_OFFSET) || wowTeb == 0)
        return;
    p->ev.flags |= NTEV_WOW64;
    if (!nt_read_user(&off, 8, teb + NT_TEB64_FS_REDIRECTION) && off != 0)
        p->ev.flags |= NTEV_REDIR_OFF;
}

/* After the arguments, once the record is marked: under new WoW64 the
 * IO_STATUS_BLOCK that wow64.dll passes is its own, holding in Pointer the
 * program's 32-bit block. Wine writes a call that completes at once into
 * wow64.dll's block (which it copies to the program's), an overlapped one
 * straight into the program's, leaving Pointer as it was. */
static __always_inline void nt_args_done(struct nt_call* p) {
    if ((p->ev.flags & NTEV_WOW64) && p->io && nt_read_user(&p->io32, 8, p->io))
        p->io32 = 0;
}

/* Completes the record at the return: the NTSTATUS (ax) and what the call
 * wrote back. */
static __always_inline void nt_complete(struct nt_call* p, __u64 ax) {
    p->active = 0;
    p->ev.status = (__s32)ax;
    if (p->handle_out && p->ev.status >= 0)
        p->ev.handle = read_ptr(p->handle_out, p->wow);
    if (p->io) {
        __u64 io = p->io, pointer = 0;
        int wow = p->wow;
        if (p->io32 && !nt_read_user(&pointer, 8, p->io) && pointer == p->io32) {
            io = p->io32; /* the outcome went to the program's own block */
            wow = 1;
        }
        p->ev.information = read_ptr(io + (wow ? 4 : 8), wow);
        /* An overlapped call Wine completed at once returns STATUS_PENDING
         * with the outcome already in the block. */
        if (!nt_read_user(&p->ev.io_status, 4, io))
            p->ev.flags |= NTEV_IO_STATUS;
    }
}

/* The bytes of the record to send: it ends after its names. */
static __always_inline __u64 nt_record_size(const struct nt_call* p) {
    if (p->ev.name2_bytes != 0)
        return sizeof(struct ntev);
    __u32 len = p->ev.name_bytes + p->ev.name_tail_bytes;
    if (len > 2 * NTEV_NAME_UNITS)
        len = 2 * NTEV_NAME_UNITS;
    return __builtin_offsetof(struct ntev, name) + len;
}

/* ---- The arguments of each function ---- */

/* NT_ARGS(name) { ... } reads name's arguments into p; ARG(i) is its i-th. */
#define NT_ARGS(name)                                                                              \
    static __always_inline void name##_args(struct nt_call* p, struct uregs* r, int wow, int sysv)
#define ARG(i) arg(r, i, wow, sysv)

/* NtCreateFile(handle*, access, attributes*, io*, allocation*, file attributes,
 * share, disposition, options, ea, ea length) */
NT_ARGS(NtCreateFile) {
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
NT_ARGS(NtOpenFile) {
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
NT_ARGS(NtQueryAttributesFile) {
    read_attributes(p, ARG(0));
}

NT_ARGS(NtQueryFullAttributesFile) {
    read_attributes(p, ARG(0));
}

/* NtDeleteFile(attributes*) */
NT_ARGS(NtDeleteFile) {
    read_attributes(p, ARG(0));
}

/* NtQueryDirectoryFile(handle, event, apc, apc context, io*, buffer, length,
 * class, single entry, mask*, restart) */
NT_ARGS(NtQueryDirectoryFile) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    p->ev.info_class = (__u32)ARG(7);
    p->ev.name_bytes = read_ustring(p->ev.name, ARG(9), wow, &p->ev.flags, NTEV_NAME_CUT);
}

/* NtReadFile/NtWriteFile(handle, event, apc, apc context, io*, buffer, length,
 * offset*, key) */
NT_ARGS(transfer) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    p->ev.buffer = ARG(5);
    p->ev.length = (__u32)ARG(6);
    if (read_large(ARG(7), &p->ev.offset))
        p->ev.flags |= NTEV_HAS_OFFSET;
}

NT_ARGS(NtReadFile) {
    transfer_args(p, r, wow, sysv);
}

NT_ARGS(NtWriteFile) {
    transfer_args(p, r, wow, sysv);
}

/* NtClose(handle) */
NT_ARGS(NtClose) {
    p->ev.handle = ARG(0);
}

/* NtSetInformationFile(handle, io*, info, length, class). A rename's
 * FILE_RENAME_INFORMATION: flags, RootDirectory (at 4 or 8), FileNameLength
 * (at 8 or 16), FileName (at 12 or 20). */
NT_ARGS(NtSetInformationFile) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    __u64 info = ARG(2);
    __u32 length = (__u32)ARG(3);
    p->ev.info_class = (__u32)ARG(4);
    /* Always the full size: a shorter structure reads what follows it, unused. */
    if (info && length)
        nt_read_user(p->ev.info, NTEV_INFO_BYTES, info);
    if (p->ev.info_class == 10 || p->ev.info_class == 65) {
        __u32 nameLength = 0;
        p->ev.root = read_ptr(info + (wow ? 4 : 8), wow);
        nt_read_user(&nameLength, 4, info + (wow ? 8 : 16));
        p->ev.name2_bytes = read_units(p->ev.name2, info + (wow ? 12 : 20), nameLength,
                                       &p->ev.flags, NTEV_NAME2_CUT);
    }
}

/* A locked range: offset and length passed by pointer (LARGE_INTEGER*). */
static __always_inline void read_range(struct nt_call* p, __u64 offset, __u64 length) {
    __s64 bytes = 0;
    read_large(offset, &p->ev.offset);
    read_large(length, &bytes);
    p->ev.length = (__u64)bytes;
}

/* NtLockFile(handle, event, apc, apc context, io*, offset*, length*, key,
 * fail immediately, exclusive) */
NT_ARGS(NtLockFile) {
    p->ev.handle = ARG(0);
    p->io = ARG(4);
    read_range(p, ARG(5), ARG(6));
    p->ev.a[0] = ARG(8) & 0xFF;
    p->ev.a[1] = ARG(9) & 0xFF;
}

/* NtUnlockFile(handle, io*, offset*, length*, key) */
NT_ARGS(NtUnlockFile) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    read_range(p, ARG(2), ARG(3));
}

/* NtFlushBuffersFile(handle, io*) */
NT_ARGS(NtFlushBuffersFile) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
}

/* NtDuplicateObject(source process, source, dest process, dest*, access,
 * attributes, options): the copy's value is written to dest* at the return.
 * A process handle of ~0 (GetCurrentProcess) is the caller itself. */
NT_ARGS(NtDuplicateObject) {
    const __u64 self = wow ? 0xFFFFFFFFull : ~0ull;
    p->ev.root = ARG(1);
    p->handle_out = ARG(3);
    p->ev.a[0] = (__u32)ARG(6);
    p->ev.access = (__u32)ARG(5);
    p->ev.a[1] =
        (ARG(0) == self ? NTEV_DUP_FROM_SELF : 0) | (ARG(2) == self ? NTEV_DUP_TO_SELF : 0);
}

/* NtQueryInformationFile and NtQueryVolumeInformationFile(handle, io*,
 * info, length, class) */
NT_ARGS(query) {
    p->ev.handle = ARG(0);
    p->io = ARG(1);
    p->ev.info_class = (__u32)ARG(4);
}

NT_ARGS(NtQueryInformationFile) {
    query_args(p, r, wow, sysv);
}

NT_ARGS(NtQueryVolumeInformationFile) {
    query_args(p, r, wow, sysv);
}

/* NtCreateUserProcess(process*, thread*, process access, thread access,
 * process attributes*, thread attributes*, process flags, ...): its process
 * flags tell whether the process it makes inherits handles. */
static __always_inline __u32 nt_create_process_flags(struct uregs* r, int wow, int sysv) {
    return (__u32)arg(r, 6, wow, sysv);
}

#endif
