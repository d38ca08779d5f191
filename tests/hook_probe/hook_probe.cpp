// Known file operations for the hook tests, in a fixed order, in the folder
// named by argv[1]. Prints the descriptors it got ("file=N dir=N passed=N
// received=N") so that the test can name them in the rows it expects. Exit
// status 0 when every step did what it should.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

int failures = 0;

void Expect(bool ok, const char* step) {
    if (!ok) {
        fprintf(stderr, "hook_probe: %s: %s\n", step, strerror(errno));
        ++failures;
    }
}

// Sends fd over the socket and returns the descriptor it arrives as
// (SCM_RIGHTS), -1 on failure.
int PassOver(int fd, const int pair[2]) {
    char byte = 'x';
    iovec iov = {&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg = {};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof fd);
    if (sendmsg(pair[0], &msg, 0) != 1)
        return -1;
    memset(control, 0, sizeof control);
    msg.msg_controllen = sizeof control;
    if (recvmsg(pair[1], &msg, 0) != 1 || (c = CMSG_FIRSTHDR(&msg)) == nullptr ||
        c->cmsg_type != SCM_RIGHTS)
        return -1;
    int received;
    memcpy(&received, CMSG_DATA(c), sizeof received);
    return received;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: hook_probe FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string data = dir + "/data.txt";
    const std::string renamed = dir + "/renamed.txt";
    const std::string folder = dir + "/Long Folder";

    Expect(open((dir + "/missing.txt").c_str(), O_RDONLY) < 0 && errno == ENOENT, "missing file");
    Expect(open((dir + "/nodir/x.txt").c_str(), O_RDONLY) < 0 && errno == ENOENT, "missing folder");
    const int fd = open(data.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
    Expect(fd >= 0, "create");
    char buffer[200];
    memset(buffer, 'x', sizeof buffer);
    Expect(pwrite(fd, buffer, 200, 1000) == 200, "write at 1000");
    Expect(lseek(fd, 0, SEEK_SET) == 0, "seek");
    Expect(read(fd, buffer, 100) == 100, "read");
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 16;
    lock.l_len = 32;
    Expect(fcntl(fd, F_SETLK, &lock) == 0, "lock");
    lock.l_type = F_UNLCK;
    Expect(fcntl(fd, F_SETLK, &lock) == 0, "unlock");
    Expect(close(fd) == 0, "close");
    Expect(rename(data.c_str(), renamed.c_str()) == 0, "rename");
    Expect(unlink(renamed.c_str()) == 0, "delete");
    Expect(mkdir(folder.c_str(), 0755) == 0, "mkdir");
    DIR* d = opendir(dir.c_str());
    Expect(d != nullptr, "opendir");
    const int dirFd = d != nullptr ? dirfd(d) : -1;
    while (d != nullptr && readdir(d) != nullptr) {
    }
    if (d != nullptr)
        closedir(d);
    Expect(rmdir(folder.c_str()) == 0, "rmdir");
    struct stat st;
    Expect(stat((dir + "/missing.txt").c_str(), &st) < 0, "stat missing");
    // A file that arrives over a socket, as Wine's server hands its clients
    // their files: its reads, writes, seeks and close are reported too.
    const std::string passedName = dir + "/passed.txt";
    const int passed = open(passedName.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
    int pair[2] = {-1, -1};
    Expect(passed >= 0 && socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0, "socketpair");
    Expect(lseek(passed, 7, SEEK_SET) == 7, "seek before passing");
    const int received = PassOver(passed, pair);
    Expect(received >= 0 && received != passed, "pass a descriptor");
    Expect(close(passed) == 0, "close the one sent");
    Expect(write(received, buffer, 10) == 10, "write received");
    Expect(lseek(received, 0, SEEK_SET) == 0, "seek received");
    Expect(read(received, buffer, 10) == 10, "read received");
    Expect(close(received) == 0 && unlink(passedName.c_str()) == 0, "close received");
    close(pair[0]);
    close(pair[1]);
    printf("file=%d dir=%d passed=%d received=%d\n", fd, dirFd, passed, received);
    return failures == 0 ? 0 : 1;
}
