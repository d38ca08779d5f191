#include "hook/system/errno_dos.h"

#include <errno.h>

namespace {

struct ErrnoDos {
    int err;
    int32_t dos;
};

constexpr ErrnoDos kErrnoDos[] = {
    {ENOENT, DOS_FILE_NOT_FOUND},
    {ENOTDIR, DOS_PATH_NOT_FOUND},
    {ELOOP, DOS_PATH_NOT_FOUND}, // a name that cannot be resolved
    {EMFILE, DOS_TOO_MANY_OPEN_FILES},
    {ENFILE, DOS_TOO_MANY_OPEN_FILES},
    {EACCES, DOS_ACCESS_DENIED},
    {EPERM, DOS_ACCESS_DENIED},
    {EISDIR, DOS_ACCESS_DENIED}, // a folder opened for writing
    {EBADF, DOS_INVALID_HANDLE},
    {ENOMEM, DOS_NOT_ENOUGH_MEMORY},
    {EXDEV, DOS_NOT_SAME_DEVICE},
    {EROFS, DOS_WRITE_PROTECT},
    {EIO, DOS_GEN_FAILURE},
    {EBUSY, DOS_SHARING_VIOLATION},
    {ETXTBSY, DOS_SHARING_VIOLATION},
    {EAGAIN, DOS_LOCK_VIOLATION}, // only locks reach the table with it
    {ENOSPC, DOS_HANDLE_DISK_FULL},
    {EDQUOT, DOS_HANDLE_DISK_FULL},
    {EEXIST, DOS_FILE_EXISTS},
    {EINVAL, DOS_INVALID_PARAMETER},
    {ENOTEMPTY, DOS_DIR_NOT_EMPTY},
    {ENAMETOOLONG, DOS_FILENAME_EXCED_RANGE},
};

} // namespace

int32_t DosErrorOf(int err) {
    for (const ErrnoDos& e : kErrnoDos) {
        if (e.err == err)
            return e.dos;
    }
    return kDosFallbackError;
}
