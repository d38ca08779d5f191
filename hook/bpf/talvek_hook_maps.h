/* Sizes and counter slots shared by talvek-hook's kernel side and its loader. */
#ifndef TALVEK_HOOK_BPF_MAPS_H
#define TALVEK_HOOK_BPF_MAPS_H

#define TALVEK_RING_BYTES (16u << 20)    /* ring buffer: about 100,000 typical records */
#define TALVEK_WAKEUP_BYTES (256u << 10) /* unread bytes that wake the reader */
#define TALVEK_READER_TICK_MS 5          /* the reader looks this often without */
#define TALVEK_MAX_PENDING 32768         /* threads of watched processes that made a call */
#define TALVEK_MAX_PROCS 65536           /* watched (or excluded) processes */
#define TALVEK_MAX_IOV 64                /* readv/writev buffers summed for the total asked */
#define TALVEK_MAX_SYSCALL 512           /* call numbers with a program of their own below this */
#define TALVEK_MAX_LOST_FDS 16384        /* descriptors whose open was lost, remembered */
#define TALVEK_MAX_DEPTH 32              /* folders and mounts walked up for a file's name */

/* Slots of the per-CPU counters. The first TALVEK_LOSS_SLOTS count calls
 * lost: their sum is the loss count a loader reports. */
enum talvek_counter {
    TALVEK_LOST_RING_FULL = 0, /* a record found the ring buffer full */
    TALVEK_LOST_UNTRACKED,     /* a call or process the full tables could not hold */
    TALVEK_LOSS_SLOTS,
    /* The system view's filter (hook/system/ebpf/talvek_filter.h): */
    TALVEK_FILTERED_OUT = TALVEK_LOSS_SLOTS, /* records not sent: not shown and not needed */
    TALVEK_LOST_NEEDED,                      /* needed, not shown, and the ring buffer was full */
    TALVEK_COUNTER_COUNT
};

#endif
