#include "hook/system/sysev_map.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/file.h>

#include <iterator>
#include <utility>

#include "event/ifs_vocab.h"
#include "hook/ring_record.h"
#include "hook/system/errno_dos.h"

namespace {

constexpr uint64_t kCloseRangeCloexec = 1u << 2; // CLOSE_RANGE_CLOEXEC
constexpr uint64_t kResolveInRoot = 0x10;        // openat2's RESOLVE_IN_ROOT

bool Unreadable(const sysev& ev, bool two) {
    return (ev.flags & SYSEV_PATH1_UNREADABLE) != 0 ||
           (two && (ev.flags & SYSEV_PATH2_UNREADABLE) != 0);
}

// A name, or the base descriptor's, longer than the record holds.
bool Cut(const sysev& ev, bool two) {
    return (ev.flags & SYSEV_PATH1_CUT) != 0 || (two && (ev.flags & SYSEV_PATH2_CUT) != 0) ||
           (ev.state & SYSEV_ST_BASE_CUT) != 0;
}

// Why a call's names cannot be shown; Reported when they can.
MapOutcome NameLost(const sysev& ev, bool two) {
    if (Unreadable(ev, two))
        return MapOutcome::Lost;
    if ((ev.state & SYSEV_ST_BASE_OUTSIDE) != 0)
        return MapOutcome::LostOutsideRoot;
    return Cut(ev, two) ? MapOutcome::LostLongName : MapOutcome::Reported;
}

// A call's result: 0, or the DOS error of its errno (-4095 to -1; any other
// negative value, which no kernel returns, is GenFailure).
int32_t ErrorOf(int64_t ret) {
    if (ret >= 0)
        return 0;
    return ret >= -4095 ? DosErrorOf(static_cast<int>(-ret)) : kDosFallbackError;
}

// A name as the process gave it, bounded by the record's buffer.
std::string NameText(const char* name) {
    size_t n = 0;
    while (n < SYSEV_PATH_SIZE && name[n] != '\0')
        ++n;
    return std::string(name, n);
}

} // namespace

sysev SysevOfRecord(const void* data, size_t size) {
    sysev ev = RecordOfBytes<sysev>(data, size);
    ev.comm[sizeof ev.comm - 1] = 0;
    ev.path1[sizeof ev.path1 - 1] = 0;
    ev.path2[sizeof ev.path2 - 1] = 0;
    return ev;
}

SysevMapper::SysevMapper(DriveTable drives, HookLookups lookups)
    : drives_(std::move(drives)), lookups_(std::move(lookups)) {}

bool SysevMapper::Follows(uint32_t pid, int32_t fd) const {
    const auto p = processes_.find(pid);
    return p != processes_.end() &&
           (p->second.fds.count(fd) != 0 || p->second.lostFds.count(fd) != 0);
}

bool SysevMapper::Appends(uint32_t pid, int32_t fd) const {
    const auto p = processes_.find(pid);
    if (p == processes_.end())
        return false;
    const auto d = p->second.fds.find(fd);
    return d != p->second.fds.end() && d->second.file->append;
}

std::string SysevMapper::PeekName(const sysev& ev, bool second) const {
    const std::string name = NameText(second ? ev.path2 : ev.path1);
    const bool inRoot = ev.call == SYSEV_OPEN && (ev.a[2] & kResolveInRoot) != 0;
    if (!name.empty() && name[0] == '/' && !inRoot)
        return NormaliseUnixName(name);
    const int32_t dirfd = second ? ev.fd2 : ev.fd;
    std::string base;
    const auto p = processes_.find(ev.pid);
    if (dirfd == SYSEV_AT_FDCWD) {
        if (p == processes_.end() || !p->second.folderKnown)
            return "";
        base = p->second.folder;
    } else if (p != processes_.end() && p->second.fds.count(dirfd) != 0) {
        base = p->second.fds.at(dirfd).file->unixName;
    } else if (!second && (ev.state & SYSEV_ST_BASE) != 0) {
        base = NameText(ev.path2);
    }
    if (base.empty())
        return "";
    return NormaliseUnixName(base + (inRoot ? NormaliseUnixName("/" + name) : "/" + name));
}

