// The eBPF backend on a child that makes each watched call once, by number:
// every record must hold the arguments, names and result as documented in
// hook/system/syscall_event.h. Needs root and BPF; skipped (with the reason) when the
// machine does not allow it.
#include <fcntl.h>
#include <stdio.h>
#include <linux/openat2.h>
#include <linux/stat.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hook/system/ebpf/ebpf_backend.h"

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

// A 32-bit call from this 64-bit process: its arguments must lie below 4 GiB.
long Int80(long nr, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0) {
    long ret;
    asm volatile("int $0x80"
                 : "=a"(ret)
                 : "a"(nr), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                 : "memory", "r8", "r9", "r10", "r11");
    return ret;
}

// Runs `body` in a child watched from its first call on; the records of the
// child up to its end.
Seen RunWatched(const std::function<void()>& body, EbpfCounters* counters) {
    Seen seen = {-1, {}, false, -1, false};
    std::string why;
    int hold[2];
    if (pipe(hold) != 0)
        return seen;
    pid_t child = fork();
    if (child == 0) {
        char go;
        close(hold[1]);
        if (read(hold[0], &go, 1) != 1)
            _exit(1);
        Call(SYS_close_range, 3, ~0U, 0); // the next descriptor is 3
        body();
        _exit(0);
    }
    close(hold[0]);
    seen.child = child;
    EbpfSession* s = EbpfStart(EbpfWatch{}, &why);
    EXPECT_NE(s, nullptr) << why;
    if (s != nullptr && EbpfAddRoot(s, child) && write(hold[1], "g", 1) == 1)
        for (int i = 0; i < 500 && !seen.ended; i++)
            if (EbpfPoll(s, 20, Collect, &seen) < 0)
                break;
    close(hold[1]);
    if (s != nullptr) {
        *counters = EbpfGetCounters(s);
        EbpfStop(s);
    }
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(seen.ended);
    // The child's first call: close_range(3, ~0U, 0).
    EXPECT_TRUE(!seen.rows.empty() && seen.rows[0].call == SYSEV_CLOSE_RANGE &&
                seen.rows[0].fd == 3 && seen.rows[0].a[0] == ~0U && seen.rows[0].a[1] == 0);
    if (!seen.rows.empty())
        seen.rows.erase(seen.rows.begin());
    return seen;
}

void ExpectRows(const std::vector<sysev>& rows, const std::vector<Row>& expected) {
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const Row& want = expected[i];
        const sysev& got = rows[i];
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
        // A name on a base descriptor carries the base's name (the test's folder).
        if ((got.state & SYSEV_ST_BASE) != 0)
            EXPECT_EQ(std::string(got.path2), std::string(rows[0].path1));
        else
            EXPECT_EQ(got.path2, want.path2);
        EXPECT_EQ(got.tid, got.pid);
        EXPECT_STREQ(got.comm, rows[0].comm);
    }
}

} // namespace

TEST(EbpfBackend, EachCallRecordedWithItsArgumentsAndResult) {
    std::string why;
    if (!EbpfAvailable(&why))
        GTEST_SKIP() << "eBPF unavailable: " << why;
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
        {SYSEV_STAT, 5, 0, 0, 0, 0, {AT_EMPTY_PATH}, "", ""},
        {SYSEV_STAT, 3, 0, 0, 0, 0, {AT_SYMLINK_NOFOLLOW}, "f", ""},
        {SYSEV_ACCESS, 3, 0, 0, 0, 0, {R_OK, AT_EACCESS}, "f", ""},
        {SYSEV_UTIMENS, 5, 0, 0, 0, 0, {0}, "", ""},
        {SYSEV_UTIMENS, AT_FDCWD, 0, 0, 0, 0, {0}, file, ""},
        {SYSEV_UTIMENS, 3, 0, 0, 0, 0, {0}, "f", ""},
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

    EbpfCounters counters;
    Seen seen = RunWatched(
        [&] {
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
            Call(SYS_fstat, 5, (long)stat);
            Call(SYS_statx, 3, (long)"f", AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, (long)stat);
            Call(SYS_faccessat2, 3, (long)"f", R_OK, AT_EACCESS);
            Call(SYS_utimensat, 5, 0, 0, 0);
            Call(SYS_utimes, (long)file.c_str(), 0);
            Call(SYS_futimesat, 3, (long)"f", 0);
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
        },
        &counters);
    EXPECT_TRUE(seen.grandchildAccess);
    EXPECT_EQ(counters.lostRingFull, 0u);
    EXPECT_EQ(counters.lostPath, 1u); // the open of address 1
    ExpectRows(seen.rows, expected);
}

