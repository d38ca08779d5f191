// NTSTATUS values as the DOS error codes that Windows makes of them
// (RtlNtStatusToDosError), for the Windows view's results.
#pragma once

#include <stdint.h>

// 0 for success and informational codes (STATUS_PENDING included); the
// Windows code for the errors and warnings in the table; for any other error
// or warning ERROR_MR_MID_NOT_FOUND (317), as RtlNtStatusToDosError answers.
int32_t DosErrorOfStatus(uint32_t status);

constexpr uint32_t kStatusPending = 0x00000103;
constexpr uint32_t kStatusNoMoreFiles = 0x80000006;
constexpr uint32_t kStatusNoSuchFile = 0xC000000F;
constexpr uint32_t kStatusEndOfFile = 0xC0000011;
constexpr uint32_t kStatusObjectNameNotFound = 0xC0000034;
constexpr uint32_t kStatusObjectPathNotFound = 0xC000003A;

inline bool StatusFailed(uint32_t status) {
    return status >= 0x80000000u;
}
