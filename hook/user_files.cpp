#include "hook/user_files.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <vector>

namespace {

// SUDO_UID or SUDO_GID as an id; false when unset or not a number.
bool SudoId(const char* name, unsigned* id) {
    const char* text = getenv(name);
    if (text == nullptr || *text == '\0')
        return false;
    char* end;
    const unsigned long value = strtoul(text, &end, 10);
    *id = static_cast<unsigned>(value);
    return *end == '\0' && value != 0;
}

} // namespace

int OpenAsInvokingUser(const char* path, int flags, mode_t mode) {
    unsigned uid = 0, gid = 0;
    if (geteuid() != 0 || !SudoId("SUDO_UID", &uid) || !SudoId("SUDO_GID", &gid))
        return open(path, flags, mode);
    // The file-system ids decide access; root's supplementary groups are
    // set aside meanwhile (the hook is one thread here).
    std::vector<gid_t> groups(static_cast<size_t>(getgroups(0, nullptr)));
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    const gid_t own = gid;
    if (count < 0 || setgroups(1, &own) != 0) {
        errno = EPERM;
        return -1;
    }
    setfsgid(gid);
    setfsuid(uid);
    const int fd = open(path, flags, mode);
    const int err = errno;
    setfsuid(0);
    setfsgid(0);
    setgroups(static_cast<size_t>(count), groups.data());
    errno = err;
    return fd;
}
