// The constant vocabularies that turn a call record's codes and flag bits
// into words: the 30 monitored IFS functions, the result names, the
// sub-function names, the flag sets and the two-way words.
//
// Name lists are NUL-terminated entries back to back, read by position with
// MszEntry. Lists that may be read at any position end with an empty entry,
// so that a position past their end, or a negative one, reads as "".
#pragma once

#include <stddef.h>
#include <stdint.h>

// The number of IFS functions the monitor shows and filters.
constexpr int kIfsFuncCount = 30;

// IFS manager function numbers that the program names.
enum IfsFn : int32_t {
    IFSFN_READ = 0,
    IFSFN_WRITE = 1,
    IFSFN_FINDNEXT = 2,
    IFSFN_FCNNEXT = 3,
    IFSFN_SEEK = 10,
    IFSFN_CLOSE = 11,
    IFSFN_COMMIT = 12,
    IFSFN_FILELOCKS = 13,
    IFSFN_FILETIMES = 14,
    IFSFN_PIPEREQUEST = 15,
    IFSFN_HANDLEINFO = 16,
    IFSFN_ENUMHANDLE = 17,
    IFSFN_FINDCLOSE = 18,
    IFSFN_FCNCLOSE = 19,
    IFSFN_CONNECT = 30,
    IFSFN_DELETE = 31,
    IFSFN_DIR = 32,
    IFSFN_FILEATTRIB = 33,
    IFSFN_FLUSH = 34,
    IFSFN_GETDISKINFO = 35,
    IFSFN_OPEN = 36,
    IFSFN_RENAME = 37,
    IFSFN_SEARCH = 38,
    IFSFN_QUERY = 39,
    IFSFN_DISCONNECT = 40,
    IFSFN_UNCPIPEREQ = 41,
    IFSFN_IOCTL16DRIVE = 42,
    IFSFN_GETDISKPARMS = 43,
    IFSFN_FINDOPEN = 44,
    IFSFN_DASDIO = 45,
};

// The codes and bits that the record's other fields take, by field. The
// driver, talvek-hook and the stand-in's scenario write them; the flag tables
// below name them for the rows.
//
// ResType (offset 12): ResTypeFlags in its low byte.
constexpr uint32_t kResTypeUnc = 0x01;
constexpr uint32_t kResTypeNet = 0x08;
constexpr uint32_t kResTypeLocal = 0x10;
constexpr uint32_t kResTypeCfsd = 0x80; // a character device's file system

// ir_flags: the sub-function of SEEK, FILETIMES, DIR, FILEATTRIB and
// FILELOCKS (named by SeekFromNames, FileTimeOpNames, DirOpNames, LockWord).
constexpr uint8_t kSeekFromBegin = 0;
constexpr uint8_t kSeekFromCurrent = 1;
constexpr uint8_t kSeekFromEnd = 2;
constexpr uint8_t kGetModifyDateTime = 0;
constexpr uint8_t kSetModifyDateTime = 1;
constexpr uint8_t kGetLastAccessDateTime = 5;
constexpr uint8_t kSetLastAccessDateTime = 6;
constexpr uint8_t kGetCreationDateTime = 7;
constexpr uint8_t kSetCreationDateTime = 8;
enum DirOp : uint8_t {
    kCreateDir = 0,
    kDeleteDir = 1,
    kCheckDir = 2,
    kQuery83Dir = 3,
    kQueryLongDir = 4,
};
constexpr uint8_t kGetAttributes = 0;
constexpr uint8_t kSetAttributes = 1;
constexpr uint8_t kLock = 0;
constexpr uint8_t kUnlock = 1;
// ir_flags of OPEN: an access mode with a sharing mode.
constexpr uint8_t kAccessReadOnly = 0x00;
constexpr uint8_t kAccessWriteOnly = 0x01;
constexpr uint8_t kAccessReadWrite = 0x02;
constexpr uint8_t kShareCompatibility = 0x00;
constexpr uint8_t kShareDenyReadWrite = 0x10;
constexpr uint8_t kShareDenyWrite = 0x20;
constexpr uint8_t kShareDenyRead = 0x30;
constexpr uint8_t kShareDenyNone = 0x40;