void SysevMapper::SetWorkingFolder(uint32_t pid, const std::string& folder) {
    Process& p = processes_[pid];
    p.folder = NormaliseUnixName(folder);
    p.folderKnown = true;
}

bool SysevMapper::TakeSecond(IfsCall* out) {
    if (!hasSecond_)
        return false;
    *out = second_;
    hasSecond_ = false;
    return true;
}

// A process seen for the first time reads its working folder at once: the
// nearer to its call, the likelier it is the one the call used.
SysevMapper::Process& SysevMapper::ProcessOf(uint32_t pid) {
    const auto [it, added] = processes_.try_emplace(pid);
    if (added && lookups_.workingFolder)
        it->second.folderKnown = lookups_.workingFolder(pid, &it->second.folder);
    return it->second;
}

SysevMapper::OpenFile* SysevMapper::Tracked(Process& p, int32_t fd) {
    const auto it = p.fds.find(fd);
    return it == p.fds.end() ? nullptr : it->second.file.get();
}

SysevMapper::Name SysevMapper::Resolve(const sysev& ev, Process& p, int32_t dirfd, const char* text,
                                       size_t maxBytes, bool inRoot) {
    const std::string name = NameText(text);
    Name n;
    if (!name.empty() && name[0] == '/' && !inRoot) {
        n.unixName = NormaliseUnixName(name);
    } else {
        std::string base;
        bool known = false;
        if (dirfd == SYSEV_AT_FDCWD) {
            known = p.folderKnown;
            base = p.folder;
        } else if (const OpenFile* f = Tracked(p, dirfd); f != nullptr && !f->unixName.empty()) {
            known = true;
            base = f->unixName;
        } else if ((ev.state & SYSEV_ST_BASE) != 0 && dirfd == ev.fd) {
            known = true;
            base = NameText(ev.path2);
        } else if (lookups_.descriptorName) {
            known = lookups_.descriptorName(ev.pid, dirfd, &base);
        }
        // In the base as its root: ".." stops at the base, "/" is the base.
        const std::string rest = inRoot ? NormaliseUnixName("/" + name) : "/" + name;
        if (known)
            n.unixName = NormaliseUnixName(base + rest);
    }
    std::string dos;
    if (!n.unixName.empty()) {
        dos = DosNameOf(drives_, n.unixName, &n.drive);
        if (lookups_.isNetwork && lookups_.isNetwork(n.unixName))
            n.resType = kResTypeNet;
    } else {
        dos = name;
        for (char& c : dos) {
            if (c == '/')
                c = '\\';
        }
    }
    n.dos = Utf8ToCp949(dos, SIZE_MAX);
    n.tooLong = n.dos.size() > maxBytes;
    return n;
}

bool SysevMapper::FolderMissing(const sysev& ev, uint32_t bit, const Name& name) const {
    if ((ev.state & SYSEV_ST_FOLDERS) != 0)
        return (ev.state & bit) != 0;
    return !name.unixName.empty() && lookups_.folderExists &&
           !lookups_.folderExists(ParentFolder(name.unixName));
}

// A missing name: PathNotFound when its folder (or, for a rename, either
// name's folder) did not exist at the call.
int32_t SysevMapper::ResultOf(const sysev& ev, const Name& name, const Name* second) const {
    if (ev.ret == -ENOENT &&
        (FolderMissing(ev, SYSEV_ST_NO_FOLDER1, name) ||
         (second != nullptr && FolderMissing(ev, SYSEV_ST_NO_FOLDER2, *second))))
        return DOS_PATH_NOT_FOUND;
    return ErrorOf(ev.ret);
}

// A call on a descriptor that is not followed: lost when its open was.
MapOutcome SysevMapper::Untracked(const sysev& ev, Process& p, int32_t fd) {
    if ((ev.state & SYSEV_ST_FD_LOST) != 0 && fd == ev.fd)
        p.lostFds.insert(fd);
    if (p.lostFds.count(fd) == 0)
        return MapOutcome::NotReported;
    if (ev.call == SYSEV_CLOSE && ev.ret == 0)
        p.lostFds.erase(fd);
    return MapOutcome::LostDescriptor;
}

