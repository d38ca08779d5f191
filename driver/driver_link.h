// The program's side of the hook driver's contract: the device and its five
// control codes, each passing one 32-bit value by address.
#pragma once

#include <windows.h>

enum DriverCtl : DWORD {
    CTL_SET_CALLBACK = 1,  // address of OnIfsCall; 0 unregisters
    CTL_RELEASE_REC = 2,   // address of a record received earlier
    CTL_ENABLE = 3,        // EnaMonitorFg
    CTL_RESULT_FILTER = 4, // ResultMonFg: 0 all, 1 successful, 2 failed
    CTL_FUNC_ENABLE = 5,   // enable byte << 16 | IFS function code
};

extern const char kDriverDeviceName[]; // "\\.\TALVEKHK.VXD"

// The process's device handle; INVALID_HANDLE_VALUE while none is open.
extern HANDLE DeviceHandle;

// Opens the device into DeviceHandle; returns FALSE when the driver is missing.
BOOL DriverOpen();

// One control call on DeviceHandle with value as its 4-byte input.
BOOL DriverCall(DWORD code, DWORD value);

// Closes the device when it is open (this unloads the driver).
void DriverClose();
