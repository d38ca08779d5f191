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
// State at the call: what a row says must hold when the call was made, not
// when the record is mapped (later, and the process may be gone).
//   - The working folder is known from a process's start: the command's is
//     given (SetWorkingFolder), a new process inherits its parent's at fork,
//     chdir and fchdir change it as they happen. A process first seen
//     already running (--pid, --all) has it read once, at first sight; a
//     change it made just before is then already in it.
//   - A base descriptor the mapper did not see opened is named by the
//     backend at the call (SYSEV_ST_BASE), else looked up when mapped.
//   - FileNotFound or PathNotFound comes from the backend's look at the
//     names' folders at the call (SYSEV_ST_FOLDERS), else from a look-up
//     when mapped; a rename's PathNotFound comes from either name's folder.
//   - A SEEK_END lock takes the file's size at the call (SYSEV_ST_SIZE); a
//     read or write whose record holds the position after the call
//     (SYSEV_ST_POS, as O_APPEND writes do) is placed by it.
//
// Choices beyond the plain table:
//   - fstat (a stat with AT_EMPTY_PATH and an empty name) asks about a handle,
//     not a name: HANDLEINFO with the descriptor's sfn and name, for tracked
//     descriptors only.
//   - An open of something that is neither file nor folder (a device, a fifo)
//     is reported as OPEN, but its descriptor is not tracked.
//   - A relative name whose base (working folder or descriptor) is unknown is
//     shown as it is, with backslashes, on drive ?: (Drive -1).
//   - Lost, counted and not reported: a call whose name could not be read
//     from the process; a call whose name (or base's name) was longer than
//     the record holds, never resolved as the shorter name; a call on a
//     descriptor whose open was lost.
//   - A copy between descriptors (copy_file_range, sendfile, FICLONE) is a
//     READ of the source and a WRITE of the destination, each for a followed
//     file; the second row comes from TakeSecond. chmod and the like are
//     FILEATTRIB SET_ATTRIBUTES. Links, ownership and device nodes stay out.
//   - openat2's RESOLVE_IN_ROOT resolves an absolute name against the base.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "hook/dos_name.h"
#include "trace/ifs_call.h"
#include "hook/system/syscall_event.h"

struct HookLookups {
    // The working folder of a process seen for the first time, already running.
    std::function<bool(uint32_t pid, std::string* folder)> workingFolder;
    // The name of a descriptor the mapper did not see opened (a dirfd).
    std::function<bool(uint32_t pid, int32_t fd, std::string* name)> descriptorName;
    // 1 a folder, 0 not, -1 unknown; asked when the backend could not tell.
    std::function<int(const std::string& unixName)> isFolder;
    std::function<bool(const std::string& unixName)> folderExists;
    // Whether the name lies on a network file system (ResType NET).
    std::function<bool(const std::string& unixName)> isNetwork;
};

// Lost: a name unreadable; LostLongName: a name longer than the record holds;
// LostDescriptor: a call on a descriptor whose open was lost.
enum class MapOutcome {
    Reported,
    NotReported,
    Lost,
    LostLongName,
    LostDescriptor,
    LostOutsideRoot
};

// A record of the ring as the mapping may read it: the bytes the kernel side
// sent (a record ends after its last name; the rest reads as empty), the
// process name and both names terminated within their fields.
sysev SysevOfRecord(const void* data, size_t size);

class SysevMapper {
  public:
    SysevMapper(DriveTable drives, HookLookups lookups);

    MapOutcome Map(const sysev& ev, IfsCall* out);

    // The second row of the call just mapped (a copy's WRITE), once.
    bool TakeSecond(IfsCall* out);

    // The working folder of a process started by the hook, before its first call.
    void SetWorkingFolder(uint32_t pid, const std::string& folder);

    size_t ProcessCount() const { return processes_.size(); }

    // Whether calls on this descriptor are reported (it was seen opened as a
    // file or folder and is still open).
    bool Follows(uint32_t pid, int32_t fd) const;

    // The Unix name of the call's first (or second) name as the mapper would
    // resolve it now, without changing anything; "" when its base is unknown.
    std::string PeekName(const sysev& ev, bool second) const;

    // Whether writes on this followed descriptor need the position after the
    // call from the backend (opened with O_APPEND).
    bool Appends(uint32_t pid, int32_t fd) const;

  private:
    struct OpenFile {
        std::string unixName;
        std::string dosName; // code page 949, at most Path1's bytes
        int32_t drive = 0;
        uint32_t resType = 0;
        bool folder = false;
        bool append = false;
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
        std::unordered_set<int32_t> lostFds; // opened, but the open was lost
    };
    // A resolved name: the Unix name (empty when the base was unknown) and
    // its DOS form, whole; tooLong when that is longer than its record field
    // (the call is then lost, never shown with a shorter name).
    struct Name {
        std::string unixName;
        std::string dos;
        bool tooLong = false;
        int32_t drive = -1;
        uint32_t resType = kResTypeLocal;
    };

    Process& ProcessOf(uint32_t pid);
    OpenFile* Tracked(Process& p, int32_t fd);
    Name Resolve(const sysev& ev, Process& p, int32_t dirfd, const char* name, size_t maxBytes,
                 bool inRoot = false);
    bool FolderMissing(const sysev& ev, uint32_t bit, const Name& name) const;
    int32_t ResultOf(const sysev& ev, const Name& name, const Name* second = nullptr) const;
    MapOutcome Untracked(const sysev& ev, Process& p, int32_t fd);
    void Transfer(const sysev& ev, const OpenFile& f, int32_t fd, bool read, IfsCall* out);
    void SetName(IfsCall* out, const Name& name) const;

    MapOutcome MapOpen(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapTransfer(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapLock(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapOnName(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapOnDescriptor(const sysev& ev, Process& p, IfsCall* out);
    MapOutcome MapState(const sysev& ev, Process& p);
    MapOutcome MapCopy(const sysev& ev, Process& p, IfsCall* out);

    DriveTable drives_;
    HookLookups lookups_;
    std::unordered_map<uint32_t, Process> processes_;
    IfsCall second_;
    bool hasSecond_ = false;
};
