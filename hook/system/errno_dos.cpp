#include "hook/system/errno_dos.h"

#include <errno.h>

namespace {

struct ErrnoDos {
    int err;
    int32_t dos;
};

constexpr ErrnoDos kErrnoDos[] = {
    {ENOENT, 2},        // FileNotFound
    {ENOTDIR, 3},       // PathNotFound
    {ELOOP, 3},         // a name that cannot be resolved
    {EMFILE, 4},        // TooManyOpenFiles
    {ENFILE, 4},        //
    {EACCES, 5},        // AccessDenied
    {EPERM, 5},         //
    {EISDIR, 5},        // a folder opened for writing
    {EBADF, 6},         // InvalidHandle
    {ENOMEM, 8},        // NotEnoughMemory
    {EXDEV, 17},        // NotSameDevice
    {EROFS, 19},        // WriteProtect
    {EIO, 31},          // GenFailure
    {EBUSY, 32},        // SharingViolation
    {ETXTBSY, 32},      //
    {EAGAIN, 33},       // LockViolation (only locks reach the table with it)
    {ENOSPC, 39},       // HandleDiskFull
    {EDQUOT, 39},       //
    {EEXIST, 80},       // FileExists
    {EINVAL, 87},       // InvalidParameter
    {ENOTEMPTY, 145},   // DirNotEmpty
    {ENAMETOOLONG, 206} // FilenameExcedRange
};

} // namespace

int32_t DosErrorOf(int err) {
    for (const ErrnoDos& e : kErrnoDos) {
        if (e.err == err)
            return e.dos;
    }
    return kDosFallbackError;
}
