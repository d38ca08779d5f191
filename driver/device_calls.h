// The three kernel32 calls through which the program reaches its hook driver.
// TALVEK.EXE links the real ones (device_kernel32.cpp); the stand-in driver
// links its own in their place, with the same arguments and results.
#pragma once

#include <windows.h>

HANDLE DevCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DevIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                  LPDWORD returned, LPOVERLAPPED overlapped);
BOOL DevCloseHandle(HANDLE device);
