/* The numbers of the watched 32-bit x86 (i386) system calls, fixed by the
 * ABI, for the list of watched calls (hook/system/arch/watched_calls.h).
 * Plain C. */
#ifndef TALVEK_HOOK_I386_SYSCALL_NR_H
#define TALVEK_HOOK_I386_SYSCALL_NR_H

#define NR32_read 3
#define NR32_write 4
#define NR32_open 5
#define NR32_close 6
#define NR32_creat 8
#define NR32_unlink 10
#define NR32_chdir 12
#define NR32_chmod 15
#define NR32_lseek 19
#define NR32_utime 30
#define NR32_access 33
#define NR32_sync 36
#define NR32_rename 38
#define NR32_mkdir 39
#define NR32_rmdir 40
#define NR32_dup 41
#define NR32_ioctl 54
#define NR32_fcntl 55
#define NR32_dup2 63
#define NR32_fchmod 94
#define NR32_statfs 99
#define NR32_fstatfs 100
#define NR32_socketcall 102
#define NR32_stat 106
#define NR32_lstat 107
#define NR32_fstat 108
#define NR32_fsync 118
#define NR32_fchdir 133
#define NR32_llseek 140
#define NR32_getdents 141
#define NR32_flock 143
#define NR32_readv 145
#define NR32_writev 146
#define NR32_fdatasync 148
#define NR32_prctl 172
#define NR32_pread64 180
#define NR32_pwrite64 181
#define NR32_sendfile 187
#define NR32_stat64 195
#define NR32_lstat64 196
#define NR32_fstat64 197
#define NR32_getdents64 220
#define NR32_fcntl64 221
#define NR32_sendfile64 239
#define NR32_statfs64 268
#define NR32_fstatfs64 269
#define NR32_utimes 271
#define NR32_openat 295
#define NR32_mkdirat 296
#define NR32_futimesat 299
#define NR32_fstatat64 300
#define NR32_unlinkat 301
#define NR32_renameat 302
#define NR32_fchmodat 306
#define NR32_faccessat 307
#define NR32_utimensat 320
#define NR32_dup3 330
#define NR32_preadv 333
#define NR32_pwritev 334
#define NR32_recvmmsg 337
#define NR32_syncfs 344
#define NR32_renameat2 353
#define NR32_recvmsg 372
#define NR32_copy_file_range 377
#define NR32_preadv2 378
#define NR32_pwritev2 379
#define NR32_statx 383
#define NR32_utimensat_time64 412
#define NR32_recvmmsg_time64 417
#define NR32_close_range 436
#define NR32_openat2 437
#define NR32_faccessat2 439
#define NR32_fchmodat2 452

#endif
