// Where Wine's Unix ntdll.so lies, for each architecture: the Windows view
// probes its Nt* file functions.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// How a library's Nt* functions take their arguments: i386 on the stack
// (stdcall); x86_64 in the Microsoft x64 registers (Wine 8 and before) or in
// the System V ones (Wine 10).
enum class WineCall : uint8_t { Stdcall32, MsAbi64, SysV64 };

struct WineLib {
    std::string path; // real path of an ntdll.so
    bool wow = false; // i386 (32-bit programs), else x86_64
    WineCall call = WineCall::MsAbi64;
    std::string version; // "wine-10.0 (Debian 10.0~repack-6)", when the library says
};

// With no dirs: where Debian's Wine puts the libraries, and next to every
// `wine` and `wine64` on PATH (DIR/../lib*/.../wine/ARCH-unix). With dirs
// (--wine-lib, each a Wine installation's prefix, lib folder, or ARCH-unix
// folder): only those. Each library once; false and `why` when none is found.
bool FindWineLibraries(const std::vector<std::string>& dirs, std::vector<WineLib>* libs,
                       std::string* why);

// Tells each library's calling convention from the library itself (see
// WineCallOf). false and `why`, one line naming the library, when one cannot
// be told.
bool TellWineCalls(std::vector<WineLib>* libs, std::string* why);

// The decision, from the first bytes of the library's NtClose and its version
// text. NtClose begins by testing for a pseudo-handle with `lea 6(ARG1),%eax`
// (after an endbr64 where the library has them): ARG1 %rcx is the Microsoft
// convention, %rdi the System V one. Where the entry says nothing, the
// version decides for the versions seen: 8 and before Microsoft, 10 and
// later System V. false when neither tells.
bool WineCallOf(const uint8_t* ntClose, size_t size, const std::string& version, bool wow,
                WineCall* call);
