/* The kernel's types as the hook's eBPF programs read them: the headers of
 * the BPF target, the fixed-width integers the shared records use, and the
 * few fields of the kernel's structures read anywhere. The structures are
 * CO-RE (preserve_access_index): each field is found by name in the running
 * kernel's BTF when loading, so only the fields read are declared and no
 * generated kernel header is needed. */
#ifndef TALVEK_HOOK_BPF_KERNEL_TYPES_H
#define TALVEK_HOOK_BPF_KERNEL_TYPES_H

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

typedef struct {
    int counter;
} atomic_t;

struct signal_struct {
    atomic_t live; /* threads not yet exiting */
} __attribute__((preserve_access_index));

struct inode {
    unsigned short i_mode;
    long long i_size;
} __attribute__((preserve_access_index));

struct qstr {
    union {
        struct {
            __u32 hash;
            __u32 len;
        };
        __u64 hash_len;
    };
    const unsigned char* name;
} __attribute__((preserve_access_index));

struct dentry {
    struct dentry* d_parent;
    struct qstr d_name;
} __attribute__((preserve_access_index));

struct vfsmount {
    struct dentry* mnt_root;
} __attribute__((preserve_access_index));

struct mount {
    struct mount* mnt_parent;
    struct dentry* mnt_mountpoint;
    struct vfsmount mnt;
} __attribute__((preserve_access_index));

struct path {
    struct vfsmount* mnt;
    struct dentry* dentry;
} __attribute__((preserve_access_index));

struct fs_struct {
    struct path root;
} __attribute__((preserve_access_index));

struct file {
    struct path f_path;
    struct inode* f_inode;
    unsigned int f_flags;
    long long f_pos;
} __attribute__((preserve_access_index));

struct sigaction {
    void* sa_handler;
    unsigned long sa_flags;
} __attribute__((preserve_access_index));

struct k_sigaction {
    struct sigaction sa;
} __attribute__((preserve_access_index));

struct fdtable {
    unsigned int max_fds;
    struct file** fd;
    unsigned long* close_on_exec;
} __attribute__((preserve_access_index));

struct files_struct {
    struct fdtable* fdt;
} __attribute__((preserve_access_index));

struct thread_info {
    __u32 status; /* TS_COMPAT: the current call is a 32-bit one */
} __attribute__((preserve_access_index));

#define TS_COMPAT 0x0002

/* x86-64: the user's GS base (Wine's 64-bit TEB), as arch_prctl set it. */
struct thread_struct {
    unsigned long gsbase;
} __attribute__((preserve_access_index));

struct task_struct {
    struct thread_info thread_info;
    struct thread_struct thread;
    int pid;
    int tgid;
    struct files_struct* files;
    struct fs_struct* fs;
    struct signal_struct* signal;
    struct task_struct* group_leader;
    char comm[16];
} __attribute__((preserve_access_index));

/* The registers at a system call's entry: its number and arguments. */
struct pt_regs {
    unsigned long di, si, dx, r10, r8, r9, bx, cx, bp, orig_ax;
} __attribute__((preserve_access_index));

/* The user registers as a uprobe's context: x86-64's struct pt_regs (a
 * 32-bit process's registers are in the low halves). Not CO-RE: the
 * verifier takes only fixed offsets into a program's context. */
struct uregs {
    unsigned long r15, r14, r13, r12, bp, bx, r11, r10, r9, r8, ax, cx, dx, si, di, orig_ax, ip, cs,
        flags, sp, ss;
};

#endif
