#include "driver/driver_link.h"

#include "driver/device_calls.h"

const char kDriverDeviceName[] = "\\\\.\\TALVEKHK.VXD";

HANDLE DeviceHandle = INVALID_HANDLE_VALUE;

BOOL DriverOpen() {
    DeviceHandle =
        DevCreateFileA(kDriverDeviceName, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return DeviceHandle != INVALID_HANDLE_VALUE;
}

BOOL DriverCall(DWORD code, DWORD value) {
    return DevIoControl(DeviceHandle, code, &value, sizeof value, nullptr, 0, nullptr, nullptr);
}

void DriverClose() {
    if (DeviceHandle != INVALID_HANDLE_VALUE)
        DevCloseHandle(DeviceHandle);
    DeviceHandle = INVALID_HANDLE_VALUE;
}
