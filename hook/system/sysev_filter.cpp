#include "hook/system/sysev_filter.h"

#include <array>

#include "driver/driver_ctl.h"
#include "event/ifs_vocab.h"
#include "hook/system/syscall_event.h"

namespace {

constexpr uint32_t Bit(IfsFn fn) {
    for (int i = 0; i < kIfsFuncCount; ++i) {
        if (IfsFuncTable.Codes[i] == fn)
            return 1u << i;
    }
    return 0;
}

constexpr uint32_t kDescriptorFuncs =
    Bit(IFSFN_READ) | Bit(IFSFN_WRITE) | Bit(IFSFN_FINDNEXT) | Bit(IFSFN_SEEK) | Bit(IFSFN_CLOSE) |
    Bit(IFSFN_COMMIT) | Bit(IFSFN_FILELOCKS) | Bit(IFSFN_FILETIMES) | Bit(IFSFN_HANDLEINFO) |
    Bit(IFSFN_FINDCLOSE) | Bit(IFSFN_FLUSH) | Bit(IFSFN_GETDISKINFO);

struct Entry {
    uint16_t call;
    SysevCallFilter filter;
};

// What sysev_map.cpp makes of each call.
constexpr Entry kEntries[] = {
    {SYSEV_OPEN, {Bit(IFSFN_OPEN) | Bit(IFSFN_FINDOPEN), false, true, false}},
    {SYSEV_CLOSE, {Bit(IFSFN_CLOSE) | Bit(IFSFN_FINDCLOSE), false, true, false}},
    {SYSEV_READ, {Bit(IFSFN_READ), false, false, false}},
    {SYSEV_WRITE, {Bit(IFSFN_WRITE), false, false, false}},
    {SYSEV_LSEEK, {Bit(IFSFN_SEEK), false, false, false}},
    {SYSEV_FSYNC, {Bit(IFSFN_COMMIT), false, false, false}},
    {SYSEV_FCNTL_LOCK, {Bit(IFSFN_FILELOCKS), false, false, false}},
    {SYSEV_FLOCK, {Bit(IFSFN_FILELOCKS), false, false, false}},
    {SYSEV_UTIMENS, {Bit(IFSFN_FILETIMES), false, false, false}},
    {SYSEV_STAT, {Bit(IFSFN_FILEATTRIB) | Bit(IFSFN_HANDLEINFO), false, false, false}},
    {SYSEV_ACCESS, {Bit(IFSFN_FILEATTRIB), false, false, false}},
    {SYSEV_UNLINK, {Bit(IFSFN_DELETE) | Bit(IFSFN_DIR), false, false, false}},
    {SYSEV_MKDIR, {Bit(IFSFN_DIR), false, false, false}},
    {SYSEV_RMDIR, {Bit(IFSFN_DIR), false, false, false}},
    {SYSEV_CHDIR, {Bit(IFSFN_DIR), false, false, true}},
    {SYSEV_FCHDIR, {Bit(IFSFN_DIR), false, false, true}},
    {SYSEV_RENAME, {Bit(IFSFN_RENAME), false, false, false}},
    {SYSEV_STATFS, {Bit(IFSFN_GETDISKINFO), false, false, false}},
    {SYSEV_FSTATFS, {Bit(IFSFN_GETDISKINFO), false, false, false}},
    {SYSEV_SYNC, {Bit(IFSFN_FLUSH), false, false, false}},
    {SYSEV_SYNCFS, {Bit(IFSFN_FLUSH), false, false, false}},
    {SYSEV_GETDENTS, {Bit(IFSFN_FINDNEXT), true, false, false}},
    {SYSEV_DUP, {0, false, true, false}},
    {SYSEV_FORK, {0, false, false, true}},
    {SYSEV_EXEC, {0, false, false, true}},
    {SYSEV_EXIT, {0, false, false, true}},
    {SYSEV_CLOSE_RANGE, {0, false, true, false}},
    {SYSEV_SETFD, {0, false, true, false}},
    {SYSEV_RECEIVE_FD, {0, false, true, false}},
    {SYSEV_COPY, {Bit(IFSFN_READ) | Bit(IFSFN_WRITE), false, false, false}},
    {SYSEV_CHMOD, {Bit(IFSFN_FILEATTRIB), false, false, false}},
};

std::array<SysevCallFilter, SYSEV_CALL_COUNT + 1> MakeTable() {
    std::array<SysevCallFilter, SYSEV_CALL_COUNT + 1> table{};
    for (const Entry& e : kEntries)
        table[e.call] = e.filter;
    return table;
}

const std::array<SysevCallFilter, SYSEV_CALL_COUNT + 1> kTable = MakeTable();

} // namespace

const SysevCallFilter& SysevCallFilterOf(uint16_t call) {
    return kTable[call < SYSEV_CALL_COUNT ? call : uint16_t{SYSEV_CALL_COUNT}];
}

bool SysevMayShow(const IfsFilter& f, uint16_t call) {
    return f.monitoring && (SysevCallFilterOf(call).funcs & IfsFilterPositions(f)) != 0;
}

bool SysevNeeded(const IfsFilter& f, uint16_t call) {
    if (!f.monitoring)
        return false;
    const SysevCallFilter& c = SysevCallFilterOf(call);
    const uint32_t on = IfsFilterPositions(f);
    return (c.forDescriptor && (on & kDescriptorFuncs) != 0) || (c.forState && on != 0);
}

bool SysevResultMayShow(const IfsFilter& f, uint16_t call, int64_t ret) {
    const bool failed = ret < 0 || (ret == 0 && SysevCallFilterOf(call).zeroFails);
    if (f.results == RESULTS_OK)
        return !failed;
    if (f.results == RESULTS_FAILED)
        return failed;
    return true;
}
