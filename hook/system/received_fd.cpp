#include "hook/system/received_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

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
    const ssize_t n = readlink(path, ev->path1, SYSEV_PATH_SIZE - 1);
    ev->path1[n > 0 ? n : 0] = '\0';
    // As the process sees it; a file outside its root is not followed.
    std::string name = ev->path1;
    if (!NameAsProcessSees(pid, &name))
        name.clear();
    std::memcpy(ev->path1, name.c_str(), name.size() + 1);
    ev->fd_kind = DescriptorKind(pid, ev->ret);
    std::snprintf(path, sizeof path, "/proc/%u/fdinfo/%lld", pid, static_cast<long long>(ev->ret));
    ev->a[0] = ev->a[1] = 0;
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return;
    char line[128];
    unsigned long long pos = 0;
    unsigned flags = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "pos: %llu", &pos) == 1)
            ev->a[1] = pos;
        else if (std::sscanf(line, "flags: %o", &flags) == 1)
            ev->a[0] = (flags & O_CLOEXEC) != 0 ? 1 : 0;
    }
    std::fclose(f);
}