// ir_options of OPEN: the actions when the file exists and when it does not.
constexpr uint16_t kActionOpenExisting = 0x01;
constexpr uint16_t kActionReplaceExisting = 0x02;
constexpr uint16_t kActionCreateNew = 0x10;
// ir_options of READ and WRITE: RwOptionFlags in the high byte (offset 45).
constexpr uint16_t kRwNoCache = 0x01 << 8;
constexpr uint16_t kRwSwapper = 0x10 << 8;
constexpr uint16_t kRwMemMapped = 0x80 << 8;
// ir_options of CLOSE and COMMIT: HandleOptionFlags (offset 44).
constexpr uint16_t kNoLastAccessDate = 0x01;
constexpr uint16_t kCloseForLevel4Lock = 0x02;
constexpr uint16_t kCommitAsync = 0x04;
// ir_options of FILELOCKS: LockOptionFlags (offset 44).
constexpr uint16_t kLockRead = 0x01;
constexpr uint16_t kLockNoWait = 0x02;

// ir_length of DIR: DirPathFlags in the top byte (offset 23).
constexpr uint32_t kDirLongPath = 0x20u << 24;
constexpr uint32_t kDirKeepCase = 0x10u << 24;
constexpr uint32_t kDirHasDot = 0x08u << 24;
constexpr uint32_t kDirIsLfn = 0x04u << 24;

// The monitored functions. A function's position (0 to 29) is its identity
// everywhere: options check box 108 + position, character position in
// IfsFncMonEnaFg, order of the settings push.
struct IfsFuncList {
    uint8_t Codes[kIfsFuncCount]; // function codes, searched by byte value
    const char* Names;            // kIfsFuncCount names in the same order, no end entry
};

inline constexpr char IfsFuncNames[] =
    "READ\0WRITE\0FINDNEXT\0FCNNEXT\0SEEK\0CLOSE\0COMMIT\0FILELOCKS\0FILETIMES\0PIPEREQUEST\0"
    "HANDLEINFO\0ENUMHANDLE\0FINDCLOSE\0FCNCLOSE\0CONNECT\0DELETE\0DIR\0FILEATTRIB\0FLUSH\0"
    "GETDISKINFO\0OPEN\0RENAME\0SEARCH\0QUERY\0DISCONNECT\0UNCPIPEREQ\0IOCTL16DRIVE\0"
    "GETDISKPARMS\0FINDOPEN\0DASDIO";

inline constexpr IfsFuncList IfsFuncTable = {
    {IFSFN_READ,       IFSFN_WRITE,        IFSFN_FINDNEXT,     IFSFN_FCNNEXT,   IFSFN_SEEK,
     IFSFN_CLOSE,      IFSFN_COMMIT,       IFSFN_FILELOCKS,    IFSFN_FILETIMES, IFSFN_PIPEREQUEST,
     IFSFN_HANDLEINFO, IFSFN_ENUMHANDLE,   IFSFN_FINDCLOSE,    IFSFN_FCNCLOSE,  IFSFN_CONNECT,
     IFSFN_DELETE,     IFSFN_DIR,          IFSFN_FILEATTRIB,   IFSFN_FLUSH,     IFSFN_GETDISKINFO,
     IFSFN_OPEN,       IFSFN_RENAME,       IFSFN_SEARCH,       IFSFN_QUERY,     IFSFN_DISCONNECT,
     IFSFN_UNCPIPEREQ, IFSFN_IOCTL16DRIVE, IFSFN_GETDISKPARMS, IFSFN_FINDOPEN,  IFSFN_DASDIO},
    IfsFuncNames,
};

// Position (0 to 29) of the function whose code is the low 8 bits of code,
// or -1. Only the low byte takes part: a caller holding a full 32-bit
// function number checks its range itself.
int32_t IfsFuncPosition(int32_t code);

// DOS error names of result codes 0 to 39, with end entry.
inline constexpr char ResultNames[] =
    "Ok\0InvalidFunction\0FileNotFound\0PathNotFound\0TooManyOpenFiles\0AccessDenied\0"
    "InvalidHandle\0ArenaTrashed\0NotEnoughMemory\0InvalidBlock\0ErrorBadEnvironment\0"
    "BadFormat\0InvalidAccess\0InvalidData\0reserved\0InvalidDrive\0CurrentDirectory\0"
    "NotSameDevice\0NoMoreFiles\0WriteProtect\0BadUnit\0NotReady\0BadCommand\0CRC_Error\0"
    "BadLength\0SeekError\0NotDosDisk\0SectorNotFound\0OutOfPaper\0WriteFault\0ReadFault\0"
    "GenFailure\0SharingViolation\0LockViolation\0WrongDisk\0FCB_Unavailable\0"
    "SharingBufferExceeded\0CodePageMismatched\0HandleEOF\0HandleDiskFull\0";
