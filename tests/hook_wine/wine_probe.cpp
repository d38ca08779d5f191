// A Windows program of the tests that makes known file calls through the
// Windows API, in the folder named on its command line (which it creates and
// removes), and prints the handles it got: "file=HANDLE find=HANDLE".
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

char g_path[MAX_PATH];

// The folder's name, a backslash and `rest`.
const char* In(const char* dir, const char* rest) {
    snprintf(g_path, sizeof g_path, "%s\\%s", dir, rest);
    return g_path;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: wine_probe FOLDER\n");
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
    CreateFileA(In(dir, "nodir\\x.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileAttributesA(In(dir, "missing.txt"));
    WIN32_FIND_DATAA found;
    FindFirstFileA(In(dir, "*.none"), &found);
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
    RemoveDirectoryA(dir);
    printf("file=%X find=%X\n", (unsigned)(UINT_PTR)file, (unsigned)(UINT_PTR)find);
    return 0;
}
