// Linux errno values as the DOS error codes that IFS calls return.
#pragma once

#include <stdint.h>

// ENOENT answers 2 (FileNotFound) here; the caller turns it into 3
// (PathNotFound) when the name's folder does not exist, and EAGAIN or EACCES
// of a lock into 33 (LockViolation). An errno outside the table answers
// kDosFallbackError.
int32_t DosErrorOf(int err);

constexpr int32_t kDosFallbackError = 31; // GenFailure
constexpr int32_t kDosPathNotFound = 3;
constexpr int32_t kDosNoMoreFiles = 18;
constexpr int32_t kDosLockViolation = 33;
