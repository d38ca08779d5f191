// The real monitor window for the Windows benchmarks: created from the
// program's own template and procedure, its settings in a fresh file in the
// temporary folder, run against the stand-in driver.
#pragma once

#include <windows.h>

#include <string>

// Writes iniText as the settings file, resets the stand-in driver and creates
// the monitor window (hidden). Null when the window could not be created.
HWND OpenMonitor(const std::string& iniText);

// Closes the window as Esc does and runs the loop until its WM_QUIT.
void CloseMonitor(HWND window);

// Dispatches everything that is queued, as the program's loop does; a
// WM_QUIT is taken and ends it.
void PumpAll();

HWND CallList(HWND window);

// The list-view messages that RenderCallRow sends for one row (the oldest row
// out when the list is full, the row in, its five texts, the scroll), with
// the given six texts and nothing else.
void BareListRow(HWND window, const char* const texts[]);
int ListRows(HWND window);

// Seconds on a monotonic high-resolution clock.
double Now();
