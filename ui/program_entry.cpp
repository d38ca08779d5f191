// The program's entry. TALVEK.EXE has no C runtime: TalvekStart is its entry
// point and does what a runtime's start-up would, for WinMain. TALVEKSIM.EXE
// keeps the C runtime, whose start-up calls the same WinMain.
// The command line and the show command are ignored: the settings file is the
// program's only configuration.
#include <windows.h>

#include "ui/monitor_dlg.h"

namespace {

// The command line after the program's name (quoted or not) and the blanks
// that follow it.
char* CommandTail(char* cmd) {
    if (*cmd == '"') {
        ++cmd;
        while (*cmd != '\0' && *cmd != '"')
            ++cmd;
        if (*cmd == '"')
            ++cmd;
    } else {
        while (*cmd > ' ')
            ++cmd;
    }
    while (*cmd != '\0' && *cmd <= ' ')
        ++cmd;
    return cmd;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ExitProcess(static_cast<UINT>(WindowEntry(instance)));
}

extern "C" void TalvekStart() {
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    const int show =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    WinMain(GetModuleHandleA(nullptr), nullptr, CommandTail(GetCommandLineA()), show);
}
