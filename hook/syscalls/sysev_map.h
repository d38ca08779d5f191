// From the Linux calls that a backend saw (struct sysev) to IFS call records.
// Platform-free: what only the running system can tell comes through
// HookLookups, so that recorded events map the same way on any machine.
//
// Per process the mapper keeps the working folder and the descriptors it saw
// opened as files or folders (name, drive, position), or received over a
// socket (SCM_RIGHTS: followed under the name the backend read at receipt,
// with no row of their own). Only those descriptors
// are reported for READ, WRITE, SEEK, CLOSE and the like; pipes, sockets,
// terminals and descriptors opened before the hook stay out. A call with no
// IFS counterpart (dup, close_range, fork, exec, exit, an untracked
// descriptor) is not reported; it may still change the state.
//
// Choices beyond the plain table:
//   - fstat (a stat with AT_EMPTY_PATH and an empty name) asks about a handle,
//     not a name: HANDLEINFO with the descriptor's sfn and name, for tracked
//     descriptors only.
//   - An open of something that is neither file nor folder (a device, a fifo)
//     is reported as OPEN, but its descriptor is not tracked.
//   - A relative name whose base (working folder or descriptor) is unknown is
//     shown as it is, with backslashes, on drive ?: (Drive -1).
//   - A call whose name could not be read from the process is lost: counted,
//     not reported.
//   - Positions are tracked from opens, reads, writes and seeks; the position
//     of a descriptor opened with O_APPEND is not known after a write.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "hook/dos_name.h"
#include "hook/ifs_call.h"
#include "hook/syscalls/syscall_event.h"

struct HookLookups {
    // The working folder of a process seen for the first time.
    std::function<bool(uint32_t pid, std::string* folder)> workingFolder;
    // The name of a descriptor the mapper did not see opened (a dirfd).
    std::function<bool(uint32_t pid, int32_t fd, std::string* name)> descriptorName;
    // 1 a folder, 0 not, -1 unknown; asked when the backend could not tell.
    std::function<int(const std::string& unixName)> isFolder;
    std::function<bool(const std::string& unixName)> folderExists;
    // Whether the name lies on a network file system (ResType NET).
    std::function<bool(const std::string& unixName)> isNetwork;
};

enum class MapOutcome { Reported, NotReported, Lost };

class SysevMapper {
  public:
    SysevMapper(DriveTable drives, HookLookups lookups);

    MapOutcome Map(const sysev& ev, IfsCall* out);

    size_t ProcessCount() const { return processes_.size(); }

    // Whether calls on this descriptor are reported (it was seen opened as a
    // file or folder and is still open).
    bool Follows(uint32_t pid, int32_t fd) const;

  private:
    struct OpenFile {
        std::string unixName;
        std::string dosName; // code page 949, cut to Path1
        int32_t drive = 0;
        uint32_t resType = 0;
        bool folder = false;
        uint64_t pos = 0;
    };
    struct Descriptor {
        std::shared_ptr<OpenFile> file; // shared by dup and fork, as the kernel does
        bool closeOnExec = false;
    };
    struct Process {
        bool folderKnown = false;
        std::string folder; // the working folder, a Unix name
        std::unordered_map<int32_t, Descriptor> fds;
    };
    // A resolved name: the Unix name (empty when the base was unknown) and
    // its DOS form.
    struct Name {
        std::string unixName;
        std::string dos;
        int32_t drive = -1;
        uint32_t resType = kResTypeLocal;
    };

    Process& ProcessOf(uint32_t pid);
    OpenFile* Tracked(Process& p, int32_t fd);
    Name Resolve(uint32_t pid, Process& p, int32_t dirfd, const char* name, size_t maxBytes);
    int32_t ResultOf(int64_t ret, const Name& name) const;
    void SetName(IfsCall* out, const Name& name) const;

    MapOutcome MapOpen(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapTransfer(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapLock(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapOnName(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapOnDescriptor(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapState(const sysev& ev, Process& p);

    DriveTable drives_;
    HookLookups lookups_;
    std::unordered_map<uint32_t, Process> processes_;
};
