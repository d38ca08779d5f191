// How the Windows view tells a Wine library's calling convention: from the
// entry of its NtClose, else from its version text; and on the libraries
// installed here (and in the Debian 13 root of scripts/wine-root, when made).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "hook/windows/wine_libs.h"

namespace {

TEST(WineCall, FromTheEntryElseTheVersion) {
    const struct {
        std::vector<uint8_t> entry;
        const char* version;
        bool wow;
        bool told;
        WineCall call;
    } rows[] = {
        {{0x8D, 0x41, 0x06, 0x83, 0xF8, 0x05},
         "wine-8.0 (Debian 8.0~repack-4)",
         false,
         true,
         WineCall::MsAbi64},
        {{0xF3, 0x0F, 0x1E, 0xFA, 0x8D, 0x47, 0x06},
         "wine-10.0 (Debian 10.0~repack-6)",
         false,
         true,
         WineCall::SysV64},
        // The entry wins over a version that says otherwise.
        {{0x8D, 0x47, 0x06}, "wine-8.0", false, true, WineCall::SysV64},
        {{0x55, 0x48, 0x89, 0xE5}, "wine-7.0", false, true, WineCall::MsAbi64},
        {{0xF3, 0x0F, 0x1E, 0xFA, 0x55}, "wine-10.4", false, true, WineCall::SysV64},
        {{0x55}, "wine-9.0", false, false, WineCall::MsAbi64},
        {{0x55}, "", false, false, WineCall::MsAbi64},
        {{}, "", false, false, WineCall::MsAbi64},
        {{0x8D, 0x42, 0x06}, "", false, false, WineCall::MsAbi64}, // lea 6(%rdx): unknown
        {{0xF3, 0x0F, 0x1E}, "", false, false, WineCall::MsAbi64}, // cut short
        {{0x8D, 0x4C, 0x24, 0x04}, "", true, true, WineCall::Stdcall32},
    };
    for (const auto& r : rows) {
        WineCall call = WineCall::MsAbi64;
        const bool told = WineCallOf(r.entry.data(), r.entry.size(), r.version, r.wow, &call);
        EXPECT_EQ(told, r.told) << r.version << " " << r.entry.size();
        if (told && r.told) {
            EXPECT_EQ(call, r.call) << r.version;
        }
    }
}

TEST(WineCall, TheInstalledLibraries) {
    struct Installation {
        std::string dir;
        WineCall x86_64;
    };
    std::vector<Installation> installations = {{"/usr", WineCall::MsAbi64}};
    const std::string root = std::string(TALVEK_SOURCE_DIR) + "/build/wine-root/trixie";
    struct stat st;
    if (stat((root + "/.talvek-ready").c_str(), &st) == 0)
        installations.push_back({root + "/usr", WineCall::SysV64});
    for (const Installation& in : installations) {
        std::vector<WineLib> libs;
        std::string why;
        if (!FindWineLibraries({in.dir}, &libs, &why))
            continue; // no Wine there
        ASSERT_TRUE(TellWineCalls(&libs, &why)) << why;
        for (const WineLib& lib : libs) {
            EXPECT_EQ(lib.call, lib.wow ? WineCall::Stdcall32 : in.x86_64) << lib.path;
            EXPECT_EQ(lib.version.rfind("wine-", 0), 0u) << lib.path;
        }
    }
}

} // namespace
