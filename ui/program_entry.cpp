// The program's entry. The command line and the show command are ignored:
// the settings file is the program's only configuration.
#include <windows.h>

#include "ui/monitor_dlg.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ExitProcess(static_cast<UINT>(WindowEntry(GetModuleHandleA(nullptr))));
}
