/* An open file's name as the current process sees it: its dentries walked
 * up to the process's root (its fs->root, as the kernel's d_path does),
 * across mounts, the name put together from its end in a per-CPU scratch
 * buffer ("/a/b/c"). A name holds at most TALVEK_NAME_BYTES with its NUL;
 * the walk takes at most TALVEK_MAX_DEPTH steps, one per folder or mount. A
 * file outside the process's root (one a chrooted process got from outside)
 * has no such name: the walk reaches the mount tree's root instead. */
#ifndef TALVEK_HOOK_BPF_DENTRY_WALK_H
#define TALVEK_HOOK_BPF_DENTRY_WALK_H

#include "hook/bpf/kernel_types.bpf.h"
#include "hook/bpf/talvek_hook_maps.h"

#define TALVEK_NAME_BYTES 256 /* a power of two: the masks below bound every access */
#define TALVEK_NAME_MASK (TALVEK_NAME_BYTES - 1)
#define TALVEK_WALK_ROOT 1    /* the walk ended at the process's root */
#define TALVEK_WALK_OUTSIDE 2 /* at the mount tree's root: outside the process's */

/* Twice a name, so that every read of a component stays inside. */
struct name_scratch {
    char text[2 * TALVEK_NAME_BYTES];
};

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, 1);
    __type(key, __u32);
    __type(value, struct name_scratch);
} scratch SEC(".maps");

struct dentry_walk {
    struct dentry* d;
    struct vfsmount* vm;
    struct mount* m;
    __u64 in_mount;        /* offset of struct mount's vfsmount */
    struct dentry* root_d; /* the process's root */
    struct vfsmount* root_vm;
    __u64 pos; /* where the name built so far starts in the scratch buffer */
    int too_long;
    int at_root; /* TALVEK_WALK_ROOT or TALVEK_WALK_OUTSIDE once the walk ended at a root */
};

/* One step up (a bpf_loop callback, so that the verifier looks at one step,
 * not at every path through all): a component, or from the top of a mount
 * to the folder it is mounted on. 1 ends the walk. */
static long walk_step(__u64 i, struct dentry_walk* w) {
    __u32 key = 0;
    struct name_scratch* sc = bpf_map_lookup_elem(&scratch, &key);
    if (!sc)
        return 1;
    struct dentry* d = w->d;
    struct vfsmount* vm = w->vm;
    struct mount* m = w->m;
    struct dentry* parent = BPF_CORE_READ(d, d_parent);
    if (d == w->root_d && vm == w->root_vm) {
        w->at_root = TALVEK_WALK_ROOT;
        return 1;
    }
    if (d == BPF_CORE_READ(vm, mnt_root)) {
        struct mount* up = BPF_CORE_READ(m, mnt_parent);
        if (up == m) {
            w->at_root = TALVEK_WALK_OUTSIDE; /* the mount tree's root, not the process's */
            return 1;
        }
        w->d = BPF_CORE_READ(m, mnt_mountpoint);
        w->m = up;
        w->vm = (struct vfsmount*)((char*)up + w->in_mount);
        return 0;
    }
    if (d == parent) {
        w->at_root = TALVEK_WALK_OUTSIDE;
        return 1;
    }
    __u64 len = BPF_CORE_READ(d, d_name.len);
    __u64 pos = w->pos;
    if (len + 1 > pos) {
        w->too_long = 1;
        return 1;
    }
    pos -= len + 1;
    bpf_probe_read_kernel(sc->text + (pos & TALVEK_NAME_MASK) + 1, len & TALVEK_NAME_MASK,
                          BPF_CORE_READ(d, d_name.name));
    sc->text[pos & TALVEK_NAME_MASK] = '/';
    w->pos = pos;
    w->d = parent;
    return 0;
}

/* A name as the walk puts it out: TALVEK_NAME_BYTES, its size for the
 * verifier. */
struct walked_name {
    char text[TALVEK_NAME_BYTES];
};

/* Puts the name of file `file` (a struct file*) into dst and returns its
 * length with the NUL; returns 0, dst untouched, when the name is longer
 * than that. *at_root tells where the walk ended: TALVEK_WALK_ROOT at the
 * process's root (the name is whole), TALVEK_WALK_OUTSIDE at the mount
 * tree's root without passing the process's (the file lies outside it), 0
 * nowhere (a name deeper than TALVEK_MAX_DEPTH steps holds only the
 * components below where it stopped). A global function: the verifier
 * checks it once, not at every call. */
__attribute__((noinline)) __u32 walk_file_name(__u64 file, struct walked_name* dst, int* at_root) {
    __u32 key = 0;
    struct name_scratch* sc = bpf_map_lookup_elem(&scratch, &key);
    struct file* f = (struct file*)file;
    if (!at_root || !dst)
        return 0;
    *at_root = 0;
    if (!sc)
        return 0;
    struct dentry_walk w = {};
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    w.root_d = BPF_CORE_READ(task, fs, root.dentry);
    w.root_vm = BPF_CORE_READ(task, fs, root.mnt);
    w.in_mount = bpf_core_field_offset(struct mount, mnt);
    w.d = BPF_CORE_READ(f, f_path.dentry);
    w.vm = BPF_CORE_READ(f, f_path.mnt);
    w.m = (struct mount*)((char*)w.vm - w.in_mount);
    w.pos = TALVEK_NAME_BYTES - 1; /* the name ends here, with its NUL */
    sc->text[TALVEK_NAME_BYTES - 1] = 0;
    bpf_loop(TALVEK_MAX_DEPTH, walk_step, &w, 0);
    *at_root = w.at_root;
    __u64 pos = w.pos;
    if (w.too_long || pos > TALVEK_NAME_BYTES - 1)
        return 0;
    if (pos == TALVEK_NAME_BYTES - 1) /* the root folder itself: "/" */
        sc->text[--pos & TALVEK_NAME_MASK] = '/';
    __u64 n = (TALVEK_NAME_BYTES - pos) & (2 * TALVEK_NAME_BYTES - 1); /* 2 to 256 */
    if (n < 2)
        return 0;
    bpf_probe_read_kernel(dst->text, n, sc->text + (pos & TALVEK_NAME_MASK));
    return (__u32)n;
}

#endif
