#include "hook/syscalls/sysev_map.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>

#include <iterator>
#include <utility>

#include "event/ifs_vocab.h"
#include "hook/syscalls/errno_dos.h"

namespace {

constexpr uint64_t kCloseRangeCloexec = 1u << 2; // CLOSE_RANGE_CLOEXEC

bool Unreadable(const sysev& ev, bool two) {
    return (ev.flags & SYSEV_PATH1_UNREADABLE) != 0 ||
           (two && (ev.flags & SYSEV_PATH2_UNREADABLE) != 0);
}

int32_t ErrorOf(int64_t ret) {
    return ret >= 0 ? 0 : DosErrorOf(static_cast<int>(-ret));
}

// A name as the process gave it, bounded by the record's buffer.
std::string NameText(const char* name) {
    size_t n = 0;
    while (n < SYSEV_PATH_SIZE && name[n] != '\0')
        ++n;
    return std::string(name, n);
}

} // namespace

SysevMapper::SysevMapper(DriveTable drives, HookLookups lookups)
    : drives_(std::move(drives)), lookups_(std::move(lookups)) {}

bool SysevMapper::Follows(uint32_t pid, int32_t fd) const {
    const auto p = processes_.find(pid);
    return p != processes_.end() && p->second.fds.count(fd) != 0;
}

SysevMapper::Process& SysevMapper::ProcessOf(uint32_t pid) {
    return processes_[pid];
}

SysevMapper::OpenFile* SysevMapper::Tracked(Process& p, int32_t fd) {
    const auto it = p.fds.find(fd);
    return it == p.fds.end() ? nullptr : it->second.file.get();
}

SysevMapper::Name SysevMapper::Resolve(uint32_t pid, Process& p, int32_t dirfd, const char* text,
                                       size_t maxBytes) {
    const std::string name = NameText(text);
    Name n;
    if (!name.empty() && name[0] == '/') {
        n.unixName = NormaliseUnixName(name);
    } else {
        std::string base;
        bool known = false;
        if (dirfd == SYSEV_AT_FDCWD) {
            if (!p.folderKnown && lookups_.workingFolder)
                p.folderKnown = lookups_.workingFolder(pid, &p.folder);
            known = p.folderKnown;
            base = p.folder;
        } else if (const OpenFile* f = Tracked(p, dirfd); f != nullptr && !f->unixName.empty()) {
            known = true;
            base = f->unixName;
        } else if (lookups_.descriptorName) {
            known = lookups_.descriptorName(pid, dirfd, &base);
        }
        if (known)
            n.unixName = NormaliseUnixName(base + "/" + name);
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
    n.dos = Utf8ToCp949(dos, maxBytes);
    return n;
}

int32_t SysevMapper::ResultOf(int64_t ret, const Name& name) const {
    const int32_t dos = ErrorOf(ret);
    if (ret == -ENOENT && !name.unixName.empty() && lookups_.folderExists &&
        !lookups_.folderExists(ParentFolder(name.unixName)))
        return kDosPathNotFound;
    return dos;
}

void SysevMapper::SetName(IfsCall* out, const Name& name) const {
    out->drive = name.drive;
    out->resType = name.resType;
    out->path1 = name.dos;
}

MapOutcome SysevMapper::Map(const sysev& ev, IfsCall* out) {
    *out = IfsCall{};
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
        return MapState(ev, p);
    default:
        return MapOutcome::NotReported;
    }
}

