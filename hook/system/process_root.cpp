#include "hook/system/process_root.h"

#include <limits.h>
#include <unistd.h>

std::string ProcessRoot(uint32_t pid) {
    char root[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(pid) + "/root";
    const ssize_t n = readlink(link.c_str(), root, sizeof root - 1);
    if (n <= 0 || root[0] != '/')
        return "/";
    return std::string(root, static_cast<size_t>(n));
}

bool NameInRoot(const std::string& root, std::string* name) {
    if (root == "/")
        return true;
    if (name->compare(0, root.size(), root) != 0)
        return false;
    if (name->size() == root.size()) {
        *name = "/";
        return true;
    }
    if ((*name)[root.size()] != '/')
        return false; // /srv/buildx is not below /srv/build
    name->erase(0, root.size());
    return true;
}

bool NameAsProcessSees(uint32_t pid, std::string* name) {
    return NameInRoot(ProcessRoot(pid), name);
}
