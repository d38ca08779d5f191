// Driving windows as a user would, for tests and benchmarks.
#pragma once

#include <windows.h>

// Types one key (down and up) into the system's input queue.
void TypeKey(WORD key);

// The first standard dialog ("#32770") of a thread, looked for every 10 ms
// until it appears or timeoutMs pass (then null).
HWND WaitForThreadDialog(DWORD thread, DWORD timeoutMs);