constexpr int32_t kResultNameCount = 40;

// The DOS error codes that the hook's mappers give calls, each beside its
// name in ResultNames where that has one (80 and above show as
// UnknownError-N, as the monitor shows any code past the list).
enum DosError : int32_t {
    DOS_OK = 0,
    DOS_FILE_NOT_FOUND = 2,
    DOS_PATH_NOT_FOUND = 3,
    DOS_TOO_MANY_OPEN_FILES = 4,
    DOS_ACCESS_DENIED = 5,
    DOS_INVALID_HANDLE = 6,
    DOS_NOT_ENOUGH_MEMORY = 8,
    DOS_NOT_SAME_DEVICE = 17,
    DOS_NO_MORE_FILES = 18,
    DOS_WRITE_PROTECT = 19,
    DOS_GEN_FAILURE = 31,
    DOS_SHARING_VIOLATION = 32,
    DOS_LOCK_VIOLATION = 33,
    DOS_HANDLE_EOF = 38,
    DOS_HANDLE_DISK_FULL = 39,
    DOS_FILE_EXISTS = 80,
    DOS_INVALID_PARAMETER = 87,
    DOS_DIR_NOT_EMPTY = 145,
    DOS_FILENAME_EXCED_RANGE = 206,
};

// Whether entry `at` of a name list is `name` (for checks at compile time).
constexpr bool MszEntryIs(const char* list, int32_t at, const char* name) {
    for (; at > 0; --at)
        while (*list++ != '\0') {
        }
    for (; *name != '\0'; ++list, ++name)
        if (*list != *name)
            return false;
    return *list == '\0';
}
static_assert(MszEntryIs(ResultNames, DOS_FILE_NOT_FOUND, "FileNotFound") &&
                  MszEntryIs(ResultNames, DOS_PATH_NOT_FOUND, "PathNotFound") &&
                  MszEntryIs(ResultNames, DOS_TOO_MANY_OPEN_FILES, "TooManyOpenFiles") &&
                  MszEntryIs(ResultNames, DOS_ACCESS_DENIED, "AccessDenied") &&
                  MszEntryIs(ResultNames, DOS_INVALID_HANDLE, "InvalidHandle") &&
                  MszEntryIs(ResultNames, DOS_NOT_ENOUGH_MEMORY, "NotEnoughMemory") &&
                  MszEntryIs(ResultNames, DOS_NOT_SAME_DEVICE, "NotSameDevice") &&
                  MszEntryIs(ResultNames, DOS_NO_MORE_FILES, "NoMoreFiles") &&
                  MszEntryIs(ResultNames, DOS_WRITE_PROTECT, "WriteProtect") &&
                  MszEntryIs(ResultNames, DOS_GEN_FAILURE, "GenFailure") &&
                  MszEntryIs(ResultNames, DOS_SHARING_VIOLATION, "SharingViolation") &&
                  MszEntryIs(ResultNames, DOS_LOCK_VIOLATION, "LockViolation") &&
                  MszEntryIs(ResultNames, DOS_HANDLE_EOF, "HandleEOF") &&
                  MszEntryIs(ResultNames, DOS_HANDLE_DISK_FULL, "HandleDiskFull"),
              "a DOS error code beside another's name");

// Sub-function names, read at the unsigned value of ir_flags; with end entry.
inline constexpr char SeekFromNames[] = "BEGIN\0CURRENT\0END\0";
inline constexpr char FileTimeOpNames[] =
    "GET_MODIFY_DATETIME\0SET_MODIFY_DATETIME\0unknown\0unknown\0unknown\0"
    "GET_LAST_ACCESS_DATETIME\0SET_LAST_ACCESS_DATETIME\0GET_CREATION_DATETIME\0"
    "SET_CREATION_DATETIME\0";
inline constexpr char DirOpNames[] =
    "CREATE_DIR\0DELETE_DIR\0CHECK_DIR\0QUERY83_DIR\0QUERYLONG_DIR\0";

// One bit of a flag set and the word it stands for.
struct FlagWord {
    uint8_t Bit;
    const char* Word;
};

