// Known file operations for the hook tests, in a fixed order, in the folder
// named by argv[1]. Prints the descriptors it got ("file=N dir=N") so that the
// test can name them in the rows it expects. Exit status 0 when every step
// did what it should.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
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
    printf("file=%d dir=%d\n", fd, dirFd);
    return failures == 0 ? 0 : 1;
}
