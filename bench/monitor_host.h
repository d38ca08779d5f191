// The real monitor window for the Windows benchmarks: created from the
// program's own template and procedure, its settings in a fresh file in the
// temporary folder, run against the stand-in driver.
#pragma once

#include <windows.h>

#include <string>

// Writes iniText as the settings file, resets the stand-in driver and creates
// the monitor window (hidden). Null when the window could not be created.
HWND OpenMonitor(const std::string& iniText);

// Closes the window as Esc does and runs the loop until it is gone.
void CloseMonitor(HWND window);

// One turn of the program's message loop: dispatches one message, waiting
// for it when wait is set. False when no message was there, or at WM_QUIT.
bool PumpOne(bool wait);

// Dispatches everything that is queued.
void PumpAll();

HWND CallList(HWND window);

// The list-view messages that RenderCallRow sends for one row (the oldest row
// out when the list is full, the row in, its five texts, the scroll), with
// the given six texts and nothing else.
void BareListRow(HWND window, const char* const texts[]);
int ListRows(HWND window);

// Seconds on a monotonic high-resolution clock.
double Now();