// Each set tests one byte of the record, bit by bit in table order.
inline constexpr FlagWord ResTypeFlags[] = {
    // offset 12, low byte of ResType
    {kResTypeUnc, "UNC"},
    {kResTypeNet, "NET"},
    {kResTypeLocal, "LCL"},
    {kResTypeCfsd, "CFSD"},
};
inline constexpr FlagWord RwOptionFlags[] = {
    // offset 45, high byte of ir_options
    {kRwNoCache >> 8, "NO_CACHE"},
    {kRwSwapper >> 8, "SWAPPER"},
    {kRwMemMapped >> 8, "MM"},
};
inline constexpr FlagWord HandleOptionFlagsClose[] = {
    // offset 44
    {kNoLastAccessDate, "NO_LAST_ACCESS_DATE"},
    {kCloseForLevel4Lock, "CLOSE_FOR_LEVEL4_LOCK"},
};
inline constexpr FlagWord HandleOptionFlagsCommit[] = {
    // offset 44
    {kNoLastAccessDate, "NO_LAST_ACCESS_DATE"},
    {kCommitAsync, "COMMIT_ASNYNC"},
};
inline constexpr FlagWord LockOptionFlags[] = {
    // offset 44
    {kLockRead, "RD"},
    {kLockNoWait, "NW"},
};
inline constexpr FlagWord DirPathFlags[] = {
    // offset 23, top byte of ir_length
    {kDirLongPath >> 24, "LONG_PATH"},
    {kDirKeepCase >> 24, "KEEP_CASE"},
    {kDirHasDot >> 24, "HAS_DOT"},
    {kDirIsLfn >> 24, "IS_LFN"},
};

// The two-way words.
inline const char* LockWord(uint32_t irFlags) {
    return irFlags == kLock ? "LOCK" : "UNLOCK";
}
inline const char* TransferWord(int32_t func) {
    return func == IFSFN_READ ? "into" : "from";
}
inline const char* CodePageWord(uint32_t codePage) {
    return codePage == 0 ? "ANSI" : "OEM";
}

// Entry offsets of a name list, computed at compile time. Reading an entry
// through them gives what MszEntry gives at that position, without walking
// the entries before it: the row texts read the function and result names
// once per event.
template <int Count> struct NameListIndex { uint16_t At[Count]; };

template <int Count, size_t N> constexpr NameListIndex<Count> IndexNameList(const char (&list)[N]) {
    NameListIndex<Count> index{};
    size_t pos = 0;
    for (int i = 0; i < Count; ++i) {
        index.At[i] = static_cast<uint16_t>(pos);
        while (pos < N && list[pos] != '\0')
            ++pos;
        ++pos;
    }
    return index;
}

inline constexpr NameListIndex<kIfsFuncCount> IfsFuncNameIndex =
    IndexNameList<kIfsFuncCount>(IfsFuncNames);
inline constexpr NameListIndex<kResultNameCount + 1> ResultNameIndex = // with the end entry
    IndexNameList<kResultNameCount + 1>(ResultNames);

// The name at a position that IfsFuncPosition returned (0 to 29).
inline const char* IfsFuncName(int32_t position) {
    return IfsFuncTable.Names + IfsFuncNameIndex.At[position];
}

// The name of a result code; "" for a code past the list or a negative one.
inline const char* ResultName(int32_t code) {
    const uint32_t at = static_cast<uint32_t>(code);
    return ResultNames + ResultNameIndex.At[at < kResultNameCount ? at : kResultNameCount];
}

// Checks, at compile time, that a name list literal holds exactly `names`
// non-empty entries, followed by the empty end entry when endEntry is set.
template <size_t N> constexpr bool IsNameList(const char (&list)[N], int names, bool endEntry) {
    size_t i = 0;
    for (int n = 0; n < names; ++n) {
        if (i >= N || list[i] == '\0')
            return false; // missing or empty entry
        while (i < N && list[i] != '\0')
            ++i;
        ++i; // past the entry's NUL
    }
    if (endEntry)
        return i + 1 == N && list[i] == '\0';
    return i == N;
}

static_assert(sizeof IfsFuncTable.Codes == 30);
static_assert(IsNameList(IfsFuncNames, kIfsFuncCount, false));
static_assert(IsNameList(ResultNames, kResultNameCount, true));
static_assert(IsNameList(SeekFromNames, 3, true));
static_assert(IsNameList(FileTimeOpNames, 9, true));
static_assert(IsNameList(DirOpNames, 5, true));
