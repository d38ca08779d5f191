// Drives and reads a running monitor window from another process, for the
// black-box run: talvek-checker COMMAND [ARGS]. Texts are printed as their
// exact bytes. Exit code 0 on success, 1 when the expected thing did not
// happen in time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "close_glyph.h"

namespace {

constexpr int kListId = 100;

HWND FindMonitor(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        // Shown only once its initialisation, title included, is complete.
        HWND w = FindWindowA("WC_Talvek", nullptr);
        if (w != nullptr && !IsWindowVisible(w))
            w = nullptr;
        if (w != nullptr || GetTickCount() - start >= timeoutMs)
            return w;
        Sleep(50);
    }
}

std::string WindowText(HWND w) {
    char buf[512] = "";
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

// Reads one cell of a list view in another process: the LVITEM and the text
// buffer must live in that process.
std::string CellText(HANDLE process, HWND list, int row, int column) {
    constexpr SIZE_T kTextSize = 1024;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextSize,
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr)
        return "";
    char* remoteText = static_cast<char*>(remote) + sizeof(LVITEMA);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = remoteText;
    item.cchTextMax = kTextSize;
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote));
    char text[kTextSize + 1] = "";
    ReadProcessMemory(process, remoteText, text, kTextSize, nullptr);
    text[kTextSize] = '\0';
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

HANDLE OpenWindowProcess(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
}

// rows N TIMEOUT: waits until the list holds N rows, prints them as TAB-separated lines.
int CmdRows(HWND w, int wanted, DWORD timeoutMs) {
    HWND list = GetDlgItem(w, kListId);
    const DWORD start = GetTickCount();
    int count = 0;
    while ((count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0))) < wanted &&
           GetTickCount() - start < timeoutMs)
        Sleep(100);
    HANDLE process = OpenWindowProcess(w);
    for (int row = 0; row < count; ++row) {
        for (int col = 0; col < 6; ++col) {
            const std::string t = CellText(process, list, row, col);
            fwrite(t.data(), 1, t.size(), stdout);
            fputc(col < 5 ? '\t' : '\n', stdout);
        }
    }
    CloseHandle(process);
    return count >= wanted ? 0 : 1;
}

// The key goes to the focused control, as a keyboard would send it; the
// monitor's message loop hands it to the dialog manager.
int CmdKey(HWND w, const char* name) {
    const WPARAM vk = strcmp(name, "esc") == 0 ? VK_ESCAPE : VK_RETURN;
    HWND target = GetDlgItem(w, kListId);
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
    return 0;
}

// Waits for a window whose title changes away from the given one.
int CmdWaitTitle(HWND w, const char* old, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (WindowText(w) == old && GetTickCount() - start < timeoutMs)
        Sleep(50);
    printf("%s\n", WindowText(w).c_str());
    return WindowText(w) == old ? 1 : 0;
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindBoxProc(HWND w, LPARAM param) {
    BoxSearch* s = reinterpret_cast<BoxSearch*>(param);
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(w) && (s->pid == 0 || pid == s->pid)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialogBox(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        BoxSearch s{0, nullptr};
        EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&s));
        if (s.found != nullptr || GetTickCount() - start >= timeoutMs)
            return s.found;
        Sleep(50);
    }
}

// box TIMEOUT: waits for a message box; prints its caption, its text and
// whether it shows the exclamation icon; then presses its OK button.
int CmdBox(DWORD timeoutMs) {
    HWND box = FindDialogBox(timeoutMs);
    if (box == nullptr)
        return 1;
    std::string text;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[64] = "";
        GetClassNameA(c, cls, sizeof cls);
        if (strcmp(cls, "Static") == 0 && GetWindowTextLengthA(c) > 0)
            text = WindowText(c);
    }
    printf("caption=%s\ntext=%s\n", WindowText(box).c_str(), text.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

// dialog TIMEOUT: waits for a dialog box and prints its caption.
int CmdDialog(DWORD timeoutMs) {
    HWND box = FindDialogBox(timeoutMs);
    if (box == nullptr)
        return 1;
    printf("%s\n", WindowText(box).c_str());
    return 0;
}

int CmdCloseDialog(DWORD timeoutMs) {
    HWND box = FindDialogBox(timeoutMs);
    if (box == nullptr)
        return 1;
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: talvek-checker wait|title|rows|key|waittitle|syscmd|box|"
                        "dialog|closedialog|foreground|closeglyph ...\n");
        return 2;
    }
    const std::string cmd = argv[1];
    const DWORD timeout = 20000;
    if (cmd == "box")
        return CmdBox(timeout);
    if (cmd == "dialog")
        return CmdDialog(timeout);
    if (cmd == "closedialog")
        return CmdCloseDialog(timeout);
    HWND w = FindMonitor(cmd == "gone" ? 0 : timeout);
    if (cmd == "gone")
        return w == nullptr ? 0 : 1;
    if (w == nullptr) {
        fprintf(stderr, "no monitor window\n");
        return 1;
    }
    if (cmd == "wait" || cmd == "title") {
        printf("%s\n", WindowText(w).c_str());
        return 0;
    }
    if (cmd == "rows" && argc >= 3)
        return CmdRows(w, atoi(argv[2]), timeout);
    if (cmd == "key" && argc >= 3)
        return CmdKey(w, argv[2]);
    if (cmd == "waittitle" && argc >= 3)
        return CmdWaitTitle(w, argv[2], timeout);
    if (cmd == "syscmd" && argc >= 3) {
        PostMessageA(w, WM_SYSCOMMAND, static_cast<WPARAM>(atoi(argv[2])), 0);
        return 0;
    }
    if (cmd == "closeglyph")
        return CmdCloseGlyph(w);
    if (cmd == "foreground")
        return GetForegroundWindow() == w ? 0 : 1;
    fprintf(stderr, "unknown command %s\n", cmd.c_str());
    return 2;
}
