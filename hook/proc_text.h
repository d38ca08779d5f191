// The texts the hook reads from /proc, parsed from a byte buffer. Other
// users' processes control parts of them (a process's name, its mount points
// and file names), and the hook may run as root: each parser reads only
// text[0, n), needs no terminator, and range-checks every number it takes.
// The kernel ends each line (each child's id) with a newline (a space); what
// lacks one was cut by the read's limit and is left out, not taken short.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

// The whole of a /proc file, at most `limit` bytes (its size is known only
// by reading it); false when it cannot be opened or read.
bool ReadProcText(const char* path, std::string* text, size_t limit);

// The name a /proc link (fd/N, cwd, root) gives, from readlink's result in a
// buffer of `capacity` bytes: false when it failed, may have been cut (it
// filled the buffer) or is not a name ("pipe:[123]").
bool ProcLinkName(const char* text, ssize_t n, size_t capacity, std::string* name);
// Both: the name of a /proc link as the hook sees it (from its own root).
bool ReadProcLink(const std::string& link, std::string* name);

// /proc/PID/stat: "pid (comm) state ppid ...". The name may hold spaces and
// parentheses (even ") Z 1 ("): it ends at the last ')'.
struct ProcStat {
    int32_t pid = 0; // > 0
    std::string comm;
    char state = 0;
    int32_t ppid = 0; // 0 for a process without a parent in its namespace
};
bool ParseProcStat(const char* text, size_t n, ProcStat* stat);

// /proc/PID/comm: the name, without the newline the kernel ends it with (a
// newline within it is the name's own).
std::string ParseProcComm(const char* text, size_t n);

// /proc/PID/status: the value of the line "key:", blanks around it taken off.
bool ParseStatusField(const char* text, size_t n, const char* key, std::string* value);
// Its Tgid (> 0).
bool ParseStatusTgid(const char* text, size_t n, int32_t* tgid);
// A mask of its, in hexadecimal (SigCgt, CapEff).
bool ParseStatusMask(const char* text, size_t n, const char* key, uint64_t* mask);

// /proc/PID/fdinfo/N: the descriptor's position and open flags.
struct FdInfo {
    bool hasPos = false;
    uint64_t pos = 0; // as the kernel's loff_t, which it prints signed
    bool hasFlags = false;
    uint32_t flags = 0;
};
FdInfo ParseFdInfo(const char* text, size_t n);

// /proc/PID/task/TID/children: the children's ids (each > 0 and followed by
// a space), up to the first word that is not one.
std::vector<int32_t> ParseProcChildren(const char* text, size_t n);

// /proc/PID/mountinfo: each whole line's mount point (its octal escapes,
// "\040" for a space, undone) and file system type; a malformed line is
// left out.
struct MountLine {
    std::string point;
    std::string type;
};
std::vector<MountLine> ParseMountInfo(const char* text, size_t n);