void SysevMapper::SetName(IfsCall* out, const Name& name) const {
    out->drive = name.drive;
    out->resType = name.resType;
    out->path1 = name.dos;
}

MapOutcome SysevMapper::Map(const sysev& ev, IfsCall* out) {
    *out = IfsCall{};
    hasSecond_ = false;
    Process& p = ProcessOf(ev.pid);
    switch (ev.call) {
    case SYSEV_OPEN:
        return MapOpen(ev, p, out);
    case SYSEV_READ:
    case SYSEV_WRITE:
        return MapTransfer(ev, p, out);
    case SYSEV_FCNTL_LOCK:
    case SYSEV_FLOCK:
        return MapLock(ev, p, out);
    case SYSEV_STAT:
        if ((ev.a[0] & AT_EMPTY_PATH) != 0 && ev.path1[0] == '\0')
            return MapOnDescriptor(ev, p, out);
        return MapOnName(ev, p, out);
    case SYSEV_UTIMENS:
        if (ev.path1[0] == '\0' && (ev.flags & SYSEV_PATH1_UNREADABLE) == 0)
            return MapOnDescriptor(ev, p, out);
        return MapOnName(ev, p, out);
    case SYSEV_ACCESS:
    case SYSEV_UNLINK:
    case SYSEV_MKDIR:
    case SYSEV_RMDIR:
    case SYSEV_CHDIR:
    case SYSEV_RENAME:
    case SYSEV_STATFS:
        return MapOnName(ev, p, out);
    case SYSEV_CLOSE:
    case SYSEV_LSEEK:
    case SYSEV_FSYNC:
    case SYSEV_GETDENTS:
    case SYSEV_FSTATFS:
    case SYSEV_SYNCFS:
    case SYSEV_FCHDIR:
        return MapOnDescriptor(ev, p, out);
    case SYSEV_SYNC:
        out->func = IFSFN_FLUSH;
        out->drive = drives_.rootLetter - 'A' + 1;
        out->resType = kResTypeLocal;
        out->result = ErrorOf(ev.ret);
        return MapOutcome::Reported;
    case SYSEV_DUP:
    case SYSEV_FORK:
    case SYSEV_EXEC:
    case SYSEV_EXIT:
    case SYSEV_CLOSE_RANGE:
    case SYSEV_SETFD:
    case SYSEV_RECEIVE_FD:
        return MapState(ev, p);
    case SYSEV_COPY:
        return MapCopy(ev, p, out);
    case SYSEV_CHMOD:
        if (ev.path1[0] == '\0' && (ev.flags & SYSEV_PATH1_UNREADABLE) == 0)
            return MapOnDescriptor(ev, p, out);
        return MapOnName(ev, p, out);
    default:
        return MapOutcome::NotReported;
    }
}

