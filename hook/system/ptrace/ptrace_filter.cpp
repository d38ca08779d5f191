#include "hook/system/ptrace/ptrace_filter.h"

#include <fcntl.h>

#include "event/ifs_vocab.h"
#include "hook/system/sysev_filter.h"
#include "hook/system/arch/syscall_decode.h"

namespace {

bool CallWanted(const IfsFilter& f, uint16_t call) {
    return SysevMayShow(f, call) || SysevNeeded(f, call);
}

// A stat of a descriptor (fstat) can only be HANDLEINFO, never FILEATTRIB.
bool HandleInfoWanted(const IfsFilter& f) {
    return IfsFilterPasses(f, IFSFN_HANDLEINFO, 0) || IfsFilterPasses(f, IFSFN_HANDLEINFO, 1);
}

} // namespace

bool TracedFor(const IfsFilter& f, const SyscallDecode& d) {
    if (d.extra == ArgExtra::ProcessName)
        return true; // renames the process: no record, always read
    if (d.call == SYSEV_STAT && d.path1 == kArgNone)
        return HandleInfoWanted(f);
    if (d.extra == ArgExtra::Fcntl)
        return CallWanted(f, SYSEV_FCNTL_LOCK) || CallWanted(f, SYSEV_DUP) ||
               CallWanted(f, SYSEV_SETFD);
    if (d.extra == ArgExtra::Ioctl)
        return CallWanted(f, SYSEV_COPY) || CallWanted(f, SYSEV_SETFD);
    if (d.extra == ArgExtra::SocketCall)
        return CallWanted(f, SYSEV_RECEIVE_FD);
    return CallWanted(f, d.call);
}

std::vector<uint16_t> TracedSyscallsFor(const IfsFilter& f, const SyscallTable& table) {
    std::vector<uint16_t> traced;
    for (size_t i = 0; i < table.count; ++i) {
        if (TracedFor(f, table.decodes[i]))
            traced.push_back(table.decodes[i].nr);
    }
    return traced;
}

bool PtraceCallWanted(const IfsFilter& f, const sysev& entry) {
    if (entry.call == SYSEV_STAT && entry.path1[0] == '\0' &&
        (entry.flags & SYSEV_PATH1_UNREADABLE) == 0 && (entry.a[0] & AT_EMPTY_PATH) != 0)
        return HandleInfoWanted(f);
    return CallWanted(f, entry.call);
}
