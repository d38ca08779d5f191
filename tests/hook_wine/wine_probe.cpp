// A Windows program of the tests that makes known file calls through the
// Windows API, in the folder named on its command line (which it creates and
// removes), and prints the handles it got: "file=HANDLE find=HANDLE
// new=HANDLE temp=HANDLE long=HANDLE copy=HANDLE moved=HANDLE six=HANDLE ov=HANDLE
// shared=HANDLE".
//
// wine_probe --files N FOLDER: a workload for measurements: makes N small
// files in FOLDER, then opens, reads and closes each (timed), prints
// "files=N ms=MS", and removes them.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char g_path[MAX_PATH];

// The folder's name, a backslash and `rest`.
const char* In(const char* dir, const char* rest) {
    snprintf(g_path, sizeof g_path, "%s\\%s", dir, rest);
    return g_path;
}

// The --files workload; returns the exit status.
int OpenReadClose(int count, const char* dir) {
    CreateDirectoryA(dir, nullptr);
    char name[MAX_PATH];
    char data[64] = "talvek";
    DWORD done = 0;
    for (int i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "%s\\f%05d.txt", dir, i);
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return 4;
        WriteFile(h, data, sizeof data, &done, nullptr);
        CloseHandle(h);
    }
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "%s\\f%05d.txt", dir, i);
        HANDLE h =
            CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return 5;
        ReadFile(h, data, sizeof data, &done, nullptr);
        CloseHandle(h);
    }
    QueryPerformanceCounter(&end);
    for (int i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "%s\\f%05d.txt", dir, i);
        DeleteFileA(name);
    }
    RemoveDirectoryA(dir);
    printf("files=%d ms=%.1f\n", count,
           1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
               static_cast<double>(freq.QuadPart));
    return 0;
}

