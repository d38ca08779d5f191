// Files that the user names on the command line (--out, --control). Run
// through sudo, the hook is root but the names are the invoking user's:
// they are opened with that user's rights (SUDO_UID, SUDO_GID), so that a
// link to a file the user may not read or write gets the user's refusal.
#pragma once

#include <sys/types.h>

// open(2) as the invoking user when the hook runs as root through sudo,
// else as it is; -1 with errno on a failure.
int OpenAsInvokingUser(const char* path, int flags, mode_t mode = 0);
