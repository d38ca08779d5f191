// The device calls of this suite: recorded instead of reaching a driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DevCall {
    DWORD code;
    DWORD inSize;
    DWORD value;  // the 4-byte input
    bool outNone; // no output buffer, no byte count, no overlapped structure
};

extern std::vector<DevCall> DevCalls;

// Everything this suite watches (list-view messages, scratch allocations and
// device calls), one line per event in the order they happened.
extern std::vector<std::string> CallLog;
