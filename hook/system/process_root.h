// Names as a process sees them. The names the hook reads from /proc (a
// descriptor's link, a working folder) are given from the hook's own root;
// a process in a chroot sees the same file below its root, /proc/PID/root.
#pragma once

#include <stdint.h>

#include <string>

// The root of process pid as the hook sees it ("/" for most; "/srv/build"
// for a process chrooted there); "/" when it cannot be read.
std::string ProcessRoot(uint32_t pid);

// `name` (from the hook's root) as a process with that root sees it: the
// root taken off. false, name unchanged, when it lies outside that root.
bool NameInRoot(const std::string& root, std::string* name);

// Both for a name read from /proc about process pid.
bool NameAsProcessSees(uint32_t pid, std::string* name);
