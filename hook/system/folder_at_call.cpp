#include "hook/system/folder_at_call.h"

#include <errno.h>
#include <fcntl.h>

#include <unordered_map>

#include "hook/dos_name.h"
#include "hook/system/sysev_map.h"

namespace {

bool HasName(const sysev& ev) {
    return ev.path1[0] != '\0' &&
           (ev.flags & (SYSEV_PATH1_CUT | SYSEV_PATH1_UNREADABLE | SYSEV_PATH2_CUT)) == 0;
}

bool RemovesFolder(const sysev& ev) {
    return ev.call == SYSEV_RMDIR || (ev.call == SYSEV_UNLINK && (ev.a[0] & AT_REMOVEDIR) != 0);
}

} // namespace

void DecideFoldersAtCall(std::vector<sysev>* batch, const SysevMapper& mapper,
                         const std::function<bool(const std::string&)>& folderExists,
                         const std::function<std::string(uint32_t pid)>& rootOf) {
    bool anyMissing = false;
    for (const sysev& ev : *batch)
        anyMissing = anyMissing || (ev.ret == -ENOENT && HasName(ev));
    if (!anyMissing || !folderExists)
        return;
    // Each process's root, once: its names are looked up below it.
    std::unordered_map<uint32_t, std::string> roots;
    const auto below = [&](uint32_t pid, const std::string& name) {
        if (!rootOf)
            return name;
        const auto [it, added] = roots.try_emplace(pid);
        if (added)
            it->second = rootOf(pid);
        return it->second == "/" ? name : it->second + name;
    };
    // Whether a folder (as the hook sees it) existed just after the record
    // being looked at.
    std::unordered_map<std::string, bool> existed;
    const auto exists = [&](const std::string& folder) {
        const auto [it, added] = existed.try_emplace(folder, false);
        if (added)
            it->second = folderExists(folder);
        return it->second;
    };
    for (auto it = batch->rbegin(); it != batch->rend(); ++it) {
        sysev& ev = *it;
        if (!HasName(ev))
            continue;
        const std::string peeked = mapper.PeekName(ev, false);
        if (peeked.empty())
            continue;
        const std::string name = below(ev.pid, peeked);
        if (ev.ret == -ENOENT) {
            ev.state |= SYSEV_ST_FOLDERS;
            if (!exists(ParentFolder(name)))
                ev.state |= SYSEV_ST_NO_FOLDER1;
            if (ev.call == SYSEV_RENAME) {
                const std::string to = mapper.PeekName(ev, true);
                if (!to.empty() && !exists(ParentFolder(below(ev.pid, to))))
                    ev.state |= SYSEV_ST_NO_FOLDER2;
            }
            continue;
        }
        if (ev.ret != 0)
            continue;
        // Before a change, the folder was as the change found it.
        if (ev.call == SYSEV_MKDIR) {
            existed[name] = false;
        } else if (RemovesFolder(ev)) {
            existed[name] = true;
        } else if (ev.call == SYSEV_RENAME) {
            const std::string peekedTo = mapper.PeekName(ev, true);
            const std::string to = peekedTo.empty() ? "" : below(ev.pid, peekedTo);
            if (!to.empty()) {
                existed[name] = exists(to);
                existed[to] = false;
            }
        }
    }
}
