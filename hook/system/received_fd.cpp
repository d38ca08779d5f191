#include "hook/system/received_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "hook/proc_text.h"
#include "hook/system/process_root.h"

uint8_t DescriptorKind(uint32_t pid, int64_t fd) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/fd/%lld", pid, static_cast<long long>(fd));
    struct stat st;
    if (stat(path, &st) != 0)
        return SYSEV_FD_UNKNOWN;
    if (S_ISREG(st.st_mode))
        return SYSEV_FD_FILE;
    return S_ISDIR(st.st_mode) ? SYSEV_FD_DIR : SYSEV_FD_OTHER;
}

void DescribeReceived(uint32_t pid, sysev* ev) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/fd/%lld", pid, static_cast<long long>(ev->ret));
    // As the process sees it; a file outside its root, or one whose name
    // does not fit, is not followed.
    std::string name;
    if (!ReadProcLink(path, &name) || !NameAsProcessSees(pid, &name))
        name.clear();
    if (name.size() >= SYSEV_PATH_SIZE) {
        ev->flags |= SYSEV_PATH1_CUT;
        name.clear();
    }
    std::memcpy(ev->path1, name.c_str(), name.size() + 1);
    ev->fd_kind = DescriptorKind(pid, ev->ret);
    std::snprintf(path, sizeof path, "/proc/%u/fdinfo/%lld", pid, static_cast<long long>(ev->ret));
    ev->a[0] = ev->a[1] = 0;
    std::string text;
    if (!ReadProcText(path, &text, 1 << 16))
        return;
    const FdInfo info = ParseFdInfo(text.data(), text.size());
    ev->a[1] = info.pos;
    ev->a[0] = (info.flags & O_CLOEXEC) != 0 ? 1 : 0;
}
