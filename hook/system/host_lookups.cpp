#include "hook/system/host_lookups.h"

#include "hook/proc_text.h"
#include "hook/system/process_root.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

struct Mount {
    std::string point;
    bool network;
};

// Mount points with whether their file system is a network one, read once.
const std::vector<Mount>& Mounts() {
    static const std::vector<Mount> mounts = [] {
        static const char* const kNetworkTypes[] = {
            "nfs", "nfs4", "cifs", "smb3",  "smbfs",      "ncpfs",     "9p",
            "afs", "ceph", "coda", "davfs", "fuse.sshfs", "glusterfs", "lustre"};
        std::vector<Mount> list;
        std::string text;
        if (!ReadProcText("/proc/self/mountinfo", &text, 64 << 20))
            return list;
        for (const MountLine& m : ParseMountInfo(text.data(), text.size())) {
            bool network = false;
            for (const char* t : kNetworkTypes)
                network = network || m.type == t;
            list.push_back({m.point, network});
        }
        return list;
    }();
    return mounts;
}

bool AnyNetworkMount() {
    static const bool any = [] {
        for (const Mount& m : Mounts()) {
            if (m.network)
                return true;
        }
        return false;
    }();
    return any;
}

// Called for every name the hook maps: a machine without network mounts
// answers at once.
bool IsNetwork(const std::string& name) {
    if (!AnyNetworkMount())
        return false;
    size_t best = 0;
    bool network = false;
    for (const Mount& m : Mounts()) {
        const std::string& p = m.point;
        const bool under = p == "/" || (name.compare(0, p.size(), p) == 0 &&
                                        (name.size() == p.size() || name[p.size()] == '/'));
        if (under && p.size() >= best) {
            best = p.size();
            network = m.network;
        }
    }
    return network;
}

} // namespace

HookLookups HostLookups() {
    HookLookups l;
    // /proc gives names from the hook's root: as the process sees them, or
    // none when they lie outside its root.
    l.workingFolder = [](uint32_t pid, std::string* folder) {
        return ReadProcLink("/proc/" + std::to_string(pid) + "/cwd", folder) &&
               NameAsProcessSees(pid, folder);
    };
    l.descriptorName = [](uint32_t pid, int32_t fd, std::string* name) {
        return ReadProcLink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), name) &&
               NameAsProcessSees(pid, name);
    };
    l.isFolder = [](const std::string& name) {
        struct stat st;
        if (stat(name.c_str(), &st) != 0)
            return -1;
        return S_ISDIR(st.st_mode) ? 1 : 0;
    };
    l.folderExists = [](const std::string& name) {
        struct stat st;
        return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    l.isNetwork = IsNetwork;
    return l;
}
