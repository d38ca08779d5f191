// The names a 32-bit program gave under Wine's new WoW64, from those the
// 64-bit ntdll got.
#include "hook/windows/wow64_name.h"

#include <gtest/gtest.h>

TEST(Wow64Name, RedirectedExemptAndTurnedOff) {
    const struct {
        const char* got; // as the 64-bit side got it
        bool on;         // redirection on
        const char* shown;
    } cases[] = {
        {"C:\\windows\\syswow64\\tvnosuch.dll", true, "C:\\windows\\system32\\tvnosuch.dll"},
        {"C:\\windows\\syswow64", true, "C:\\windows\\system32"},
        {"c:\\WINDOWS\\SysWOW64\\Wbem\\X.dll", true, "c:\\WINDOWS\\system32\\Wbem\\X.dll"},
        // Not the folder: another name, another drive, another place.
        {"C:\\windows\\syswow64x\\a", true, "C:\\windows\\syswow64x\\a"},
        {"C:\\windows\\syswow6", true, "C:\\windows\\syswow6"},
        {"D:\\windows\\syswow64\\a", true, "D:\\windows\\syswow64\\a"},
        {"C:\\windowsx\\syswow64\\a", true, "C:\\windowsx\\syswow64\\a"},
        {"C:\\x\\windows\\syswow64\\a", true, "C:\\x\\windows\\syswow64\\a"},
        // The exempt folders reach syswow64 only as the program named it.
        {"C:\\windows\\syswow64\\drivers\\etc\\hosts", true,
         "C:\\windows\\syswow64\\drivers\\etc\\hosts"},
        {"C:\\windows\\syswow64\\Drivers\\Etc", true, "C:\\windows\\syswow64\\Drivers\\Etc"},
        {"C:\\windows\\syswow64\\catroot2\\a", true, "C:\\windows\\syswow64\\catroot2\\a"},
        {"C:\\windows\\syswow64\\spool", true, "C:\\windows\\syswow64\\spool"},
        {"C:\\windows\\syswow64\\drivers\\etcx", true, "C:\\windows\\system32\\drivers\\etcx"},
        {"C:\\windows\\syswow64\\drivers\\a.sys", true, "C:\\windows\\system32\\drivers\\a.sys"},
        {"C:\\windows\\syswow64\\catroots", true, "C:\\windows\\system32\\catroots"},
        {"C:\\windows\\system32\\drivers\\etc\\hosts", true,
         "C:\\windows\\system32\\drivers\\etc\\hosts"},
        // Redirection turned off: the names are the program's own.
        {"C:\\windows\\syswow64\\a.dll", false, "C:\\windows\\syswow64\\a.dll"},
        {"C:\\windows\\system32\\a.dll", false, "C:\\windows\\system32\\a.dll"},
    };
    for (const auto& c : cases) {
        std::string name = c.got;
        Wow64ProgramName(&name, c.on);
        EXPECT_EQ(name, c.shown) << c.got << (c.on ? " on" : " off");
    }
}
