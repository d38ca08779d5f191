#include "hook/user_files.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// A plain decimal id: digits only, at most 10 of them, below 2^32 - 1.
bool PlainId(const char* text, unsigned* id) {
    unsigned long long value = 0;
    int digits = 0;
    for (const char* c = text; *c != '\0'; ++c, ++digits) {
        if (*c < '0' || *c > '9' || digits == 10)
            return false;
        value = value * 10 + unsigned(*c - '0');
    }
    if (digits == 0 || value >= 0xFFFFFFFFull)
        return false;
    *id = static_cast<unsigned>(value);
    return true;
}

// The file-system ids of the invoking user while it lives: access is then
// checked as that user's (the hook is one thread here). Root's supplementary
// groups are set aside meanwhile.
struct UserFs {
    bool active = false;
    bool failed = false;
    std::vector<gid_t> groups;
    int count = 0;

    UserFs() {
        uid_t uid;
        gid_t gid;
        std::string why;
        const InvokingUser who = ThisInvokingUser(&uid, &gid, &why);
        if (who == InvokingUser::Itself)
            return;
        failed = who == InvokingUser::Refused;
        groups.resize(static_cast<size_t>(getgroups(0, nullptr)));
        count = getgroups(static_cast<int>(groups.size()), groups.data());
        if (failed || count < 0 || setgroups(1, &gid) != 0) {
            failed = true;
            return;
        }
        setfsgid(gid);
        setfsuid(uid);
        active = true;
    }
    ~UserFs() {
        if (!active)
            return;
        setfsuid(0);
        setfsgid(0);
        setgroups(static_cast<size_t>(count), groups.data());
    }
};

} // namespace

InvokingUser ReadInvokingUser(uid_t euid, const char* uidText, const char* gidText, uid_t* uid,
                              gid_t* gid, std::string* why) {
    if (euid != 0 || (uidText == nullptr && gidText == nullptr))
        return InvokingUser::Itself;
    unsigned u = 0, g = 0;
    if (uidText == nullptr || gidText == nullptr || !PlainId(uidText, &u) ||
        !PlainId(gidText, &g)) {
        *why = std::string("run through sudo with SUDO_UID \"") + (uidText ? uidText : "(unset)") +
               "\" and SUDO_GID \"" + (gidText ? gidText : "(unset)") +
               "\": both must be plain numbers, so nothing is done as root for that user";
        return InvokingUser::Refused;
    }
    if (u == 0)
        return InvokingUser::Itself;
    *uid = u;
    *gid = g;
    return InvokingUser::Sudo;
}

InvokingUser ThisInvokingUser(uid_t* uid, gid_t* gid, std::string* why) {
    static uid_t s_uid = 0;
    static gid_t s_gid = 0;
    static std::string s_why;
    static const InvokingUser s_who =
        ReadInvokingUser(geteuid(), getenv("SUDO_UID"), getenv("SUDO_GID"), &s_uid, &s_gid, &s_why);
    *uid = s_uid;
    *gid = s_gid;
    *why = s_why;
    return s_who;
}

int OpenAsInvokingUser(const char* path, int flags, mode_t mode) {
    int fd = -1, err = EPERM;
    {
        const UserFs as;
        if (!as.failed) {
            fd = open(path, flags | (as.active ? O_NOFOLLOW : 0), mode);
            err = errno;
        }
    } // the ids are back before errno is set
    errno = err;
    return fd;
}

void UnlinkOwnFile(const char* path, int fd) {
    const UserFs as;
    struct stat named, open;
    if (as.failed || lstat(path, &named) != 0 || fstat(fd, &open) != 0 ||
        named.st_dev != open.st_dev || named.st_ino != open.st_ino)
        return;
    unlink(path);
}