MapOutcome SysevMapper::MapOpen(const sysev& ev, Process& p, IfsCall* out) {
    const auto lose = [&](MapOutcome lost) {
        if (ev.ret >= 0) { // what the process does with it is lost too
            p.fds.erase(static_cast<int32_t>(ev.ret));
            p.lostFds.insert(static_cast<int32_t>(ev.ret));
        }
        return lost;
    };
    if (const MapOutcome lost = NameLost(ev, false); lost != MapOutcome::Reported)
        return lose(lost);
    const Name n = Resolve(ev, p, ev.fd, ev.path1, kHookPath1Max, (ev.a[2] & kResolveInRoot) != 0);
    if (n.tooLong)
        return lose(MapOutcome::LostLongName);
    const bool asFolder = (ev.a[0] & O_DIRECTORY) != 0;
    uint8_t kind = ev.fd_kind;
    if (ev.ret >= 0 && kind == SYSEV_FD_UNKNOWN) {
        const int folder =
            n.unixName.empty() || !lookups_.isFolder ? -1 : lookups_.isFolder(n.unixName);
        kind = folder == 1 || (folder < 0 && asFolder) ? SYSEV_FD_DIR : SYSEV_FD_FILE;
    }
    const bool folder = ev.ret >= 0 ? kind == SYSEV_FD_DIR : asFolder;
    out->func = folder ? IFSFN_FINDOPEN : IFSFN_OPEN;
    SetName(out, n);
    out->result = ResultOf(ev, n);
    if (ev.ret < 0)
        return MapOutcome::Reported;
    const int32_t fd = static_cast<int32_t>(ev.ret);
    p.lostFds.erase(fd);
    if (folder)
        out->fh = static_cast<uint32_t>(fd);
    else
        out->sfn = static_cast<uint16_t>(fd);
    p.fds.erase(fd);
    if (kind != SYSEV_FD_OTHER) {
        auto file = std::make_shared<OpenFile>();
        file->unixName = n.unixName;
        file->dosName = n.dos;
        file->drive = n.drive;
        file->resType = n.resType;
        file->folder = folder;
        file->append = (ev.a[0] & O_APPEND) != 0;
        p.fds[fd] = {std::move(file), (ev.a[0] & O_CLOEXEC) != 0};
    }
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapTransfer(const sysev& ev, Process& p, IfsCall* out) {
    OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr)
        return Untracked(ev, p, ev.fd);
    if (f->folder)
        return MapOutcome::NotReported;
    const bool positional = ev.a[3] != 0;
    // The position after the call, from the backend, places the transfer
    // where the kernel did it (an O_APPEND write goes to the end).
    if (!positional && (ev.state & SYSEV_ST_POS) != 0 && ev.ret >= 0)
        f->pos = ev.pos_after - static_cast<uint64_t>(ev.ret);
    Transfer(ev, *f, ev.fd, ev.call == SYSEV_READ, out);
    out->data = static_cast<uint32_t>(ev.a[0]);
    out->length = static_cast<uint32_t>(ev.ret >= 0 ? static_cast<uint64_t>(ev.ret) : ev.a[1]);
    if (positional)
        out->pos = static_cast<uint32_t>(ev.a[2]);
    if (ev.ret > 0 && !positional)
        f->pos += static_cast<uint64_t>(ev.ret);
    return MapOutcome::Reported;
}

// The fields of a READ or WRITE row on a followed file at its position.
void SysevMapper::Transfer(const sysev& ev, const OpenFile& f, int32_t fd, bool read,
                           IfsCall* out) {
    out->func = read ? IFSFN_READ : IFSFN_WRITE;
    out->drive = f.drive;
    out->resType = f.resType;
    out->sfn = static_cast<uint16_t>(fd);
    out->pos = static_cast<uint32_t>(f.pos);
    out->result = ErrorOf(ev.ret);
}

