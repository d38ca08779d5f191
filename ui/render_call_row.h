// Turns one delivered call record into a row of the monitor window's list.
#pragma once

#include <windows.h>

constexpr int kCallListId = 100; // the monitor window's list-view control

// Appends the record's row (dropping the oldest at MaxViewLineQty), scrolls
// it into view and hands the record back to the driver on every path.
void RenderCallRow(HWND window, LPARAM record);

// Allocator of the row's scratch text; tests replace it to make it fail.
extern HLOCAL(WINAPI* RowScratchAlloc)(UINT flags, SIZE_T bytes);
