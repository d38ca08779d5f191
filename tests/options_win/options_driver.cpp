#include "options_driver.h"

#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "ui/dlg_frame.h"
#include "ui/options_dlg.h"

#include <string.h>

namespace {

const std::function<void(HWND)>* pendingScript;
bool scriptRan;

BOOL CALLBACK FindDialog(HWND wnd, LPARAM found) {
    char cls[16];
    if (GetClassNameA(wnd, cls, sizeof cls) > 0 && strcmp(cls, "#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    return TRUE;
}

// A thread timer: dispatched by the dialog's own modal loop.
void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dlg));
    if (dlg == nullptr) {
        return;
    }
    if (!scriptRan) {
        scriptRan = true;
        (*pendingScript)(dlg);
        return;
    }
    EndDialog(dlg, kStuck);
}

} // namespace

INT_PTR RunOptionsDialog(const std::function<void(HWND)>& script) {
    pendingScript = &script;
    scriptRan = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, DriveDialog);
    INT_PTR result = RunModalDlg(nullptr, OptionsDlgProc, IDD_OPTIONS, 0);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(scriptRan) << "the dialog never ran its modal loop";
    pendingScript = nullptr;
    return result;
}

void Click(HWND dlg, int id) {
    ASSERT_NE(GetDlgItem(dlg, id), nullptr) << "no control " << id;
    SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0);
}

DlgView ReadView(HWND dlg) {
    DlgView v;
    for (int i = 0; i < kIfsFuncCount; ++i) {
        v.funcs[i] = IsDlgButtonChecked(dlg, IDC_FUNC_FIRST + i) == BST_CHECKED;
    }
    char text[64];
    GetDlgItemTextA(dlg, IDC_ROW_LIMIT, text, sizeof text);
    v.rowText = text;
    for (int i = 0; i < 3; ++i) {
        v.results[i] = IsDlgButtonChecked(dlg, IDC_RESULT_ALL + i) == BST_CHECKED;
    }
    v.monitorOn = IsDlgButtonChecked(dlg, IDC_MONITOR_ON) == BST_CHECKED;
    return v;
}

std::ostream& operator<<(std::ostream& out, const DlgView& v) {
    out << "boxes ";
    for (bool f : v.funcs) {
        out << (f ? '1' : '0');
    }
    out << " rows \"" << v.rowText << "\" results " << v.results[0] << v.results[1] << v.results[2]
        << " on " << v.monitorOn;
    return out;
}

std::ostream& operator<<(std::ostream& out, const Settings& s) {
    out << "enable ";
    for (int8_t e : s.enable) {
        out << int(e);
    }
    return out << " rows " << s.rows << " result " << int(s.result) << " on " << int(s.monitorOn);
}

Settings SettingsInMemory() {
    Settings s;
    memcpy(s.enable.data(), IfsFncMonEnaFg, kIfsFuncCount);
    s.rows = MaxViewLineQty;
    s.result = ResultMonFg;
    s.monitorOn = EnaMonitorFg;
    return s;
}

void SetSettingsInMemory(const Settings& s) {
    memcpy(IfsFncMonEnaFg, s.enable.data(), kIfsFuncCount);
    MaxViewLineQty = s.rows;
    ResultMonFg = s.result;
    EnaMonitorFg = s.monitorOn;
}

std::array<int8_t, kIfsFuncCount> EnableBytes(const char* bits) {
    std::array<int8_t, kIfsFuncCount> bytes{};
    for (int i = 0; i < kIfsFuncCount && bits[i] != '\0'; ++i) {
        bytes[i] = static_cast<int8_t>(bits[i] - '0');
    }
    return bytes;
}

void OptionsDlgTest::SetUp() {
    ASSERT_EQ(GetACP(), 949u) << "tests expect the Korean ANSI code page";
    AppInst = GetModuleHandleA(nullptr);
    char dir[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    ASSERT_NE(GetTempFileNameA(dir, "opt", 0, file), 0u);
    DeleteFileA(file); // start without a settings file
    ASSERT_LT(strlen(file), sizeof IniPath);
    strcpy(IniPath, file);
    path_ = file;
    SetSettingsInMemory({EnableBytes("111111111111111111111111111111"), 200, 0, 1});
}

void OptionsDlgTest::TearDown() {
    DeleteFileA(path_.c_str());
}

std::string OptionsDlgTest::IniText(const char* key) {
    char value[128];
    GetPrivateProfileStringA("Config", key, "", value, sizeof value, path_.c_str());
    return value;
}

std::vector<std::string> OptionsDlgTest::ConfigLines() {
    char section[4096];
    DWORD n = GetPrivateProfileSectionA("Config", section, sizeof section, path_.c_str());
    std::vector<std::string> lines;
    for (const char* p = section; p < section + n && *p != '\0'; p += strlen(p) + 1) {
        lines.emplace_back(p);
    }
    return lines;
}

void OptionsDlgTest::WriteConfig(const char* key, const char* value) {
    WritePrivateProfileStringA("Config", key, value, path_.c_str());
}
