#include "test_env.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

struct FrameEnvironment : testing::Environment {
    void SetUp() override {
        AppInst = GetModuleHandleA(nullptr);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
    }
};

testing::Environment* const kFrameEnvironment =
    testing::AddGlobalTestEnvironment(new FrameEnvironment);

} // namespace

void TempIniTest::SetUp() {
    char dir[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof dir, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "frm", 0, IniPath), 0u);
    ASSERT_LT(strlen(IniPath), static_cast<size_t>(kIniPathSize));
}

void TempIniTest::TearDown() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniPath); // flush the cache
    DeleteFileA(IniPath);
    strcpy(IniPath, "TALVEK.INI");
}

std::string StoredPlacement(const char* name) {
    char text[128];
    GetPrivateProfileStringA("DlgPos", name, "<none>", text, sizeof text, IniPath);
    return text;
}

void StorePlacement(const char* name, const char* text) {
    WritePrivateProfileStringA("DlgPos", name, text, IniPath);
}

std::string PlacementSection() {
    char text[1024];
    const DWORD n = GetPrivateProfileSectionA("DlgPos", text, sizeof text, IniPath);
    std::string all;
    for (DWORD i = 0; i < n; ++i) {
        all += text[i] != '\0' ? text[i] : ';';
    }
    return all;
}

INT_PTR CALLBACK PlainDlgProc(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

HWND CreateTestDialog(int templateId, DLGPROC proc) {
    HWND dlg = CreateDialogParamA(AppInst, MAKEINTRESOURCEA(templateId), nullptr, proc, 0);
    PumpMessages();
    return dlg;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int FloorHalf(long long n) {
    return static_cast<int>(n >= 0 ? n / 2 : -((-n + 1) / 2));
}

std::string RectText(const RECT& r) {
    char text[80];
    snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", static_cast<long>(r.left),
             static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom));
    return text;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