MapOutcome SysevMapper::MapOpen(const sysev& ev, Process& p, IfsCall* out) {
    if (Unreadable(ev, false))
        return MapOutcome::Lost;
    const Name n = Resolve(ev.pid, p, ev.fd, ev.path1, kHookPath1Max);
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
    out->result = ResultOf(ev.ret, n);
    if (ev.ret < 0)
        return MapOutcome::Reported;
    const int32_t fd = static_cast<int32_t>(ev.ret);
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
        p.fds[fd] = {std::move(file), (ev.a[0] & O_CLOEXEC) != 0};
    }
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapTransfer(const sysev& ev, Process& p, IfsCall* out) {
    OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr || f->folder)
        return MapOutcome::NotReported;
    const bool positional = ev.a[3] != 0;
    out->func = ev.call == SYSEV_READ ? IFSFN_READ : IFSFN_WRITE;
    out->drive = f->drive;
    out->resType = f->resType;
    out->sfn = static_cast<uint16_t>(ev.fd);
    out->data = static_cast<uint32_t>(ev.a[0]);
    out->length = static_cast<uint32_t>(ev.ret >= 0 ? static_cast<uint64_t>(ev.ret) : ev.a[1]);
    out->pos = static_cast<uint32_t>(positional ? ev.a[2] : f->pos);
    out->result = ErrorOf(ev.ret);
    if (ev.ret > 0 && !positional)
        f->pos += static_cast<uint64_t>(ev.ret);
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapLock(const sysev& ev, Process& p, IfsCall* out) {
    const OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr)
        return MapOutcome::NotReported;
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
        out->pos = static_cast<uint32_t>(whence == SEEK_CUR ? f->pos + ev.a[2] : ev.a[2]);
        out->aux2 = static_cast<uint32_t>(ev.a[3]);
    } else {
        const uint64_t op = ev.a[0];
        out->flags = (op & LOCK_UN) != 0 ? 1 : 0;
        out->options = static_cast<uint16_t>(((op & LOCK_SH) != 0 ? kLockRead : 0) |
                                             ((op & LOCK_NB) != 0 ? kLockNoWait : 0));
    }
    // A lock held elsewhere: EAGAIN, or EACCES from some fcntl implementations.
    out->result = ev.ret == -EAGAIN || (ev.ret == -EACCES && ev.call == SYSEV_FCNTL_LOCK)
                      ? kDosLockViolation
                      : ErrorOf(ev.ret);
    return MapOutcome::Reported;
}

MapOutcome SysevMapper::MapOnName(const sysev& ev, Process& p, IfsCall* out) {
    const bool two = ev.call == SYSEV_RENAME;
    if (Unreadable(ev, two))
        return MapOutcome::Lost;
    const Name n = Resolve(ev.pid, p, ev.fd, ev.path1, kHookPath1Max);
    SetName(out, n);
    out->result = ResultOf(ev.ret, n);
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
        out->path2 = Resolve(ev.pid, p, ev.fd2, ev.path2, kHookPath2Max).dos;
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
        const Name n = Resolve(ev.pid, p, ev.fd, "", kHookPath1Max);
        if (n.unixName.empty())
            return MapOutcome::NotReported;
        if (ev.ret == 0) {
            p.folder = n.unixName;
            p.folderKnown = true;
        }
        SetName(out, n);
        out->func = IFSFN_DIR;
        out->flags = kCheckDir;
        out->length = IsShortName(n.unixName) ? 0 : kDirIsLfn;
        out->result = ErrorOf(ev.ret);
        return MapOutcome::Reported;
    }
    OpenFile* f = Tracked(p, ev.fd);
    if (f == nullptr)
        return MapOutcome::NotReported;
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
            out->result = kDosNoMoreFiles;
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
        p.fds.erase(to);
        if (file)
            p.fds[to] = {std::move(file), false};
        break;
    }
    case SYSEV_FORK:
        if (ev.a[0] == 0 && ev.ret > 0)
            processes_[static_cast<uint32_t>(ev.ret)] = p; // descriptors shared, as after fork
        break;
    case SYSEV_EXEC:
        for (auto it = p.fds.begin(); it != p.fds.end();) {
            if (it->second.closeOnExec)
                it = p.fds.erase(it);
            else
                ++it;
        }
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
    default:
        break;
    }
    return MapOutcome::NotReported;
}
