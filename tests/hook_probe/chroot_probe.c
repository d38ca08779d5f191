/* Runs in a chroot (statically linked: the root holds nothing else), with
 * descriptor 7 on the root's /w opened before the hook started: names made
 * from that descriptor, from the working folder and given whole, as the
 * program sees them. */
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(void) {
    int fd = openat(7, "f1", O_CREAT | O_WRONLY | O_TRUNC, 0644); /* on descriptor 7 */
    if (fd < 0)
        return 1;
    close(fd);
    mkdirat(7, "sub", 0755);
    if (chdir("/w") != 0)
        return 2;
    fd = open("f2", O_CREAT | O_WRONLY | O_TRUNC, 0644); /* from the working folder */
    if (fd < 0)
        return 3;
    close(fd);
    return 0;
}
