// The IFS call record fields that the hook fills for one Linux call, and
// their call-trace line.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

constexpr size_t kHookPath1Max = 259; // bytes of a name without its NUL
constexpr size_t kHookPath2Max = 259;

constexpr uint32_t kResTypeNet = 0x08;
constexpr uint32_t kResTypeLocal = 0x10;
constexpr uint32_t kResTypeUnc = 0x01;

// Sub-function codes and flag bits that the views put into records.
constexpr uint32_t kDirIsLfn = 0x04u << 24; // DirPathFlags IS_LFN in the top byte of ir_length
enum DirOp : uint8_t { kCreateDir = 0, kDeleteDir = 1, kCheckDir = 2 };
constexpr uint8_t kSetModifyDateTime = 1; // FILETIMES
constexpr uint8_t kSetLastAccessDateTime = 6;
constexpr uint8_t kSetCreationDateTime = 8;
constexpr uint8_t kSetAttributes = 1;  // FILEATTRIB
constexpr uint8_t kUnlock = 1;         // FILELOCKS
constexpr uint16_t kLockRead = 0x01;   // LockOptionFlags RD
constexpr uint16_t kLockNoWait = 0x02; // LockOptionFlags NW

struct IfsCall {
    int32_t func = 0;
    int32_t drive = 0;
    uint32_t resType = 0;
    int32_t result = 0;
    uint32_t length = 0; // ir_length (DIR: DirPathFlags in the top byte)
    uint8_t flags = 0;   // ir_flags
    uint16_t sfn = 0;    // ir_sfn
    uint32_t data = 0;   // ir_data
    uint16_t options = 0;
    uint32_t fh = 0;
    uint32_t pos = 0;
    uint32_t aux2 = 0;
    std::string path1; // code page 949 bytes
    std::string path2;
};

// Appends one call-trace line, LF-terminated, to out: pid= and comm= first,
// then func= and drive=, then every other field that is not 0 or empty.
void AppendTraceLine(const IfsCall& call, uint32_t pid, const char* comm, std::string* out);
