/* Calls whose rows depend on what held at the call: run in a folder W with
 * descriptor 7 open on W/sub. Between the marks "start-mark" and "exec-mark"
 * the process's rows are fixed; after the exec, until "end-mark", none but the
 * marks (its descriptors were close-on-exec). Prints the process ids and
 * the clone's errno (0 where the file system clones) as key=value lines. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

static void Mark(const char* name) {
    access(name, F_OK);
}

static void OnAlarm(int sig) {
    (void)sig;
}

/* A child that holds a lock on byte 0 of f1 for 400 ms. */
static pid_t HoldLock(void) {
    int ready[2];
    char c;
    if (pipe(ready) != 0)
        return -1;
    pid_t holder = fork();
    if (holder == 0) {
        int h = open("f1", O_RDWR);
        struct flock f = {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1};
        fcntl(h, F_SETLK, &f);
        if (write(ready[1], "x", 1) != 1)
            _exit(1);
        usleep(400000);
        _exit(0);
    }
    if (read(ready[0], &c, 1) != 1)
        return -1;
    close(ready[0]);
    close(ready[1]);
    return holder;
}

/* F_SETLKW on a held lock, an alarm at 100 ms: with SA_RESTART the kernel
 * makes the call again, without it the program gets EINTR and calls again. */
static void WaitForLock(int fd, int restart) {
    pid_t holder = HoldLock();
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnAlarm;
    sa.sa_flags = restart ? SA_RESTART : 0;
    sigaction(SIGALRM, &sa, NULL);
    struct itimerval t = {{0, 0}, {0, 100000}};
    setitimer(ITIMER_REAL, &t, NULL);
    struct flock f = {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1};
    if (fcntl(fd, F_SETLKW, &f) != 0 && errno == EINTR)
        fcntl(fd, F_SETLKW, &f);
    f.l_type = F_UNLCK;
    fcntl(fd, F_SETLK, &f);
    waitpid(holder, NULL, 0);
}

static void AfterExec(void) {
    int p[2];
    char c = 'x';
    Mark("exec-mark");
    /* The numbers that were close-on-exec (4, 5, 6; the loader took and gave
     * back 3), now two pipes' (the hook does not see pipes made). */
    int q[2];
    if (pipe(p) != 0 || pipe(q) != 0)
        return;
    if (write(p[1], &c, 1) != 1 || read(p[0], &c, 1) != 1 || write(q[1], &c, 1) != 1 ||
        read(q[0], &c, 1) != 1)
        return;
    Mark("end-mark");
}

int main(int argc, char** argv) {
    char block[8192];
    char name[300];
    (void)argc;
    if (argc > 1 && strcmp(argv[1], "after-exec") == 0) {
        AfterExec();
        return 0;
    }
    /* Only 0, 1, 2 and 7 from the caller: the descriptors to come are 3, 4. */
    syscall(SYS_close_range, 3, 6, 0);
    syscall(SYS_close_range, 8, ~0U, 0);
    memset(block, 'a', sizeof block);
    int fd = open("f1", O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0 || write(fd, block, sizeof block) != (ssize_t)sizeof block)
        return 1;
    close(fd);
    mkdir("sub", 0755);
    mkdir("od", 0755);
    close(open("sub/f1", O_CREAT | O_WRONLY, 0644));
    close(open("ren", O_CREAT | O_WRONLY, 0644));
    Mark("start-mark");

    /* The first relative chdir, a name in it. */
    if (chdir("sub") != 0)
        return 1;
    close(open("g", O_CREAT | O_WRONLY, 0644));
    if (chdir("..") != 0)
        return 1;
    /* A child's relative open, then its chdir; it ends at once. */
    pid_t child = fork();
    if (child == 0) {
        close(open("f1", O_RDONLY));
        if (chdir("/") != 0)
            _exit(1);
        _exit(0);
    }
    waitpid(child, NULL, 0);
    /* Descriptor 7 from the shell, then closed. */
    close(openat(7, "f1", O_RDONLY));
    close(7);
    /* Folders as they were at the call. */
    open("nd/x", O_RDONLY);
    mkdir("nd", 0755);
    open("od/x", O_RDONLY);
    rmdir("od");
    /* A lock from the end; an O_APPEND write. */
    int lk = open("f1", O_RDWR);
    struct flock fl = {.l_type = F_WRLCK, .l_whence = SEEK_END, .l_start = -16, .l_len = 16};
    fcntl(lk, F_SETLK, &fl);
    close(lk);
    int ap = open("f1", O_WRONLY | O_APPEND);
    if (write(ap, block, 16) != 16)
        return 1;
    close(ap);
    /* A name longer than a record holds, and a read on what it opened. */
    for (int i = 0; i < 140; i++)
        memcpy(name + 2 * i, "./", 2);
    strcpy(name + 280, "f1");
    int ln = open(name, O_RDONLY);
    if (read(ln, block, 1) != 1)
        return 1;
    close(ln);
    /* A rename into a missing folder; openat2 in the base as its root. */
    rename("ren", "nodir/ren");
    int d = open("sub", O_RDONLY | O_DIRECTORY);
    struct open_how how = {.flags = O_RDONLY, .resolve = RESOLVE_IN_ROOT};
    close((int)syscall(SYS_openat2, d, "/g", &how, sizeof how));
    close(d);
    /* Copies in the kernel; attributes. */
    int src = open("f1", O_RDONLY);
    int dst = open("f2", O_CREAT | O_WRONLY | O_TRUNC, 0644);
    copy_file_range(src, NULL, dst, NULL, 100, 0);
    off_t at = 0x40;
    sendfile(dst, src, &at, 8);
    int cloned = ioctl(dst, FICLONE, src) == 0 ? 0 : errno;
    close(src);
    close(dst);
    chmod("f2", 0600);
    fchmodat(AT_FDCWD, "f2", 0644, 0);
    /* Interrupted lock waits: restarted by the kernel, then EINTR. */
    lk = open("f1", O_RDWR);
    WaitForLock(lk, 1);
    WaitForLock(lk, 0);
    close(lk);
    /* Close-on-exec set after the open (F_SETFD on 3 and 4, dup3 to 5,
     * F_DUPFD_CLOEXEC to 6), then exec. */
    int a = open("f1", O_RDONLY);
    fcntl(dup(a), F_SETFD, FD_CLOEXEC);
    fcntl(a, F_SETFD, FD_CLOEXEC);
    dup3(a, 5, O_CLOEXEC);
    fcntl(a, F_DUPFD_CLOEXEC, 6);
    printf("pid=%d\nchild=%d\nclone=%d\n", (int)getpid(), (int)child, cloned);
    fflush(stdout);
    execl("/proc/self/exe", argv[0], "after-exec", (char*)NULL);
    return 1;
}
