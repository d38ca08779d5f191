// The program's instance, its private dialog classes and modal dialogs.
#include "ui/dlg_frame.h"

HINSTANCE AppInst = nullptr;

ATOM RegisterDlgClass(const char* name, UINT iconId, UINT menuId, WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc != nullptr ? proc : DefDlgProcA;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = DLGWINDOWEXTRA; // required of a class that dialog templates name
    wc.hInstance = AppInst;
    wc.hIcon = iconId != 0 ? LoadIconA(AppInst, MAKEINTRESOURCEA(iconId)) : nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszMenuName = MAKEINTRESOURCEA(menuId);
    wc.lpszClassName = name;
    return RegisterClassA(&wc);
}

INT_PTR RunModalDlg(HWND owner, DLGPROC proc, UINT templateId, LPARAM param) {
    return DialogBoxParamA(AppInst, MAKEINTRESOURCEA(templateId), owner, proc, param);
}
