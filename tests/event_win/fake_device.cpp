#include "fake_device.h"

#include "driver/device_calls.h"

std::vector<DevCall> DevCalls;
std::vector<std::string> CallLog;

HANDLE DevCreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return reinterpret_cast<HANDLE>(0x5A5A);
}

BOOL DevIoControl(HANDLE, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                  LPDWORD returned, LPOVERLAPPED overlapped) {
    DWORD value = 0;
    if (in != nullptr && inSize == sizeof value)
        CopyMemory(&value, in, sizeof value);
    DevCalls.push_back(
        {code, inSize, value,
         out == nullptr && outSize == 0 && returned == nullptr && overlapped == nullptr});
    CallLog.push_back("device " + std::to_string(code));
    return TRUE;
}

BOOL DevCloseHandle(HANDLE) {
    return TRUE;
}