// 32-bit calls (int 0x80): their numbers, registers and layouts.
TEST(EbpfBackend, ThirtyTwoBitCallsRecordedLikeTheirSixtyFourBitOnes) {
    std::string why;
    if (!EbpfAvailable(&why))
        GTEST_SKIP() << "eBPF unavailable: " << why;
    pid_t probe = fork();
    if (probe == 0)
        _exit(Int80(20 /* getpid */) == getpid() ? 0 : 1);
    int status = 0;
    waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "this kernel takes no 32-bit calls";
    char* low = (char*)mmap(nullptr, 4096, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    ASSERT_NE(low, MAP_FAILED);
    char dirTemplate[] = "/tmp/talvek-ebpf-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    char* name = low;
    snprintf(name, 256, "%s/f", dirTemplate);
    char* buf = low + 1024;
    uint32_t* iov = (uint32_t*)(low + 3072); // {base, len} pairs
    iov[0] = (uint32_t)(uintptr_t)buf, iov[1] = 10, iov[2] = (uint32_t)(uintptr_t)buf, iov[3] = 20;
    char* lock64 = low + 3200; // packed: type, whence, start at 4, len at 12
    const int16_t typeWhence64[2] = {F_WRLCK, SEEK_SET};
    const int64_t startLen64[2] = {int64_t(1) << 32, 9};
    memcpy(lock64, typeWhence64, 4);
    memcpy(lock64 + 4, startLen64, 16);
    char* lock32 = low + 3300; // type, whence, start at 4, len at 8 (32-bit)
    const int16_t typeWhence32[2] = {F_UNLCK, SEEK_SET};
    const int32_t startLen32[2] = {5, 3};
    memcpy(lock32, typeWhence32, 4);
    memcpy(lock32 + 4, startLen32, 8);
    const long result = (long)(low + 3400), lowBuf = (long)buf;
    const auto u = [](auto v) { return (uint64_t)v; };

    const std::vector<Row> expected = {
        {SYSEV_OPEN, AT_FDCWD, 0, 3, SYSEV_FD_FILE, 0, {u(O_RDWR | O_CREAT), 0600}, name, ""},
        {SYSEV_WRITE, 3, 0, 200, 0, 0, {u(buf), 200, 1000, 1}, "", ""},
        {SYSEV_READ, 3, 0, 0, 0, 0, {u(buf), 100, (uint64_t(1) << 32) + 5, 1}, "", ""},
        {SYSEV_WRITE, 3, 0, 30, 0, 0, {u(buf), 30, 0, 0}, "", ""},
        {SYSEV_LSEEK, 3, 0, 7, 0, 0, {7, SEEK_SET}, "", ""},
        {SYSEV_LSEEK, 3, 0, 1198, 0, 0, {u(-2), SEEK_END}, "", ""},
        {SYSEV_FCNTL_LOCK, 3, 0, 0, 0, 0, {F_SETLK, F_WRLCK, uint64_t(1) << 32, 9}, "", ""},
        {SYSEV_FCNTL_LOCK, 3, 0, 0, 0, 0, {F_SETLK, F_UNLCK, 5, 3}, "", ""},
        {SYSEV_CLOSE, 3, 0, 0, 0, 0, {}, "", ""},
        {SYSEV_UNLINK, AT_FDCWD, 0, 0, 0, 0, {}, name, ""},
        {SYSEV_RMDIR, AT_FDCWD, 0, 0, 0, 0, {}, dirTemplate, ""},
    };
    EbpfCounters counters;
    Seen seen = RunWatched(
        [&] {
            Int80(5 /* open */, (long)name, O_RDWR | O_CREAT, 0600);
            Int80(181 /* pwrite64 */, 3, lowBuf, 200, 1000, 0);
            Int80(180 /* pread64 */, 3, lowBuf, 100, 5, 1);
            Int80(146 /* writev */, 3, (long)iov, 2);
            Int80(140 /* _llseek */, 3, 0, 7, result, SEEK_SET);
            Int80(19 /* lseek */, 3, -2, SEEK_END);
            Int80(221 /* fcntl64 */, 3, 13 /* F_SETLK64 */, (long)lock64);
            Int80(55 /* fcntl */, 3, F_SETLK, (long)lock32);
            Int80(6 /* close */, 3);
            Int80(10 /* unlink */, (long)name);
            Call(SYS_rmdir, (long)dirTemplate);
        },
        &counters);
    ExpectRows(seen.rows, expected);
    munmap(low, 4096);
}

// A name relative to a base descriptor carries the base's name, built in the
// kernel from its dentries: whole up to 255 bytes and 32 folders and mounts,
// otherwise marked cut.
TEST(EbpfBackend, BaseNamesWholeUpToTheirLimitsElseCut) {
    std::string why;
    if (!EbpfAvailable(&why))
        GTEST_SKIP() << "eBPF unavailable: " << why;
    char dirTemplate[] = "/tmp/talvek-ebpf-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    std::string deep = dir;
    for (int i = 0; i < 40; i++)
        deep += "/d";
    const struct {
        const char* what;
        std::string folder;
        bool whole;
    } cases[] = {
        {"the root", "/", true},
        {"255 bytes", dir + "/" + std::string(254 - dir.size(), 'a'), true},
        {"256 bytes", dir + "/" + std::string(255 - dir.size(), 'b'), false},
        {"40 folders", deep, false},
    };
    std::vector<std::string> made;
    for (const auto& c : cases) {
        for (size_t at = dir.size() + 1; at <= c.folder.size() && c.folder != "/"; at++) {
            if (at == c.folder.size() || c.folder[at] == '/') {
                made.push_back(c.folder.substr(0, at));
                ASSERT_EQ(mkdir(made.back().c_str(), 0755), 0) << made.back();
            }
        }
    }
    EbpfCounters counters;
    Seen seen = RunWatched(
        [&] {
            char name[] = "x"; // on the stack: readable at the call's entry
            for (const auto& c : cases) {
                long fd = Call(SYS_open, (long)c.folder.c_str(), O_RDONLY | O_DIRECTORY);
                Call(SYS_faccessat, fd, (long)name, F_OK);
                Call(SYS_close, fd);
            }
        },
        &counters);
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        rmdir(it->c_str());
    rmdir(dir.c_str());
    std::vector<sysev> access;
    for (const sysev& ev : seen.rows)
        if (ev.call == SYSEV_ACCESS)
            access.push_back(ev);
    ASSERT_EQ(access.size(), std::size(cases));
    for (size_t i = 0; i < access.size(); i++) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_NE(access[i].state & SYSEV_ST_BASE, 0u);
        EXPECT_EQ((access[i].state & SYSEV_ST_BASE_CUT) == 0, cases[i].whole);
        if (cases[i].whole) {
            EXPECT_EQ(std::string(access[i].path2), cases[i].folder);
        }
    }
}

