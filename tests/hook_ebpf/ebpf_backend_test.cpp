// The eBPF backend on a child that makes each watched call once, by number:
// every record must hold the arguments, names and result as documented in
// hook/syscall_event.h. Needs root and BPF; skipped (with the reason) when the
// machine does not allow it.
#include <fcntl.h>
#include <stdio.h>
#include <linux/openat2.h>
#include <linux/stat.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hook/ebpf_backend.h"

namespace {

constexpr int64_t kAnyPositive = INT64_MIN; // ret: any count above zero

struct Row {
    int call;
    int fd;
    int fd2;
    int64_t ret;
    int kind;
    int flags;
    std::vector<uint64_t> a; // a[0..] that must match; the rest are not compared
    std::string path1;
    std::string path2;
};

struct Seen {
    pid_t child;
    std::vector<sysev> rows;
    bool ended;
    int64_t grandchild;    // from the child's FORK record
    bool grandchildAccess; // the grandchild's call was recorded too
};

void Collect(const sysev& ev, void* ctx) {
    Seen* seen = static_cast<Seen*>(ctx);
    if (ev.pid == (uint64_t)seen->grandchild && ev.call == SYSEV_ACCESS)
        seen->grandchildAccess = std::string(ev.path1) == "/talvek-grandchild";
    if (ev.pid != (uint32_t)seen->child)
        return;
    if (ev.call == SYSEV_FORK)
        seen->grandchild = ev.ret;
    if (ev.call == SYSEV_EXIT)
        seen->ended = true;
    else if (ev.call != SYSEV_FORK && ev.call != SYSEV_EXEC)
        seen->rows.push_back(ev);
}

long Call(long nr, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0, long f = 0) {
    return syscall(nr, a, b, c, d, e, f);
}

} // namespace

