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
// sizeMemo (client width and height) is given only by a resizable dialog: it
// gets a size grip and its saved size restored; the hook fills the memo at
// WM_INITDIALOG and leaves later updates to the dialog.
void DlgFrameHook(HWND dlg, UINT msg, WPARAM wParam, int32_t* sizeMemo);

// Moves the children right of (below) the anchor by dx (dy) and stretches
// those that span it. The anchor is in screen coordinates.
void DlgAnchorResize(HWND dlg, int ax, int ay, int dx, int dy);

// ChildMoveBy flags: the matching value is taken as it is; without its flag a
// value is added to the child's current one.
enum ChildMoveFlag : UINT {
    kChildAbsX = 1,
    kChildAbsY = 2,
    kChildAbsWidth = 4,
    kChildAbsHeight = 8,
};
void ChildMoveBy(HWND parent, HWND child, int x, int y, int width, int height, UINT flags);
// The control's window rectangle in screen coordinates.
BOOL DlgItemRect(HWND dlg, int id, RECT* rect);
void SetMinTrackSize(MINMAXINFO* info, int widthDlu, int heightDlu);

// Dialog units to pixels by the system's dialog base units.
int DluToPixelX(int n);
int DluToPixelY(int n);

// A string resource; the text stays valid until four more calls.
const char* ResString(UINT id);
// Task-modal message boxes titled with the owner's title; an exclamation icon
// unless the style asks for another icon.
int MsgBoxRes(HWND owner, UINT id, UINT style);
int MsgBoxText(HWND owner, const char* text, UINT style);

// Index of the highest checked button of the run, or -1.
int RadioIndex(HWND dlg, int first, int count);
// Checks button index of the run and clears the others; index >= count does nothing.
void RadioCheck(HWND dlg, int first, int count, int index);

// A class usable by dialog templates; null proc means DefDlgProcA, 0 ids mean none.
ATOM RegisterDlgClass(const char* name, UINT iconId, UINT menuId, WNDPROC proc);
INT_PTR RunModalDlg(HWND owner, DLGPROC proc, UINT templateId, LPARAM param);

// List-view control id of dialog dlg. ListColumnWidth gives -1 for a column
// that cannot be read; ListInsertColumn gives the new index or -1.
int ListColumnWidth(HWND dlg, int id, int column);
int ListInsertColumn(HWND dlg, int id, int column, int width, const char* title);
LRESULT ListDeleteAll(HWND dlg, int id);
