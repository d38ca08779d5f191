#include "hook/system/process_root.h"

#include "hook/proc_text.h"

std::string ProcessRoot(uint32_t pid) {
    std::string root;
    if (!ReadProcLink("/proc/" + std::to_string(pid) + "/root", &root))
        return "/";
    return root;
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
