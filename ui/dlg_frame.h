// The toolkit shared by the program's dialogs: placement memory, the anchor
// rule for resizing, dialog units, message boxes, radio buttons, the private
// dialog class, modal dialogs and the list-view wrappers.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr int kPlacementNameId = 996; // static control holding the placement name
constexpr int kSizeGripId = 994;

extern HINSTANCE AppInst; // the program's instance: resources, classes, dialogs

// Called first for every message of every dialog; never consumes a message.
void DlgFrameHook(HWND dlg, UINT msg, WPARAM wParam, int32_t* sizeMemo);

void DlgAnchorResize(HWND dlg, int ax, int ay, int dx, int dy);
void ChildMoveBy(HWND parent, HWND child, int x, int y, int width, int height, UINT flags);
BOOL DlgItemRect(HWND dlg, int id, RECT* rect);
void SetMinTrackSize(MINMAXINFO* info, int widthDlu, int heightDlu);

int DluToPixelX(int n);
int DluToPixelY(int n);

const char* ResString(UINT id);
int MsgBoxRes(HWND owner, UINT id, UINT style);
int MsgBoxText(HWND owner, const char* text, UINT style);

int RadioIndex(HWND dlg, int first, int count);
void RadioCheck(HWND dlg, int first, int count, int index);

ATOM RegisterDlgClass(const char* name, UINT iconId, UINT menuId, WNDPROC proc);
INT_PTR RunModalDlg(HWND owner, DLGPROC proc, UINT templateId, LPARAM param);

int ListColumnWidth(HWND dlg, int id, int column);
int ListInsertColumn(HWND dlg, int id, int column, int width, const char* title);
LRESULT ListDeleteAll(HWND dlg, int id);
