// Linux errno values as the DOS error codes that IFS calls return.
#pragma once

#include <stdint.h>

#include "event/ifs_vocab.h" // DosError

// ENOENT answers DOS_FILE_NOT_FOUND here; the caller turns it into
// DOS_PATH_NOT_FOUND when the name's folder does not exist, and EAGAIN or
// EACCES of a lock into DOS_LOCK_VIOLATION. An errno outside the table
// answers kDosFallbackError.
int32_t DosErrorOf(int err);

constexpr int32_t kDosFallbackError = DOS_GEN_FAILURE;
