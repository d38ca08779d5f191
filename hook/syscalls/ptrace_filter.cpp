#include "hook/syscalls/ptrace_filter.h"

#include <fcntl.h>

#include "event/ifs_vocab.h"
#include "hook/syscalls/sysev_filter.h"
#include "hook/syscalls/x86_64_syscalls.h"

namespace {

bool CallWanted(const IfsFilter& f, uint16_t call) {
    return SysevMayShow(f, call) || SysevNeeded(f, call);
}

// A stat of a descriptor (fstat) can only be HANDLEINFO, never FILEATTRIB.
bool HandleInfoWanted(const IfsFilter& f) {
    return IfsFilterPasses(f, IFSFN_HANDLEINFO, 0) || IfsFilterPasses(f, IFSFN_HANDLEINFO, 1);
}

} // namespace

std::vector<uint16_t> TracedSyscallsFor(const IfsFilter& f) {
    const uint16_t* numbers;
    const size_t n = WatchedSyscalls(&numbers);
    std::vector<uint16_t> traced;
    for (size_t i = 0; i < n; ++i) {
        const SyscallDecode* d = FindSyscallDecode(numbers[i]);
        bool wanted;
        if (d->extra == ArgExtra::ProcessName)
            wanted = true; // renames the process: no record, always read
        else if (d->call == SYSEV_STAT && d->path1 == kArgNone)
            wanted = HandleInfoWanted(f);
        else if (d->extra == ArgExtra::Fcntl)
            wanted = CallWanted(f, SYSEV_FCNTL_LOCK) || CallWanted(f, SYSEV_DUP);
        else
            wanted = CallWanted(f, d->call);
        if (wanted)
            traced.push_back(numbers[i]);
    }
    return traced;
}

bool PtraceCallWanted(const IfsFilter& f, const sysev& entry) {
    if (entry.call == SYSEV_STAT && entry.path1[0] == '\0' &&
        (entry.flags & SYSEV_PATH1_UNREADABLE) == 0 && (entry.a[0] & AT_EMPTY_PATH) != 0)
        return HandleInfoWanted(f);
    return CallWanted(f, entry.call);
}