// A thread that names itself: its calls are still the process's.
DWORD WINAPI NamedThread(void* dir) {
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const auto set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadDescription")));
    if (set != nullptr)
        set(GetCurrentThread(), L"SaveWorker");
    GetFileAttributesA(In(static_cast<const char*>(dir), "worker.txt"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--files") == 0)
        return OpenReadClose(atoi(argv[2]), argv[3]);
    if (argc == 3 && strcmp(argv[1], "--child") == 0) {
        // A child of the probe: writes through the handle it inherited.
        DWORD written = 0;
        HANDLE inherited = reinterpret_cast<HANDLE>(strtoul(argv[2], nullptr, 16));
        return WriteFile(inherited, "child", 5, &written, nullptr) ? 0 : 1;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: wine_probe FOLDER | wine_probe --files N FOLDER\n");
        return 2;
    }
    const char* dir = argv[1];
    if (!CreateDirectoryA(dir, nullptr))
        return 3;
    // A missing file with a Korean name, passed in UTF-16.
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, dir, -1, wide, MAX_PATH);
    wcsncat(wide, L"\\없는파일.txt", MAX_PATH - wcslen(wide) - 1);
    CreateFileW(wide, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    // A Korean folder of 4 bytes in code page 949: a short name.
    MultiByteToWideChar(CP_ACP, 0, dir, -1, wide, MAX_PATH);
    wcsncat(wide, L"\\한글", MAX_PATH - wcslen(wide) - 1);
    CreateDirectoryW(wide, nullptr);
    RemoveDirectoryW(wide);
    CreateFileA(In(dir, "nodir\\x.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileAttributesA(In(dir, "missing.txt"));
    WIN32_FIND_DATAA found;
    FindFirstFileA(In(dir, "*.none"), &found);
    FindFirstFileA(In(dir, "nodir\\*.txt"), &found);
    LoadLibraryA("talvek_missing.dll");

    HANDLE file = CreateFileA(In(dir, "a.dat"), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 4;
    char data[200];
    memset(data, 'x', sizeof data);
    DWORD done = 0;
    SetFilePointer(file, 1000, nullptr, FILE_BEGIN);
    WriteFile(file, data, sizeof data, &done, nullptr);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, data, 100, &done, nullptr);
    LockFile(file, 16, 0, 32, 0);
    UnlockFile(file, 16, 0, 32, 0);
    FlushFileBuffers(file);
    CloseHandle(file);
    char from[MAX_PATH];
    snprintf(from, sizeof from, "%s", In(dir, "a.dat"));
    MoveFileA(from, In(dir, "b.dat"));

    HANDLE find = FindFirstFileA(In(dir, "*"), &found);
    while (find != INVALID_HANDLE_VALUE && FindNextFileA(find, &found)) {
    }
    FindClose(find);
    DeleteFileA(In(dir, "b.dat"));

    // Calls whose rows must say what the program got: a CREATE_NEW on a file
    // that exists, SetFileAttributes, MoveFile of a missing file,
    // GetDiskFreeSpace of a missing drive, GetDriveType of it (no row),
    // GetVolumeInformation of a drive and of a missing one, a temporary file deleted at its
    // close, SetEndOfFile, SetFileTime of one time, the root made the current
    // folder.
    HANDLE made = CreateFileA(In(dir, "c.dat"), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(made);
    CreateFileA(In(dir, "c.dat"), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    SetFileAttributesA(In(dir, "c.dat"), FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesA(In(dir, "gone.txt"), FILE_ATTRIBUTE_ARCHIVE);
    snprintf(from, sizeof from, "%s", In(dir, "gone.txt"));
    MoveFileA(from, In(dir, "moved.txt"));
    DWORD sectors, bytes, free, total;
    GetDiskFreeSpaceA("Q:\\", &sectors, &bytes, &free, &total);
    GetDriveTypeA("Q:\\");
    char label[MAX_PATH];
    DWORD serial = 0;
    GetVolumeInformationA("C:\\", label, sizeof label, &serial, nullptr, nullptr, nullptr, 0);
    GetVolumeInformationA("Q:\\", label, sizeof label, &serial, nullptr, nullptr, nullptr, 0);
    DeleteFileA(In(dir, "c.dat"));
    HANDLE temp = CreateFileA(In(dir, "t.tmp"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    WriteFile(temp, data, 6, &done, nullptr);
    SetFilePointer(temp, 0x400, nullptr, FILE_BEGIN);
    SetEndOfFile(temp);
    const FILETIME time = {0x12345678, 0x01D00000};
    SetFileTime(temp, &time, nullptr, nullptr);
    SetFileTime(temp, nullptr, &time, nullptr);
    FILETIME times[3];
    GetFileTime(temp, &times[0], &times[1], &times[2]);
    // DuplicateHandle: a copy writes to the same file; then the file moved to
    // a copy with its source closed, and a pipe that may get the old value is
    // no file.
    HANDLE copy = nullptr, moved = nullptr;
    DuplicateHandle(GetCurrentProcess(), temp, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    WriteFile(copy, data, 2, &done, nullptr);
    CloseHandle(copy);
    DuplicateHandle(GetCurrentProcess(), temp, GetCurrentProcess(), &moved, 0, FALSE,
                    DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
    HANDLE pipeRead = nullptr, pipeWrite = nullptr;
    CreatePipe(&pipeRead, &pipeWrite, nullptr, 0);
    WriteFile(pipeWrite, "pipe data", 9, &done, nullptr);
    ReadFile(pipeRead, data, 9, &done, nullptr);
    CloseHandle(pipeRead);
    CloseHandle(pipeWrite);
    CloseHandle(moved);
    // Overlapped reads: a short one, then one past the end of the file.
    HANDLE six =
        CreateFileA(In(dir, "o.dat"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(six, "sixsix", 6, &done, nullptr);
    CloseHandle(six);
    HANDLE ov = CreateFileA(In(dir, "o.dat"), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
    OVERLAPPED request = {};
    request.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD offsets[] = {0, 100};
    for (DWORD at : offsets) {
        request.Offset = at;
        if (!ReadFile(ov, data, 64, nullptr, &request) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(ov, &request, &done, TRUE);
    }
    CloseHandle(request.hEvent);
    CloseHandle(ov);
    DeleteFileA(In(dir, "o.dat"));
    // A handle a child process inherits: its write is on the file.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE shared = CreateFileA(In(dir, "i.dat"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, 0, nullptr);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    char line[2 * MAX_PATH];
    snprintf(line, sizeof line, "\"%s\" --child %X", self, (unsigned)(UINT_PTR)shared);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &child)) {
        WaitForSingleObject(child.hProcess, INFINITE);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    CloseHandle(shared);
    DeleteFileA(In(dir, "i.dat"));

    // A name of 252 characters, as Windows 98 allows (up to 259): whole.
    char longName[MAX_PATH];
    const int dirLength = static_cast<int>(strlen(dir));
    snprintf(
        longName, sizeof longName, "%s\\%.*s.txt", dir, 252 - dirLength - 5,
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
    HANDLE longFile = CreateFileA(longName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(longFile);
    DeleteFileA(longName);
    HANDLE worker = CreateThread(nullptr, 0, NamedThread, const_cast<char*>(dir), 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA(dir);
    printf("file=%X find=%X new=%X temp=%X long=%X copy=%X moved=%X six=%X ov=%X shared=%X\n",
           (unsigned)(UINT_PTR)file, (unsigned)(UINT_PTR)find, (unsigned)(UINT_PTR)made,
           (unsigned)(UINT_PTR)temp, (unsigned)(UINT_PTR)longFile, (unsigned)(UINT_PTR)copy,
           (unsigned)(UINT_PTR)moved, (unsigned)(UINT_PTR)six, (unsigned)(UINT_PTR)ov,
           (unsigned)(UINT_PTR)shared);
    return 0;
}
