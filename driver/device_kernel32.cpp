#include "driver/device_calls.h"

HANDLE DevCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) {
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL DevIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                  LPDWORD returned, LPOVERLAPPED overlapped) {
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL DevCloseHandle(HANDLE device) {
    return CloseHandle(device);
}