TEST(EbpfBackend, EachCallRecordedWithItsArgumentsAndResult) {
    std::string why;
    if (!EbpfAvailable(&why))
        GTEST_SKIP() << why;
    char dirTemplate[] = "/tmp/talvek-ebpf-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate, file = dir + "/f", moved = dir + "/g";
    static char buf[4096];
    iovec iov[2] = {{buf, 10}, {buf + 100, 20}};
    open_how how = {};
    how.flags = O_RDWR;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_END;
    lock.l_start = 7;
    lock.l_len = 9;
    const std::string longName = dir + "/" + std::string(300, 'n');
    const auto u = [](auto v) { return (uint64_t)v; };

    // The child's descriptors start at 3: 3 the folder, 4 from creat, 5 read-write.
    const std::vector<Row> expected = {
        {SYSEV_OPEN, AT_FDCWD, 0, 3, SYSEV_FD_DIR, 0, {u(O_RDONLY | O_DIRECTORY)}, dir, ""},
        {SYSEV_OPEN, 3, 0, -ENOENT, 0, 0, {u(O_RDONLY)}, "missing", ""},
        {SYSEV_OPEN,
         AT_FDCWD,
         0,
         4,
         SYSEV_FD_FILE,
         0,
         {u(O_WRONLY | O_CREAT | O_TRUNC), 0600},
         file,
         ""},
        {SYSEV_OPEN, 3, 0, 5, SYSEV_FD_FILE, 0, {u(O_RDWR)}, "f", ""},
        {SYSEV_WRITE, 5, 0, 200, 0, 0, {u(buf), 200, 1000, 1}, "", ""},
        {SYSEV_WRITE, 5, 0, 30, 0, 0, {u(buf), 30, 0, 0}, "", ""},
        {SYSEV_LSEEK, 5, 0, 5, 0, 0, {5, SEEK_SET}, "", ""},
        {SYSEV_READ, 5, 0, 30, 0, 0, {u(buf), 30, 0, 0}, "", ""},
        {SYSEV_READ, 5, 0, 100, 0, 0, {u(buf), 100, 1100, 1}, "", ""},
        {SYSEV_FCNTL_LOCK, 5, 0, 0, 0, 0, {F_OFD_SETLK, F_WRLCK | SEEK_END << 16, 7, 9}, "", ""},
        {SYSEV_FLOCK, 5, 0, 0, 0, 0, {LOCK_EX | LOCK_NB}, "", ""},
        {SYSEV_FSYNC, 5, 0, 0, 0, 0, {1}, "", ""},
        {SYSEV_DUP, 5, 0, 9, 0, 0, {9}, "", ""},
        {SYSEV_DUP, 5, 0, 20, 0, 0, {u(-1)}, "", ""},
        {SYSEV_STAT, 5, 0, 0, 0, 0, {AT_EMPTY_PATH}, "", ""},
        {SYSEV_STAT, 3, 0, 0, 0, 0, {AT_SYMLINK_NOFOLLOW}, "f", ""},
        {SYSEV_ACCESS, 3, 0, 0, 0, 0, {R_OK, AT_EACCESS}, "f", ""},
        {SYSEV_UTIMENS, 5, 0, 0, 0, 0, {0}, "", ""},
        {SYSEV_RENAME, 3, AT_FDCWD, 0, 0, 0, {RENAME_NOREPLACE}, "f", moved},
        {SYSEV_MKDIR, 3, 0, 0, 0, 0, {0755}, "d", ""},
        {SYSEV_GETDENTS, 3, 0, kAnyPositive, 0, 0, {u(buf), sizeof(buf)}, "", ""},
        {SYSEV_UNLINK, 3, 0, 0, 0, 0, {AT_REMOVEDIR}, "d", ""},
        {SYSEV_UNLINK, AT_FDCWD, 0, 0, 0, 0, {0}, moved, ""},
        {SYSEV_CHDIR, AT_FDCWD, 0, 0, 0, 0, {}, dir, ""},
        {SYSEV_FCHDIR, 3, 0, 0, 0, 0, {}, "", ""},
        {SYSEV_FSTATFS, 5, 0, 0, 0, 0, {}, "", ""},
        {SYSEV_SYNCFS, 5, 0, 0, 0, 0, {}, "", ""},
        {SYSEV_CLOSE, 5, 0, 0, 0, 0, {}, "", ""},
        {SYSEV_OPEN, AT_FDCWD, 0, -EFAULT, 0, SYSEV_PATH1_UNREADABLE, {}, "", ""},
        {SYSEV_OPEN,
         AT_FDCWD,
         0,
         -ENAMETOOLONG,
         0,
         SYSEV_PATH1_CUT,
         {},
         longName.substr(0, 255),
         ""},
        {SYSEV_RMDIR, AT_FDCWD, 0, 0, 0, 0, {}, dir, ""},
    };

    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char go;
        close(hold[1]);
        if (read(hold[0], &go, 1) != 1)
            _exit(1);
        Call(SYS_close_range, 3, ~0U, 0); // not watched: the next descriptor is 3
        char* stat = buf + 2048;
        Call(SYS_open, (long)dir.c_str(), O_RDONLY | O_DIRECTORY);
        Call(SYS_openat, 3, (long)"missing", O_RDONLY);
        Call(SYS_creat, (long)file.c_str(), 0600);
        Call(SYS_openat2, 3, (long)"f", (long)&how, sizeof(how));
        Call(SYS_pwrite64, 5, (long)buf, 200, 1000);
        Call(SYS_writev, 5, (long)iov, 2);
        Call(SYS_lseek, 5, 5, SEEK_SET);
        Call(SYS_preadv2, 5, (long)iov, 2, -1, 0);
        Call(SYS_pread64, 5, (long)buf, 100, 1100);
        Call(SYS_fcntl, 5, F_OFD_SETLK, (long)&lock);
        Call(SYS_flock, 5, LOCK_EX | LOCK_NB);
        Call(SYS_fdatasync, 5);
        Call(SYS_dup3, 5, 9, O_CLOEXEC);
        Call(SYS_fcntl, 5, F_DUPFD, 20);
        Call(SYS_newfstatat, 5, (long)"", (long)stat, AT_EMPTY_PATH);
        Call(SYS_statx, 3, (long)"f", AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, (long)stat);
        Call(SYS_faccessat2, 3, (long)"f", R_OK, AT_EACCESS);
        Call(SYS_utimensat, 5, 0, 0, 0);
        Call(SYS_renameat2, 3, (long)"f", AT_FDCWD, (long)moved.c_str(), RENAME_NOREPLACE);
        Call(SYS_mkdirat, 3, (long)"d", 0755);
        Call(SYS_getdents64, 3, (long)buf, sizeof(buf));
        Call(SYS_unlinkat, 3, (long)"d", AT_REMOVEDIR);
        Call(SYS_unlink, (long)moved.c_str());
        Call(SYS_chdir, (long)dir.c_str());
        Call(SYS_fchdir, 3);
        Call(SYS_fstatfs, 5, (long)stat);
        Call(SYS_syncfs, 5);
        Call(SYS_close, 5);
        Call(SYS_open, 1, O_RDONLY);
        Call(SYS_open, (long)longName.c_str(), O_RDONLY);
        Call(SYS_rmdir, (long)dir.c_str());
        pid_t grandchild = fork(); // followed without being named
        if (grandchild == 0) {
            Call(SYS_access, (long)"/talvek-grandchild", F_OK);
            _exit(0);
        }
        waitpid(grandchild, nullptr, 0);
        _exit(0);
    }
    close(hold[0]);
    EbpfSession* s = EbpfStart(EbpfWatch{}, &why);
    ASSERT_NE(s, nullptr) << why;
    ASSERT_TRUE(EbpfAddRoot(s, child));
    ASSERT_EQ(write(hold[1], "g", 1), 1);
    close(hold[1]);
    Seen seen = {child, {}, false, -1, false};
    for (int i = 0; i < 500 && !seen.ended; i++)
        ASSERT_GE(EbpfPoll(s, 20, Collect, &seen), 0);
    EbpfCounters counters = EbpfGetCounters(s);
    EbpfStop(s);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(seen.ended);
    EXPECT_TRUE(seen.grandchildAccess);
    EXPECT_EQ(counters.lostRingFull, 0u);
    EXPECT_EQ(counters.lostPath, 1u); // the open of address 1

    ASSERT_EQ(seen.rows.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const Row& want = expected[i];
        const sysev& got = seen.rows[i];
        SCOPED_TRACE("row " + std::to_string(i) + " call " + std::to_string(want.call));
        EXPECT_EQ(got.call, want.call);
        EXPECT_EQ(got.fd, want.fd);
        EXPECT_EQ(got.fd2, want.fd2);
        if (want.ret == kAnyPositive)
            EXPECT_GT(got.ret, 0);
        else
            EXPECT_EQ(got.ret, want.ret);
        EXPECT_EQ(got.fd_kind, want.kind);
        EXPECT_EQ(got.flags, want.flags);
        for (size_t k = 0; k < want.a.size(); k++)
            EXPECT_EQ(got.a[k], want.a[k]) << "a" << k;
        EXPECT_EQ(got.path1, want.path1);
        EXPECT_EQ(got.path2, want.path2);
        EXPECT_EQ(got.tid, got.pid);
        EXPECT_STREQ(got.comm, seen.rows[0].comm);
    }
}