namespace {

struct AllSeen {
    pid_t marker; // its end: everything is in
    bool markerEnded;
    std::vector<std::pair<uint32_t, std::string>> names; // accesses of /talvek-all-*
};

void CollectAll(const sysev& ev, void* ctx) {
    AllSeen* seen = static_cast<AllSeen*>(ctx);
    if (ev.call == SYSEV_ACCESS && strncmp(ev.path1, "/talvek-all-", 12) == 0)
        seen->names.push_back({ev.pid, ev.path1});
    if (ev.call == SYSEV_EXIT && ev.pid == (uint32_t)seen->marker)
        seen->markerEnded = true;
}

// A process outside this one's tree (its parent ends at once): it waits for a
// byte on `wait`, runs `body`, then writes a byte to `then`.
pid_t StartOrphan(int wait, int then, const std::function<void()>& body) {
    int id[2];
    if (pipe(id) != 0)
        return -1;
    pid_t middle = fork();
    if (middle == 0) {
        pid_t orphan = fork();
        if (orphan == 0) {
            char c;
            if (read(wait, &c, 1) == 1)
                body();
            _exit(write(then, "d", 1) == 1 ? 0 : 1);
        }
        _exit(write(id[1], &orphan, sizeof(orphan)) == sizeof(orphan) ? 0 : 1);
    }
    waitpid(middle, nullptr, 0);
    pid_t orphan = -1;
    if (read(id[0], &orphan, sizeof(orphan)) != sizeof(orphan))
        orphan = -1;
    close(id[0]);
    close(id[1]);
    return orphan;
}

} // namespace

// With `all`: every process but the excluded trees (also what they start
// later) and the hook's own.
TEST(EbpfBackend, AllWatchesEveryProcessButTheExcludedTreesAndItself) {
    std::string why;
    if (!EbpfAvailable(&why))
        GTEST_SKIP() << "eBPF unavailable: " << why;
    int go[2], next[2], done[2];
    ASSERT_EQ(pipe(go) | pipe(next) | pipe(done), 0);
    pid_t excluded = StartOrphan(go[0], next[1], [] {
        pid_t child = fork(); // made after the start: excluded with its parent
        if (child == 0) {
            Call(SYS_access, (long)"/talvek-all-excluded-child", F_OK);
            _exit(0);
        }
        waitpid(child, nullptr, 0);
        Call(SYS_access, (long)"/talvek-all-excluded", F_OK);
    });
    pid_t watched =
        StartOrphan(next[0], done[1], [] { Call(SYS_access, (long)"/talvek-all-watched", F_OK); });
    ASSERT_GT(excluded, 0);
    ASSERT_GT(watched, 0);
    EbpfWatch watch;
    watch.all = true;
    watch.exclude = {excluded};
    EbpfSession* s = EbpfStart(watch, &why);
    ASSERT_NE(s, nullptr) << why;
    Call(SYS_access, (long)"/talvek-all-self", F_OK);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    AllSeen seen = {watched, false, {}};
    for (int i = 0; i < 500 && !seen.markerEnded; i++)
        ASSERT_GE(EbpfPoll(s, 20, CollectAll, &seen), 0);
    EbpfStop(s);
    EXPECT_TRUE(seen.markerEnded);
    ASSERT_EQ(seen.names.size(), 1u);
    EXPECT_EQ(seen.names[0].first, (uint32_t)watched);
    EXPECT_EQ(seen.names[0].second, "/talvek-all-watched");
    for (int fd : {go[0], go[1], next[0], next[1], done[0], done[1]})
        close(fd);
}