// A copy in the kernel: a READ of the source and a WRITE of the destination,
// for those of the two that are followed files.
MapOutcome SysevMapper::MapCopy(const sysev& ev, Process& p, IfsCall* out) {
    OpenFile* from = Tracked(p, ev.fd);
    OpenFile* to = Tracked(p, ev.fd2);
    from = from != nullptr && !from->folder ? from : nullptr;
    to = to != nullptr && !to->folder ? to : nullptr;
    if (from == nullptr && to == nullptr) {
        const MapOutcome lost = Untracked(ev, p, ev.fd);
        return lost != MapOutcome::NotReported ? lost : Untracked(ev, p, ev.fd2);
    }
    const bool whole = (ev.a[3] & SYSEV_COPY_WHOLE) != 0;
    uint64_t done = ev.ret > 0 ? static_cast<uint64_t>(ev.ret) : 0;
    if (whole && ev.ret == 0 && (ev.state & SYSEV_ST_SIZE) != 0)
        done = ev.size;
    const uint64_t asked = whole ? done : ev.a[2];
    const uint32_t length = static_cast<uint32_t>(ev.ret >= 0 ? done : asked);
    IfsCall* row = out;
    const struct {
        OpenFile* file;
        int32_t fd;
        bool read;
        uint64_t at; // SYSEV_COPY_AT_* bit
        uint64_t offset;
    } ends[] = {{from, ev.fd, true, SYSEV_COPY_AT_IN, ev.a[0]},
                {to, ev.fd2, false, SYSEV_COPY_AT_OUT, ev.a[1]}};
    for (const auto& end : ends) {
        if (end.file == nullptr)
            continue;
        Transfer(ev, *end.file, end.fd, end.read, row);
        row->length = length;
        const bool atOffset = whole || (ev.a[3] & end.at) != 0;
        if (atOffset)
            row->pos = static_cast<uint32_t>(whole ? 0 : end.offset);
        else if (ev.ret > 0)
            end.file->pos += done;
        if (row == out && from != nullptr && to != nullptr) {
            row = &second_;
            *row = IfsCall{};
            hasSecond_ = true;
        }
    }
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapLock(const sysev& ev, Process& p, IfsCall* out) {
    const OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr)
        return Untracked(ev, p, ev.fd);
    out->func = IFSFN_FILELOCKS;
    out->drive = f->drive;
    out->resType = f->resType;
    out->sfn = static_cast<uint16_t>(ev.fd);
    if (ev.call == SYSEV_FCNTL_LOCK) {
        const uint64_t cmd = ev.a[0];
        const uint64_t type = ev.a[1] & 0xFFFF;
        const uint64_t whence = ev.a[1] >> 16;
        out->flags = type == F_UNLCK ? 1 : 0;
        out->options =
            static_cast<uint16_t>((type == F_RDLCK ? kLockRead : 0) |
                                  (cmd == F_SETLK || cmd == F_OFD_SETLK ? kLockNoWait : 0));
        const uint64_t from = whence == SEEK_CUR                                      ? f->pos
                              : whence == SEEK_END && (ev.state & SYSEV_ST_SIZE) != 0 ? ev.size
                                                                                      : 0;
        out->pos = static_cast<uint32_t>(from + ev.a[2]);
        out->aux2 = static_cast<uint32_t>(ev.a[3]);
    } else {
        const uint64_t op = ev.a[0];
        out->flags = (op & LOCK_UN) != 0 ? 1 : 0;
        out->options = static_cast<uint16_t>(((op & LOCK_SH) != 0 ? kLockRead : 0) |
                                             ((op & LOCK_NB) != 0 ? kLockNoWait : 0));
    }
    // A lock held elsewhere: EAGAIN, or EACCES from some fcntl implementations.
    out->result = ev.ret == -EAGAIN || (ev.ret == -EACCES && ev.call == SYSEV_FCNTL_LOCK)
                      ? DOS_LOCK_VIOLATION
                      : ErrorOf(ev.ret);
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapOnName(const sysev& ev, Process& p, IfsCall* out) {
    const bool two = ev.call == SYSEV_RENAME;
    if (const MapOutcome lost = NameLost(ev, two); lost != MapOutcome::Reported)
        return lost;
    const Name n = Resolve(ev, p, ev.fd, ev.path1, kHookPath1Max);
    Name to;
    if (two)
        to = Resolve(ev, p, ev.fd2, ev.path2, kHookPath2Max);
    if (n.tooLong || to.tooLong)
        return MapOutcome::LostLongName;
    SetName(out, n);
    out->result = ResultOf(ev, n, two ? &to : nullptr);
    const auto dir = [&](DirOp op) {
        out->func = IFSFN_DIR;
        out->flags = op;
        const std::string& name = n.unixName.empty() ? n.dos : n.unixName;
        out->length = IsShortName(name) ? 0 : kDirIsLfn;
    };
    switch (ev.call) {
    case SYSEV_STAT:
    case SYSEV_ACCESS:
        out->func = IFSFN_FILEATTRIB;
        break;
    case SYSEV_UTIMENS:
        out->func = IFSFN_FILETIMES;
        out->flags = kSetModifyDateTime;
        break;
    case SYSEV_UNLINK:
        if ((ev.a[0] & AT_REMOVEDIR) != 0)
            dir(kDeleteDir);
        else
            out->func = IFSFN_DELETE;
        break;
    case SYSEV_MKDIR:
        dir(kCreateDir);
        break;
    case SYSEV_RMDIR:
        dir(kDeleteDir);
        break;
    case SYSEV_CHDIR:
        dir(kCheckDir);
        if (ev.ret == 0 && !n.unixName.empty()) {
            p.folder = n.unixName;
            p.folderKnown = true;
        }
        break;
    case SYSEV_RENAME:
        out->func = IFSFN_RENAME;
        out->path2 = to.dos;
        break;
    case SYSEV_CHMOD:
        out->func = IFSFN_FILEATTRIB;
        out->flags = kSetAttributes;
        break;
    case SYSEV_STATFS:
        out->func = IFSFN_GETDISKINFO;
        break;
    default:
        return MapOutcome::NotReported;
    }
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapOnDescriptor(const sysev& ev, Process& p, IfsCall* out) {
    if (ev.call == SYSEV_FCHDIR) {
        // A change of folder by handle: CHECK_DIR on the folder's name.
        if ((ev.state & SYSEV_ST_BASE_OUTSIDE) != 0)
            return MapOutcome::LostOutsideRoot;
        if (Cut(ev, false))
            return MapOutcome::LostLongName;
        const Name n = Resolve(ev, p, ev.fd, "", kHookPath1Max);
        if (n.unixName.empty())
            return MapOutcome::NotReported;
        if (ev.ret == 0) {
            p.folder = n.unixName;
            p.folderKnown = true;
        }
        if (n.tooLong)
            return MapOutcome::LostLongName;
        SetName(out, n);
        out->func = IFSFN_DIR;
        out->flags = kCheckDir;
        out->length = IsShortName(n.unixName) ? 0 : kDirIsLfn;
        out->result = ErrorOf(ev.ret);
        return MapOutcome::Reported;
    }
    OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr)
        return Untracked(ev, p, ev.fd);
    out->drive = f->drive;
    out->resType = f->resType;
    out->result = ErrorOf(ev.ret);
    const uint16_t sfn = static_cast<uint16_t>(ev.fd);
    switch (ev.call) {
    case SYSEV_CLOSE:
        if (f->folder) {
            out->func = IFSFN_FINDCLOSE;
            out->fh = static_cast<uint32_t>(ev.fd);
        } else {
            out->func = IFSFN_CLOSE;
            out->sfn = sfn;
        }
        p.fds.erase(ev.fd); // f is gone from here on
        return MapOutcome::Reported;
    case SYSEV_LSEEK:
        if (f->folder)
            return MapOutcome::NotReported;
        out->func = IFSFN_SEEK;
        out->sfn = sfn;
        out->flags = static_cast<uint8_t>(ev.a[1]);
        out->pos = static_cast<uint32_t>(ev.ret >= 0 ? static_cast<uint64_t>(ev.ret) : ev.a[0]);
        if (ev.ret >= 0)
            f->pos = static_cast<uint64_t>(ev.ret);
        return MapOutcome::Reported;
    case SYSEV_FSYNC:
        out->func = IFSFN_COMMIT;
        out->sfn = sfn;
        return MapOutcome::Reported;
    case SYSEV_GETDENTS:
        if (!f->folder)
            return MapOutcome::NotReported;
        out->func = IFSFN_FINDNEXT;
        out->fh = static_cast<uint32_t>(ev.fd);
        out->path1 = f->dosName;
        if (ev.ret == 0)
            out->result = DOS_NO_MORE_FILES;
        return MapOutcome::Reported;
    case SYSEV_FSTATFS:
        out->func = IFSFN_GETDISKINFO;
        out->sfn = sfn;
        return MapOutcome::Reported;
    case SYSEV_SYNCFS:
        out->func = IFSFN_FLUSH;
        return MapOutcome::Reported;
    case SYSEV_STAT: // fstat
        out->func = IFSFN_HANDLEINFO;
        out->sfn = sfn;
        out->path1 = f->dosName;
        return MapOutcome::Reported;
    case SYSEV_UTIMENS: // futimens
        out->func = IFSFN_FILETIMES;
        out->flags = kSetModifyDateTime;
        out->sfn = sfn;
        return MapOutcome::Reported;
    case SYSEV_CHMOD: // fchmod: the attributes of the descriptor's file, by its name
        out->func = IFSFN_FILEATTRIB;
        out->flags = kSetAttributes;
        out->path1 = f->dosName;
        return MapOutcome::Reported;
    default:
        return MapOutcome::NotReported;
    }
}

MapOutcome SysevMapper::MapState(const sysev& ev, Process& p) {
    switch (ev.call) {
    case SYSEV_DUP: {
        if (ev.ret < 0)
            break;
        const int32_t to = static_cast<int32_t>(ev.ret);
        const auto from = p.fds.find(ev.fd);
        std::shared_ptr<OpenFile> file = from == p.fds.end() ? nullptr : from->second.file;
        const bool lost = file == nullptr && Untracked(ev, p, ev.fd) != MapOutcome::NotReported;
        p.fds.erase(to);
        p.lostFds.erase(to);
        if (file)
            p.fds[to] = {std::move(file), (ev.a[1] & O_CLOEXEC) != 0};
        else if (lost)
            p.lostFds.insert(to);
        break;
    }
    case SYSEV_FORK:
        // Descriptors shared and the working folder inherited, as after fork.
        if (ev.a[0] == 0 && ev.ret > 0)
            processes_[static_cast<uint32_t>(ev.ret)] = p;
        break;
    case SYSEV_SETFD:
        if (const auto it = p.fds.find(ev.fd); it != p.fds.end() && ev.ret == 0)
            it->second.closeOnExec = ev.a[0] != 0;
        break;
    case SYSEV_EXEC:
        for (auto it = p.fds.begin(); it != p.fds.end();) {
            if (it->second.closeOnExec)
                it = p.fds.erase(it);
            else
                ++it;
        }
        p.lostFds.clear(); // whether they were close-on-exec is not known
        break;
    case SYSEV_EXIT:
        processes_.erase(ev.pid);
        break;
    case SYSEV_CLOSE_RANGE:
        if (ev.ret != 0)
            break;
        for (auto it = p.fds.begin(); it != p.fds.end();) {
            const bool inRange = it->first >= ev.fd && static_cast<uint64_t>(it->first) <= ev.a[0];
            if (inRange && (ev.a[1] & kCloseRangeCloexec) != 0)
                it->second.closeOnExec = true;
            it = inRange && (ev.a[1] & kCloseRangeCloexec) == 0 ? p.fds.erase(it) : std::next(it);
        }
        break;
    case SYSEV_RECEIVE_FD: {
        // Followed like an opened file or folder, under the name the kernel
        // gave it; not a row of its own (the process opened nothing).
        const int32_t fd = static_cast<int32_t>(ev.ret);
        p.fds.erase(fd);
        if (ev.ret < 0 || ev.path1[0] != '/' ||
            (ev.fd_kind != SYSEV_FD_FILE && ev.fd_kind != SYSEV_FD_DIR))
            break;
        auto file = std::make_shared<OpenFile>();
        file->unixName = NormaliseUnixName(NameText(ev.path1));
        file->dosName = Utf8ToCp949(DosNameOf(drives_, file->unixName, &file->drive), SIZE_MAX);
        if (file->dosName.size() > kHookPath1Max) { // its calls are lost, not shown cut
            p.lostFds.insert(fd);
            break;
        }
        file->resType =
            lookups_.isNetwork && lookups_.isNetwork(file->unixName) ? kResTypeNet : kResTypeLocal;
        file->folder = ev.fd_kind == SYSEV_FD_DIR;
        file->pos = ev.a[1];
        p.fds[fd] = {std::move(file), ev.a[0] != 0};
        break;
    }
    default:
        break;
    }
    return MapOutcome::NotReported;
}
