// Where Wine's Unix ntdll.so lies, for each architecture: the Windows view
// probes its Nt* file functions.
#pragma once

#include <string>
#include <vector>

struct WineLib {
    std::string path; // real path of an ntdll.so
    bool wow = false; // i386 (32-bit programs), else x86_64
};

// With no dirs: where Debian's Wine puts the libraries, and next to every
// `wine` and `wine64` on PATH (DIR/../lib*/.../wine/ARCH-unix). With dirs
// (--wine-lib, each a Wine installation's prefix, lib folder, or ARCH-unix
// folder): only those. Each library once; false and `why` when none is found.
bool FindWineLibraries(const std::vector<std::string>& dirs, std::vector<WineLib>* libs,
                       std::string* why);
