#include "hook/windows/wine_libs.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <cstdio>

#include "hook/windows/elf_symbols.h"

namespace {

constexpr const char* kUnixDirs[] = {"x86_64-unix", "i386-unix"};

// Where an installation's ARCH-unix folders lie below a folder that holds
// lib folders (a prefix such as /usr or /opt/wine).
constexpr const char* kLibDirs[] = {
    "lib/wine", "lib64/wine", "lib32/wine", "lib/x86_64-linux-gnu/wine", "lib/i386-linux-gnu/wine",
    "wine",     "",
};

// 1 for a 32-bit ELF file, 2 for a 64-bit one, 0 for anything else.
int ElfClass(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    unsigned char head[5] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n != sizeof head || memcmp(head,
                                   "\x7f"
                                   "ELF",
                                   4) != 0)
        return 0;
    return head[4] == 1 || head[4] == 2 ? head[4] : 0;
}

void Add(const std::string& candidate, std::vector<WineLib>* libs) {
    char real[PATH_MAX];
    if (realpath(candidate.c_str(), real) == nullptr)
        return;
    const int elf = ElfClass(real);
    if (elf == 0)
        return;
    for (const WineLib& l : *libs) {
        if (l.path == real)
            return;
    }
    WineLib lib;
    lib.path = real;
    lib.wow = elf == 1;
    libs->push_back(lib);
}

// Every place below `base` where an installation keeps ntdll.so.
void AddInstallation(const std::string& base, std::vector<WineLib>* libs) {
    Add(base + "/ntdll.so", libs);
    for (const char* lib : kLibDirs) {
        const std::string dir = *lib ? base + "/" + lib : base;
        for (const char* unixDir : kUnixDirs)
            Add(dir + "/" + unixDir + "/ntdll.so", libs);
    }
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool FindWineLibraries(const std::vector<std::string>& dirs, std::vector<WineLib>* libs,
                       std::string* why) {
    libs->clear();
    for (const std::string& dir : dirs) {
        AddInstallation(dir, libs);
        AddInstallation(dir + "/..", libs);
    }
    if (dirs.empty()) {
        Add("/usr/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so", libs);
        Add("/usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so", libs);
        const char* path = getenv("PATH");
        std::string rest = path != nullptr ? path : "";
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            const std::string folder = rest.substr(0, colon);
            rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
            for (const char* program : {"/wine", "/wine64"}) {
                char real[PATH_MAX];
                if (folder.empty() || realpath((folder + program).c_str(), real) == nullptr)
                    continue;
                const std::string bin = FolderOf(real);
                AddInstallation(bin, libs);
                AddInstallation(FolderOf(bin), libs);
                AddInstallation(FolderOf(FolderOf(bin)), libs);
            }
        }
    }
    if (!libs->empty())
        return true;
    std::string where;
    for (const std::string& d : dirs)
        where += (where.empty() ? "" : ", ") + d;
    *why = "the Windows view found no Wine library (ntdll.so of x86_64-unix or i386-unix) " +
           (dirs.empty() ? std::string("where Debian puts it or next to wine on PATH")
                         : "in " + where) +
           ": install wine, or name an installation with --wine-lib DIR";
    return false;
}

bool WineCallOf(const uint8_t* ntClose, size_t size, const std::string& version, bool wow,
                WineCall* call) {
    if (wow) {
        *call = WineCall::Stdcall32;
        return true;
    }
    static const uint8_t kEndbr64[] = {0xF3, 0x0F, 0x1E, 0xFA};
    size_t at = size >= 4 && memcmp(ntClose, kEndbr64, 4) == 0 ? 4 : 0;
    // lea disp8(%reg),%eax: 8D, then ModRM mod 01, reg eax, rm the base.
    if (size >= at + 3 && ntClose[at] == 0x8D && (ntClose[at + 1] & 0xF8) == 0x40) {
        const int base = ntClose[at + 1] & 7;
        if (base == 1 || base == 7) {
            *call = base == 1 ? WineCall::MsAbi64 : WineCall::SysV64;
            return true;
        }
    }
    int major = 0;
    if (std::sscanf(version.c_str(), "wine-%d.", &major) != 1)
        return false;
    if (major <= 8 || major >= 10) {
        *call = major <= 8 ? WineCall::MsAbi64 : WineCall::SysV64;
        return true;
    }
    return false;
}

bool TellWineCalls(std::vector<WineLib>* libs, std::string* why) {
    for (WineLib& lib : *libs) {
        uint8_t entry[16] = {};
        size_t got = 0;
        uint64_t offset = 0;
        std::string error;
        if (ElfFunctionOffset(lib.path, "NtClose", &offset, &error))
            got = ElfReadAt(lib.path, offset, entry, sizeof entry);
        lib.version = ElfFindVersionText(lib.path, "wine-");
        if (!WineCallOf(entry, got, lib.version, lib.wow, &lib.call)) {
            *why = "the Windows view cannot tell how " + lib.path + " (" +
                   (lib.version.empty() ? "no Wine version in it" : lib.version) +
                   ") takes its arguments: its NtClose begins unlike Wine 8's or 10's";
            return false;
        }
    }
    return true;
}
