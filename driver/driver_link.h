// The program's side of the hook driver's contract: the device and its
// control calls (the codes in driver/driver_ctl.h).
#pragma once

#include <windows.h>

#include "driver/driver_ctl.h"

extern const char kDriverDeviceName[]; // "\\.\TALVEKHK.VXD"

// The process's device handle; INVALID_HANDLE_VALUE while none is open.
extern HANDLE DeviceHandle;

// Opens the device into DeviceHandle; returns FALSE when the driver is missing.
BOOL DriverOpen();

// One control call on DeviceHandle with value as its 4-byte input.
BOOL DriverCall(DWORD code, DWORD value);

// Closes the device when it is open (this unloads the driver).
void DriverClose();
