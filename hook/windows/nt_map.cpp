#include "hook/windows/nt_map.h"

#include <string.h>

#include <iterator>
#include <utility>
#include <vector>

#include "event/ifs_vocab.h"
#include "hook/ring_record.h"
#include "hook/windows/nt_status.h"
#include "hook/windows/wow64_name.h"

namespace {

// CreateOptions
constexpr uint32_t kDirectoryFile = 0x00000001;
constexpr uint32_t kNonDirectoryFile = 0x00000040;
constexpr uint32_t kDeleteOnClose = 0x00001000;
// CreateDisposition
constexpr uint32_t kFileCreate = 2;
constexpr uint32_t kFileOpenIf = 3;
// Access rights
constexpr uint32_t kListDirectory = 0x00000001;
constexpr uint32_t kTraverse = 0x00000020;
constexpr uint32_t kReadAttributes = 0x00000080;
constexpr uint32_t kWriteAttributes = 0x00000100;
constexpr uint32_t kDelete = 0x00010000;
constexpr uint32_t kReadControl = 0x00020000;
constexpr uint32_t kSynchronize = 0x00100000;
constexpr uint32_t kGenericRead = 0x80000000;
// FILE_INFORMATION_CLASS and FS_INFORMATION_CLASS
constexpr uint32_t kFileBasicInformation = 4;
constexpr uint32_t kFileRenameInformation = 10;
constexpr uint32_t kFileDispositionInformation = 13;
constexpr uint32_t kFilePositionInformation = 14;
constexpr uint32_t kFileEndOfFileInformation = 20;
constexpr uint32_t kFileDispositionInformationEx = 64;
constexpr uint32_t kFileRenameInformationEx = 65;
constexpr uint32_t kFileFsSizeInformation = 3;
constexpr uint32_t kFileFsFullSizeInformation = 7;

// Names are made whole (no record field is this long), then measured: a name
// longer than the record's field is never shown cut to another name.
constexpr size_t kNameBytesMax = 4 * NTEV_NAME_UNITS;

constexpr uint32_t kStatusObjectNameCollision = 0xC0000035;

// FILE_BASIC_INFORMATION: the times a SetFileTime sets, in the order of the
// FILETIMES row it makes when it sets one of them (the write time first).
struct TimeField {
    size_t offset;
    uint8_t op;
};
constexpr TimeField kTimeFields[] = {
    {16, kSetModifyDateTime},
    {8, kSetLastAccessDateTime},
    {0, kSetCreationDateTime},
};

constexpr uint32_t kNonDataAccess =
    kDelete | kReadControl | kSynchronize | kReadAttributes | kWriteAttributes;

// A call of a 32-bit program in a 64-bit process whose names wow64.dll
// redirected before the call.
bool Redirected(const ntev& ev) {
    return (ev.flags & NTEV_WOW64) != 0 && (ev.flags & NTEV_REDIR_OFF) == 0;
}

// Rights that only a call by name (rename, delete, attributes) asks for.
bool IsHelperAccess(uint32_t access) {
    return (access & ~kNonDataAccess) == 0 && (access & (kDelete | kWriteAttributes)) != 0;
}

template <typename T> T InfoField(const ntev& ev, size_t offset) {
    T value;
    memcpy(&value, ev.info + offset, sizeof value);
    return value;
}

// The DOS devices of Windows 98's character file system, as a name after
// "\??\" (any case): NUL, CON, AUX, PRN, COM1-9, LPT1-9.
bool IsDosDevice(const std::string& name) {
    static const char* const kDevices[] = {"NUL", "CON", "AUX", "PRN"};
    for (const char* d : kDevices) {
        if (strcasecmp(name.c_str(), d) == 0)
            return true;
    }
    return name.size() == 4 &&
           (strncasecmp(name.c_str(), "COM", 3) == 0 || strncasecmp(name.c_str(), "LPT", 3) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

bool IsOpen(const ntev& ev) {
    return ev.call == NTEV_CREATE_FILE || ev.call == NTEV_OPEN_FILE;
}

// GetDriveType's question to the mount manager, which it asks after its
// drive's root could not be opened.
bool IsMountManagerOpen(const ntev& ev) {
    static const char16_t kName[] = u"\\??\\MountPointManager";
    constexpr size_t kBytes = sizeof kName - sizeof kName[0];
    return IsOpen(ev) && ev.root == 0 && ev.name_bytes == kBytes &&
           memcmp(ev.name, kName, kBytes) == 0;
}

bool StartsWith(const std::string& s, const char* prefix, bool anyCase) {
    const size_t n = strlen(prefix);
    return s.size() >= n &&
           (anyCase ? strncasecmp(s.c_str(), prefix, n) == 0 : s.compare(0, n, prefix) == 0);
}

std::string Joined(const std::string& folder, const std::string& rest) {
    if (rest.empty())
        return folder;
    if (!folder.empty() && folder.back() == '\\')
        return folder + rest;
    return folder + "\\" + rest;
}

// What follows the name in its buffer (name_tail_bytes), up to its NUL.
std::string TailText(const ntev& ev) {
    const size_t first = ev.name_bytes / 2;
    size_t n = 0;
    while (n < ev.name_tail_bytes / 2 && first + n < NTEV_NAME_UNITS + 1 && ev.name[first + n] != 0)
        ++n;
    return Utf16ToUtf8(ev.name + first, n);
}

// DirPathFlags of a folder's name; a trailing backslash ends no component,
// and a drive's root ("C:\\") has none.
uint32_t DirLength(std::string name) {
    while (name.size() > 3 && name.back() == '\\')
        name.pop_back();
    const bool driveRoot = name.size() <= 3 && name.size() >= 2 && name[1] == ':';
    return driveRoot || IsShortName(name) ? 0 : kDirIsLfn;
}

} // namespace

ntev NtevOfRecord(const void* data, size_t size) {
    ntev ev = RecordOfBytes<ntev>(data, size);
    ev.comm[sizeof ev.comm - 1] = 0;
    const uint16_t max = 2 * NTEV_NAME_UNITS;
    ev.name_bytes = ev.name_bytes < max ? ev.name_bytes : max;
    ev.name2_bytes = ev.name2_bytes < max ? ev.name2_bytes : max;
    const uint16_t tailMax = static_cast<uint16_t>(max - ev.name_bytes);
    ev.name_tail_bytes = ev.name_tail_bytes < tailMax ? ev.name_tail_bytes : tailMax;
    return ev;
}

NtMapper::NtMapper(DriveTable drives, std::function<bool(char letter)> driveIsNetwork)
    : drives_(std::move(drives)), driveIsNetwork_(std::move(driveIsNetwork)) {}

size_t NtMapper::HandleCount(uint32_t pid) const {
    const auto p = processes_.find(pid);
    return p == processes_.end() ? 0 : p->second.size();
}

uint32_t NtMapper::ResTypeOfDrive(char letter) {
    const auto known = resTypes_.find(letter);
    if (known != resTypes_.end())
        return known->second;
    const uint32_t type = driveIsNetwork_ && driveIsNetwork_(letter) ? kResTypeNet : kResTypeLocal;
    resTypes_[letter] = type;
    return type;
}

NtMapper::Name NtMapper::Resolve(const Handles& handles, uint64_t root, const uint16_t* units,
                                 size_t bytes, bool redirected) {
    Name n;
    const std::string text = Utf16ToUtf8(units, bytes / 2);
    if (root != 0) {
        const auto base = handles.find(root);
        if (base == handles.end())
            return n; // a base not seen opened (a device, or opened before the hook)
        n.ok = true;
        n.dos = Joined(base->second.name, text);
        Wow64ProgramName(&n.dos, redirected);
        n.drive = base->second.drive;
        n.resType = base->second.resType;
        return n;
    }
    if (!StartsWith(text, "\\??\\", false))
        return n; // \Device\..., a relative name without a base
    const std::string rest = text.substr(4);
    const char letter = static_cast<char>(rest.empty() ? 0 : rest[0] & ~0x20);
    if (letter >= 'A' && letter <= 'Z' && rest.size() >= 2 && rest[1] == ':' &&
        (rest.size() == 2 || rest[2] == '\\')) {
        n.dos = rest;
        Wow64ProgramName(&n.dos, redirected);
        n.drive = letter - 'A' + 1;
        n.resType = ResTypeOfDrive(letter);
        n.volume = rest.size() == 2;
    } else if (IsDosDevice(rest)) {
        n.dos = rest;
        n.drive = -1;
        n.resType = kResTypeCfsd;
    } else if (StartsWith(rest, "UNC\\", true)) {
        n.dos = "\\\\" + rest.substr(4);
        n.drive = -1;
        n.resType = kResTypeUnc | kResTypeNet;
    } else if (StartsWith(rest, "unix\\", true)) {
        std::string unixName = rest.substr(4);
        for (char& c : unixName) {
            if (c == '\\')
                c = '/';
        }
        n.dos = DosNameOf(drives_, NormaliseUnixName(unixName), &n.drive);
        n.resType = ResTypeOfDrive(n.dos[0]);
    } else {
        return n; // pipe\, CONIN$, MAILSLOT\ ...: devices
    }
    n.ok = true;
    return n;
}

NtOutcome NtMapper::Map(const ntev& ev, IfsCall* out) {
    *out = IfsCall{};
    // A name the kernel side had to cut is another name: the call is lost.
    if ((ev.flags & (NTEV_NAME_CUT | NTEV_NAME2_CUT)) != 0)
        return NtOutcome::LostLongName;
    const NtOutcome outcome = MapCall(ev, out);
    if (outcome == NtOutcome::Reported &&
        (out->path1.size() > kHookPath1Max || out->path2.size() > kHookPath2Max))
        return NtOutcome::LostLongName;
    return outcome;
}

std::vector<NtHeldRow> NtMapper::Settle(const ntev& ev) {
    std::vector<NtHeldRow> settled;
    const bool processEnds = ev.call == NTEV_PROCESS_EXIT || ev.call == NTEV_PROCESS_EXEC;
    for (auto it = held_.begin(); it != held_.end();) {
        if (processEnds ? it->pid == ev.pid : ev.call < NTEV_PROCESS_EXIT && it->tid == ev.tid) {
            it->none = !processEnds && IsMountManagerOpen(ev);
            settled.push_back(*it);
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    return settled;
}

std::vector<NtHeldRow> NtMapper::SettleAll() {
    std::vector<NtHeldRow> settled;
    settled.swap(held_);
    return settled;
}

NtOutcome NtMapper::MapCall(const ntev& ev, IfsCall* out) {
    volumeTried_ = 0;
    if (ev.call < NTEV_PROCESS_EXIT) {
        const auto tried = volumeTries_.find(ev.tid);
        if (tried != volumeTries_.end()) {
            if (tried->second.pid == ev.pid)
                volumeTried_ = tried->second.drive;
            volumeTries_.erase(tried);
        }
    }
    switch (ev.call) {
    case NTEV_PROCESS_EXIT:
        processes_.erase(ev.pid);
        for (auto it = volumeTries_.begin(); it != volumeTries_.end();)
            it = it->second.pid == ev.pid ? volumeTries_.erase(it) : std::next(it);
        return NtOutcome::NotReported;
    case NTEV_PROCESS_EXEC: {
        // A new program: only what it inherited stays.
        Handles& handles = processes_[ev.pid];
        for (auto it = handles.begin(); it != handles.end();)
            it = it->second.inherited ? std::next(it) : handles.erase(it);
        return NtOutcome::NotReported;
    }
    case NTEV_PROCESS_FORK:
        MapFork(ev);
        return NtOutcome::NotReported;
    case NTEV_CREATE_FILE:
    case NTEV_OPEN_FILE:
        return MapCreate(ev, processes_[ev.pid], out);
    case NTEV_QUERY_ATTRIBUTES:
    case NTEV_DELETE_FILE:
        return MapByName(ev, processes_[ev.pid], out);
    case NTEV_DUPLICATE:
        MapDuplicate(ev, processes_[ev.pid]);
        return NtOutcome::NotReported;
    default:
        return MapOnHandle(ev, processes_[ev.pid], out);
    }
}

// DuplicateHandle within the process: the copy is the same file under
// another value; DUPLICATE_CLOSE_SOURCE closes the source, also when the
// copy goes to another process.
void NtMapper::MapDuplicate(const ntev& ev, Handles& handles) {
    constexpr uint64_t kCloseSource = 1;
    if (StatusFailed(static_cast<uint32_t>(ev.status)))
        return;
    const bool fromSelf = (ev.a[1] & NTEV_DUP_FROM_SELF) != 0;
    const bool toSelf = (ev.a[1] & NTEV_DUP_TO_SELF) != 0;
    if (toSelf) {
        const auto source = fromSelf ? handles.find(ev.root) : handles.end();
        if (source != handles.end()) {
            Handle copy = source->second; // copied first: the insertion may rehash
            copy.inheritable = (ev.access & NTEV_OBJ_INHERIT) != 0;
            handles[ev.handle] = std::move(copy);
        } else {
            handles.erase(ev.handle); // a value of something not followed
        }
    }
    if (fromSelf && (ev.a[0] & kCloseSource) != 0 && !(toSelf && ev.root == ev.handle))
        handles.erase(ev.root);
}

// A new process. Made by NtCreateUserProcess asked to pass handles on, it
// gets its parent's inheritable ones, under the same values; Wine forks
// twice, so a process forked otherwise gets what its parent inherited.
void NtMapper::MapFork(const ntev& ev) {
    const auto parent = processes_.find(static_cast<uint32_t>(ev.root));
    if (parent == processes_.end())
        return;
    const bool created = ev.a[1] != 0;
    const bool inherit = (ev.a[0] & NTEV_INHERIT_HANDLES) != 0;
    std::vector<std::pair<uint64_t, Handle>> passed;
    for (const auto& [value, h] : parent->second) {
        if (created ? inherit && h.inheritable : h.inherited)
            passed.emplace_back(value, h);
    }
    Handles& child = processes_[ev.pid]; // after the parent's last use: this may rehash
    for (auto& [value, h] : passed) {
        h.inherited = true;
        child[value] = std::move(h);
    }
}

NtOutcome NtMapper::MapCreate(const ntev& ev, Handles& handles, IfsCall* out) {
    const Name n = Resolve(handles, ev.root, ev.name, ev.name_bytes, Redirected(ev));
    if (!n.ok) {
        // A pipe, a device: not followed, and no longer what this value was.
        if (!StatusFailed(static_cast<uint32_t>(ev.status)))
            handles.erase(ev.handle);
        return NtOutcome::NotReported;
    }
    if (n.volume)
        return MapVolume(ev, n, handles, out);
    const uint32_t status = static_cast<uint32_t>(ev.status);
    const bool failed = StatusFailed(status);
    const int32_t result = DosErrorOfStatus(status);
    out->drive = n.drive;
    out->resType = n.resType;
    out->path1 = Utf8ToCp949(n.dos, kNameBytesMax);
    out->result = result;
    Handle h;
    h.name = n.dos;
    h.drive = n.drive;
    h.resType = n.resType;
    h.folder = (ev.options & kDirectoryFile) != 0;
    h.inheritable = (ev.a[0] & NTEV_OBJ_INHERIT) != 0;
    bool reported = true;
    const auto dir = [&](DirOp op) {
        out->func = IFSFN_DIR;
        out->flags = op;
        out->length = DirLength(n.dos);
    };
    if (h.folder && (ev.disposition == kFileCreate || ev.disposition == kFileOpenIf)) {
        dir(kCreateDir);
        h.kind = Kind::Helper;
    } else if (h.folder && (ev.access & kListDirectory) != 0) {
        h.kind = Kind::FindFolder;
        out->func = IFSFN_FINDOPEN;
        if (result == DOS_FILE_NOT_FOUND)
            out->result = DOS_PATH_NOT_FOUND; // the folder of the search is missing
        // The name the program gave: the folder, then the mask behind it.
        const std::string mask = TailText(ev);
        if (!mask.empty())
            out->path1 = Utf8ToCp949(Joined(n.dos, mask), kNameBytesMax);
        reported = failed;
    } else if (h.folder && (ev.access & kTraverse) != 0) {
        dir(kCheckDir);
        h.kind = Kind::Helper;
    } else if (h.folder && ev.access == kSynchronize) {
        // A drive's root: GetVolumeInformation's second try (QUERY, with
        // this open's result), else GetDiskFreeSpace's or GetDriveType's,
        // whose query on it makes the row. Failed, the two cannot be told
        // apart yet: GETDISKINFO waits for the thread's next call.
        out->path1.clear();
        h.kind = Kind::Helper;
        if (volumeTried_ == n.drive) {
            out->func = IFSFN_QUERY;
        } else {
            out->func = IFSFN_GETDISKINFO;
            reported = false;
            if (failed) {
                NtHeldRow row;
                row.call = *out;
                row.pid = ev.pid;
                row.tid = ev.tid;
                memcpy(row.comm, ev.comm, sizeof row.comm);
                held_.push_back(std::move(row));
                return NtOutcome::Held;
            }
        }
    } else if (h.folder) {
        dir((ev.access & kDelete) != 0 ? kDeleteDir : kCheckDir);
        h.kind = Kind::Helper;
        reported = failed;
    } else if ((ev.options & kDeleteOnClose) != 0 && (ev.access & ~kNonDataAccess) == 0) {
        // DeleteFile: the file goes at the close.
        out->func = IFSFN_DELETE;
        h.kind = Kind::DeleteOnClose;
        reported = failed;
    } else if (ev.access == kSynchronize || IsHelperAccess(ev.access)) {
        // A call by name through a handle, whose own row comes from the call
        // made through it. When the open fails, its rights tell the call:
        // SYNCHRONIZE alone is SetFileAttributes, DELETE is MoveFile's source
        // (its destination never reaches Wine's ntdll then).
        out->func = ev.access == kSynchronize    ? IFSFN_FILEATTRIB
                    : (ev.access & kDelete) != 0 ? IFSFN_RENAME
                                                 : IFSFN_OPEN;
        if (out->func == IFSFN_FILEATTRIB)
            out->flags = kSetAttributes;
        h.kind = Kind::Helper;
        reported = failed;
    } else {
        // A file opened for its data (a temporary one with DELETE_ON_CLOSE
        // too: OPEN, its transfers and CLOSE, as a program sees it).
        out->func = IFSFN_OPEN;
        if (!failed)
            out->sfn = static_cast<uint16_t>(ev.handle);
        if (status == kStatusObjectNameCollision)
            out->result = DOS_FILE_EXISTS;
    }
    if (!failed)
        handles[ev.handle] = std::move(h);
    return reported ? NtOutcome::Reported : NtOutcome::NotReported;
}

// The bare volume "\??\C:": GetVolumeInformation's, opened for reading as
// a file. Its row is QUERY (the volume's information, as Windows 98's
// int 21h 71A0h asks its file system); when the open fails, the thread's
// next open, of the drive's root, makes it. Any other open of a volume (a
// program's CreateFile("\\.\C:")) is a device's: not reported.
NtOutcome NtMapper::MapVolume(const ntev& ev, const Name& n, Handles& handles, IfsCall* out) {
    const bool volumeInfo =
        ev.access == (kGenericRead | kSynchronize) && (ev.options & kNonDirectoryFile) != 0;
    const bool failed = StatusFailed(static_cast<uint32_t>(ev.status));
    if (!volumeInfo) {
        if (!failed)
            handles.erase(ev.handle);
        return NtOutcome::NotReported;
    }
    if (failed) {
        volumeTries_[ev.tid] = VolumeTry{ev.pid, n.drive};
        return NtOutcome::NotReported;
    }
    Handle h;
    h.kind = Kind::Helper;
    h.name = n.dos;
    h.drive = n.drive;
    h.resType = n.resType;
    handles[ev.handle] = std::move(h);
    out->func = IFSFN_QUERY;
    out->drive = n.drive;
    out->resType = n.resType;
    return NtOutcome::Reported;
}

NtOutcome NtMapper::MapByName(const ntev& ev, Handles& handles, IfsCall* out) {
    const Name n = Resolve(handles, ev.root, ev.name, ev.name_bytes, Redirected(ev));
    if (!n.ok)
        return NtOutcome::NotReported;
    out->func = ev.call == NTEV_DELETE_FILE ? IFSFN_DELETE : IFSFN_FILEATTRIB;
    out->drive = n.drive;
    out->resType = n.resType;
    out->path1 = Utf8ToCp949(n.dos, kNameBytesMax);
    out->result = DosErrorOfStatus(static_cast<uint32_t>(ev.status));
    return NtOutcome::Reported;
}

NtOutcome NtMapper::MapOnHandle(const ntev& ev, Handles& handles, IfsCall* out) {
    const auto it = handles.find(ev.handle);
    if (it == handles.end())
        return NtOutcome::NotReported;
    Handle& h = it->second;
    out->drive = h.drive;
    out->resType = h.resType;
    out->result = DosErrorOfStatus(static_cast<uint32_t>(ev.status));
    const uint16_t sfn = static_cast<uint16_t>(ev.handle);
    const bool forData = h.kind == Kind::File || h.kind == Kind::DeleteOnClose;
    switch (ev.call) {
    case NTEV_CLOSE:
        if (h.kind == Kind::File) {
            out->func = IFSFN_CLOSE;
            out->sfn = sfn;
        } else if (h.kind == Kind::FindFolder && h.findFound) {
            out->func = IFSFN_FINDCLOSE;
            out->fh = static_cast<uint32_t>(ev.handle);
        } else if (h.kind == Kind::DeleteOnClose) {
            out->func = IFSFN_DELETE;
            out->path1 = Utf8ToCp949(h.name, kNameBytesMax);
        } else {
            handles.erase(it);
            return NtOutcome::NotReported;
        }
        handles.erase(it); // h is gone from here on
        return NtOutcome::Reported;
    case NTEV_QUERY_DIRECTORY:
        return h.kind == Kind::FindFolder ? MapDirectory(ev, h, out) : NtOutcome::NotReported;
    case NTEV_READ:
    case NTEV_WRITE:
        return forData ? MapTransfer(ev, h, out) : NtOutcome::NotReported;
    case NTEV_SET_INFORMATION:
        return MapSetInformation(ev, handles, h, out);
    case NTEV_LOCK:
    case NTEV_UNLOCK:
        if (!forData)
            return NtOutcome::NotReported;
        out->func = IFSFN_FILELOCKS;
        out->sfn = sfn;
        out->pos = static_cast<uint32_t>(ev.offset);
        out->aux2 = static_cast<uint32_t>(ev.length);
        if (ev.call == NTEV_UNLOCK)
            out->flags = kUnlock;
        else
            out->options = static_cast<uint16_t>((ev.a[1] == 0 ? kLockRead : 0) |
                                                 (ev.a[0] != 0 ? kLockNoWait : 0));
        return NtOutcome::Reported;
    case NTEV_FLUSH:
        if (!forData)
            return NtOutcome::NotReported;
        out->func = IFSFN_COMMIT;
        out->sfn = sfn;
        return NtOutcome::Reported;
    case NTEV_QUERY_INFORMATION:
        // GetFileTime: the times with the attributes (FileBasicInformation).
        if (!forData || ev.info_class != kFileBasicInformation)
            return NtOutcome::NotReported;
        out->func = IFSFN_FILETIMES;
        out->flags = kGetModifyDateTime;
        out->sfn = sfn;
        out->path1 = Utf8ToCp949(h.name, kNameBytesMax);
        return NtOutcome::Reported;
    case NTEV_QUERY_VOLUME:
        if (ev.info_class != kFileFsSizeInformation && ev.info_class != kFileFsFullSizeInformation)
            return NtOutcome::NotReported;
        out->func = IFSFN_GETDISKINFO;
        return NtOutcome::Reported;
    default:
        return NtOutcome::NotReported;
    }
}

NtOutcome NtMapper::MapDirectory(const ntev& ev, Handle& h, IfsCall* out) {
    const uint32_t status = static_cast<uint32_t>(ev.status);
    out->fh = static_cast<uint32_t>(ev.handle);
    if (!h.findReported) {
        h.findReported = true;
        h.mask = ev.name_bytes > 0 ? Utf16ToUtf8(ev.name, ev.name_bytes / 2) : "*";
        out->func = IFSFN_FINDOPEN;
        if (status == kStatusNoMoreFiles || status == kStatusNoSuchFile)
            out->result = DOS_FILE_NOT_FOUND; // nothing matches the mask
        h.findFound = out->result == 0;
    } else {
        out->func = IFSFN_FINDNEXT; // NO_MORE_FILES is NoMoreFiles, from the table
    }
    out->path1 = Utf8ToCp949(Joined(h.name, h.mask), kNameBytesMax);
    return NtOutcome::Reported;
}

NtOutcome NtMapper::MapTransfer(const ntev& ev, Handle& h, IfsCall* out) {
    uint32_t status = static_cast<uint32_t>(ev.status);
    // Overlapped I/O: Wine answers STATUS_PENDING also when the transfer is
    // done; the IO_STATUS_BLOCK then holds what GetOverlappedResult tells the
    // program (an end of file is HandleEOF there, not a read of 0 bytes).
    const uint32_t ioStatus = static_cast<uint32_t>(ev.io_status);
    const bool completed =
        status == kStatusPending && (ev.flags & NTEV_IO_STATUS) != 0 && ioStatus != kStatusPending;
    if (completed) {
        status = ioStatus;
        out->result = DosErrorOfStatus(status);
    }
    out->func = ev.call == NTEV_READ ? IFSFN_READ : IFSFN_WRITE;
    out->sfn = static_cast<uint16_t>(ev.handle);
    // ByteOffset of -1 (end of file) and -2 (the file pointer) is no position.
    const bool positional = (ev.flags & NTEV_HAS_OFFSET) != 0 && ev.offset >= 0;
    const uint64_t pos = positional ? static_cast<uint64_t>(ev.offset) : h.pos;
    out->pos = static_cast<uint32_t>(pos);
    out->data = static_cast<uint32_t>(ev.buffer);
    const bool atEnd = ev.call == NTEV_READ && status == kStatusEndOfFile && !completed;
    const bool done = !StatusFailed(status) && status != kStatusPending;
    if (atEnd) {
        out->result = 0;
        out->length = 0;
    } else if (completed && StatusFailed(status)) {
        out->length = 0;
    } else {
        out->length = static_cast<uint32_t>(done ? ev.information : ev.length);
    }
    if (done)
        h.pos = pos + ev.information;
    else if (atEnd)
        h.pos = pos;
    return NtOutcome::Reported;
}

NtOutcome NtMapper::MapSetInformation(const ntev& ev, Handles& handles, Handle& h, IfsCall* out) {
    const uint16_t sfn = static_cast<uint16_t>(ev.handle);
    switch (ev.info_class) {
    case kFileRenameInformation:
    case kFileRenameInformationEx: {
        const Name to = Resolve(handles, ev.root, ev.name2, ev.name2_bytes, Redirected(ev));
        if (!to.ok)
            return NtOutcome::NotReported;
        out->func = IFSFN_RENAME;
        out->path1 = Utf8ToCp949(h.name, kNameBytesMax);
        out->path2 = Utf8ToCp949(to.dos, kNameBytesMax);
        if (!StatusFailed(static_cast<uint32_t>(ev.status)))
            h.name = to.dos;
        return NtOutcome::Reported;
    }
    case kFileDispositionInformation:
    case kFileDispositionInformationEx: {
        const bool del = ev.info_class == kFileDispositionInformation
                             ? ev.info[0] != 0
                             : (InfoField<uint32_t>(ev, 0) & 1) != 0;
        if (!del)
            return NtOutcome::NotReported;
        out->path1 = Utf8ToCp949(h.name, kNameBytesMax);
        if (h.folder) {
            out->func = IFSFN_DIR;
            out->flags = kDeleteDir;
            out->length = DirLength(h.name);
        } else {
            out->func = IFSFN_DELETE;
        }
        if (h.kind == Kind::DeleteOnClose)
            h.kind = Kind::Helper; // deleted here, not again at the close
        return NtOutcome::Reported;
    }
    case kFilePositionInformation: {
        if (h.folder)
            return NtOutcome::NotReported;
        const int64_t pos = InfoField<int64_t>(ev, 0);
        out->func = IFSFN_SEEK;
        out->sfn = sfn;
        out->pos = static_cast<uint32_t>(pos);
        if (!StatusFailed(static_cast<uint32_t>(ev.status)))
            h.pos = static_cast<uint64_t>(pos);
        return NtOutcome::Reported;
    }
    case kFileBasicInformation: {
        const uint32_t attributes = InfoField<uint32_t>(ev, 32);
        out->path1 = Utf8ToCp949(h.name, kNameBytesMax);
        if (attributes != 0) {
            out->func = IFSFN_FILEATTRIB;
            out->flags = kSetAttributes;
            return NtOutcome::Reported;
        }
        // A time of 0 or -1 is left as it is.
        for (const TimeField& t : kTimeFields) {
            const int64_t time = InfoField<int64_t>(ev, t.offset);
            if (time != 0 && time != -1) {
                out->func = IFSFN_FILETIMES;
                out->flags = t.op;
                out->sfn = h.kind == Kind::Helper ? 0 : sfn;
                return NtOutcome::Reported;
            }
        }
        return NtOutcome::NotReported;
    }
    case kFileEndOfFileInformation: {
        // SetEndOfFile: the file ends at the given position, as a write of
        // no bytes there.
        if (h.folder)
            return NtOutcome::NotReported;
        out->func = IFSFN_WRITE;
        out->sfn = sfn;
        out->pos = static_cast<uint32_t>(InfoField<int64_t>(ev, 0));
        return NtOutcome::Reported;
    }
    default:
        return NtOutcome::NotReported;
    }
}
