// Files that the user names on the command line (--out, --control). Run
// through sudo, the hook is root but the names are the invoking user's:
// they are opened with that user's rights (SUDO_UID, SUDO_GID), so that a
// link to a file the user may not read or write gets the user's refusal.
// The talvek script asks the hook for the same ids (--invoking-user), so
// that both read them by one rule.
#pragma once

#include <sys/types.h>

#include <string>

enum class InvokingUser {
    Itself,  // not root, or root not started through sudo (or sudo by root)
    Sudo,    // root through sudo: act for *uid, *gid
    Refused, // SUDO_UID or SUDO_GID set but not both plain numbers: `why`
};

// The invoking user of a process whose effective id is `euid`, from the
// texts of SUDO_UID and SUDO_GID (nullptr when unset). Both must be plain
// decimal numbers (digits only, within the id range, not the -1 that means
// "no change"); one without the other is refused. SUDO_UID 0 is root itself.
InvokingUser ReadInvokingUser(uid_t euid, const char* uidText, const char* gidText, uid_t* uid,
                              gid_t* gid, std::string* why);

// ReadInvokingUser for this process and its environment, read once.
InvokingUser ThisInvokingUser(uid_t* uid, gid_t* gid, std::string* why);

// open(2) as the invoking user when the hook runs as root through sudo,
// else as it is; -1 with errno on a failure (EPERM where the ids were
// refused). Through sudo the last component is never followed as a link.
int OpenAsInvokingUser(const char* path, int flags, mode_t mode = 0);

// unlink(2) of a file this hook made, as the invoking user, only while
// `path` still names the file open on `fd` (a name swapped meanwhile is left).
void UnlinkOwnFile(const char* path, int fd);
