// Reading windows back in tests: rectangles, list-view cells, and the pixels
// of dialog units worked out apart from the program's own conversion.
#pragma once

#include <windows.h>

#include <string>

RECT WindowRect(HWND wnd);
// A child's window rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child);
SIZE ClientSize(HWND wnd);

// Pixels of n dialog units by the system's base units, rounded half away from
// zero.
int ExpectedDluX(int n);
int ExpectedDluY(int n);

// The text of one cell of a list-view control (up to 1023 bytes).
std::string ListCellText(HWND list, int row, int column);
int ListItemCount(HWND list);
