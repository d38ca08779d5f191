// The program's resources as the system finds them: both dialog templates as
// stored, the windows the system makes from them (texts read back in code
// page 949), the message string and the icon.
#include "options_driver.h"

#include "res/resource_ids.h"

#include <commctrl.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;

// One control as the template must hold it; captions in code page 949.
struct Ctl {
    int id;
    WORD atom;             // predefined class, or 0 for className
    const char* className; // registered class name as the system reports it
    const char* text;
    short x, y, cx, cy;
    DWORD style;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

HINSTANCE Inst() {
    return GetModuleHandleA(nullptr);
}

std::vector<Ctl> OptionsControls() {
    static const char* const funcCaptions[kIfsFuncCount] = {
        "Read",       "Write",       "FindNext",     "FCNNext",      "Seek",       "Close",
        "Commit",     "FileLocks",   "FileTimes",    "PipereQuest",  "HandleInfo", "EnumHandle",
        "FindClose",  "FCNClose",    "Connect",      "Delete",       "Dir",        "FileAttrib",
        "Flush",      "GetDiskInfo", "Open",         "Rename",       "Search",     "Query",
        "DisConnect", "UNCPiperEQ",  "IOCtl16Drive", "GetDiskParms", "FindOpen",   "DASDIO"};
    static const short columnX[] = {7, 77, 149};
    std::vector<Ctl> c;
    c.push_back({996, kStatic, "Static", "SetOption", -2, -22, 50, 8, kChild | WS_GROUP});
    for (int p = 0; p < kIfsFuncCount; ++p) {
        int row = p % 10;
        c.push_back({108 + p, kButton, "Button", funcCaptions[p], columnX[p / 10],
                     short(4 + 11 * row), 60, 10,
                     kChild | BS_AUTOCHECKBOX | (row == 0 ? WS_TABSTOP : 0)});
    }
    const DWORD push = kChild | BS_PUSHBUTTON | BS_CENTER;
    const std::vector<Ctl> rest = {
        {-1, kStatic, "Static", "표시줄수", 7, 126, 32, 8, kChild | SS_LEFT},
        {104, kEdit, "Edit", "", 41, 124, 35, 12, kChild | WS_BORDER | WS_TABSTOP},
        {-1, kButton, "Button", "결과에 따른 감시", 83, 116, 111, 24,
         kChild | BS_GROUPBOX | WS_GROUP},
        {105, kButton, "Button", "모두", 89, 126, 28, 10,
         kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
        {106, kButton, "Button", "성공", 125, 126, 28, 10, kChild | BS_AUTORADIOBUTTON},
        {107, kButton, "Button", "실패", 160, 126, 28, 10, kChild | BS_AUTORADIOBUTTON},
        {103, kButton, "Button", "감시활성", 218, 124, 46, 10,
         kChild | BS_AUTOCHECKBOX | WS_TABSTOP},
        {100, kButton, "Button", "모두켜기", 222, 47, 40, 14, push | WS_GROUP | WS_TABSTOP},
        {101, kButton, "Button", "모두끄기", 222, 63, 40, 14, push},
        {102, kButton, "Button", "찾는파일", 222, 79, 40, 14, push},
        {1, kButton, "Button", "입력", 222, 5, 40, 14,
         kChild | BS_DEFPUSHBUTTON | BS_CENTER | WS_GROUP | WS_TABSTOP},
        {2, kButton, "Button", "취소", 222, 21, 40, 14, push},
    };
    c.insert(c.end(), rest.begin(), rest.end());
    return c;
}

std::vector<Ctl> MonitorControls() {
    return {
        {996, kStatic, "Static", "ViewNotFndFile", -2, -22, 50, 8, kChild | WS_GROUP},
        {100, 0, "SysListView32", "", 4, 5, 373, 264,
         kChild | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER},
    };
}

std::string ToCp949(const std::wstring& text) {
    char out[256] = {};
    WideCharToMultiByte(949, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// A dialog template (DLGTEMPLATE form) as stored in the image.
struct RawItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    WORD atom = 0;
    std::string className; // when given by name, in upper case or not
    std::string text;      // code page 949
};

struct RawDialog {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD menuOrd = 0;
    std::string menu, className, caption, font;
    WORD pointSize = 0;
    std::vector<RawItem> items;
};

// Reads a name-or-ordinal field; returns the position after it.
const WORD* ReadNameOrOrd(const WORD* p, WORD* ord, std::string* text) {
    *ord = 0;
    text->clear();
    if (*p == 0xFFFF) {
        *ord = p[1];
        return p + 2;
    }
    std::wstring wide(reinterpret_cast<const wchar_t*>(p));
    *text = ToCp949(wide);
    return p + wide.size() + 1;
}

const WORD* AlignDword(const WORD* p, const void* base) {
    size_t off = reinterpret_cast<const BYTE*>(p) - static_cast<const BYTE*>(base);
    return reinterpret_cast<const WORD*>(static_cast<const BYTE*>(base) + ((off + 3) & ~size_t(3)));
}

bool LoadRawDialog(int id, RawDialog* d) {
    HRSRC res = FindResourceA(Inst(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (res == nullptr) {
        return false;
    }
    const void* base = LockResource(LoadResource(Inst(), res));
    const auto* t = static_cast<const DLGTEMPLATE*>(base);
    d->style = t->style;
    d->exStyle = t->dwExtendedStyle;
    d->x = t->x;
    d->y = t->y;
    d->cx = t->cx;
    d->cy = t->cy;
    const WORD* p = reinterpret_cast<const WORD*>(t + 1);
    WORD ord = 0;
    p = ReadNameOrOrd(p, &d->menuOrd, &d->menu);
    p = ReadNameOrOrd(p, &ord, &d->className);
    p = ReadNameOrOrd(p, &ord, &d->caption);
    if (d->style & DS_SETFONT) {
        d->pointSize = *p++;
        p = ReadNameOrOrd(p, &ord, &d->font);
    }
    for (int i = 0; i < t->cdit; ++i) {
        p = AlignDword(p, base);
        const auto* it = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        RawItem item;
        item.style = it->style;
        item.exStyle = it->dwExtendedStyle;
        item.x = it->x;
        item.y = it->y;
        item.cx = it->cx;
        item.cy = it->cy;
        item.id = it->id;
        p = reinterpret_cast<const WORD*>(it + 1);
        p = ReadNameOrOrd(p, &item.atom, &item.className);
        p = ReadNameOrOrd(p, &ord, &item.text);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        d->items.push_back(item);
    }
    return true;
}

void ExpectStoredControls(const RawDialog& d, const std::vector<Ctl>& expected) {
    ASSERT_EQ(d.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Ctl& e = expected[i];
        const RawItem& it = d.items[i];
        SCOPED_TRACE(::testing::Message() << "control " << i << " id " << e.id);
        EXPECT_EQ(it.id, WORD(e.id));
        if (e.atom != 0) {
            EXPECT_EQ(it.atom, e.atom);
        } else {
            EXPECT_EQ(lstrcmpiA(it.className.c_str(), e.className), 0) << it.className;
        }
        EXPECT_EQ(it.text, e.text);
        EXPECT_EQ(it.style, e.style) << std::hex << it.style << " vs " << e.style;
        EXPECT_EQ(it.exStyle, 0u);
        EXPECT_EQ(it.x, e.x);
        EXPECT_EQ(it.y, e.y);
        EXPECT_EQ(it.cx, e.cx);
        EXPECT_EQ(it.cy, e.cy);
    }
}

// The children of a live dialog, in window order (which is the tab order).
void ExpectLiveControls(HWND dlg, const std::vector<Ctl>& expected) {
    size_t i = 0;
    for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT), ++i) {
        ASSERT_LT(i, expected.size()) << "more children than controls";
        const Ctl& e = expected[i];
        SCOPED_TRACE(::testing::Message() << "child " << i << " id " << e.id);
        char text[64] = {};
        char cls[64] = {};
        GetWindowTextA(child, text, sizeof text);
        GetClassNameA(child, cls, sizeof cls);
        EXPECT_EQ(WORD(GetDlgCtrlID(child)), WORD(e.id));
        EXPECT_STREQ(cls, e.className);
        if (e.atom != kEdit) { // the edit box shows the row limit by now
            EXPECT_STREQ(text, e.text);
        }
        // The system draws a bordered control of a dialog with a sunken edge
        // instead: WS_BORDER becomes WS_EX_CLIENTEDGE.
        DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        DWORD exStyle = static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE));
        if ((e.style & WS_BORDER) != 0 && (exStyle & WS_EX_CLIENTEDGE) != 0) {
            style |= WS_BORDER;
        }
        EXPECT_EQ(style, e.style) << std::hex << style << " vs " << e.style;
    }
    EXPECT_EQ(i, expected.size());
}

TEST(Resources, OptionsTemplateAsStored) {
    RawDialog d;
    ASSERT_TRUE(LoadRawDialog(IDD_OPTIONS, &d));
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{48, 64, 267, 145}));
    EXPECT_EQ(d.menuOrd, 0);
    EXPECT_EQ(d.menu, "");
    EXPECT_EQ(d.className, "");
    EXPECT_EQ(d.caption, "옵션 설정");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.font, "굴림체");
    ExpectStoredControls(d, OptionsControls());
}

TEST(Resources, MonitorTemplateAsStored) {
    RawDialog d;
    ASSERT_TRUE(LoadRawDialog(IDD_MONITOR, &d));
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                             WS_MAXIMIZEBOX | DS_SETFONT));
    EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{24, 8, 381, 274}));
    EXPECT_EQ(d.menu, "");
    EXPECT_EQ(lstrcmpiA(d.className.c_str(), "WC_Talvek"), 0) << d.className;
    EXPECT_EQ(d.caption, "IFS 감시 프로그램");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.font, "굴림체");
    ExpectStoredControls(d, MonitorControls());
}

TEST_F(OptionsDlgTest, OptionsDialogWindowsFromTheTemplate) {
    RunOptionsDialog([](HWND dlg) {
        char caption[64] = {};
        GetWindowTextA(dlg, caption, sizeof caption);
        EXPECT_STREQ(caption, "옵션 설정");
        DWORD style = static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE));
        const DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        EXPECT_EQ(style & wanted, wanted) << std::hex << style;
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
        ExpectLiveControls(dlg, OptionsControls());
        Click(dlg, IDCANCEL);
    });
}

INT_PTR CALLBACK PlainDlgProc(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

TEST(Resources, MonitorWindowFromTheTemplate) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&icc));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = Inst();
    wc.lpszClassName = "WC_Talvek";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND wnd = CreateDialogParamA(Inst(), MAKEINTRESOURCEA(IDD_MONITOR), nullptr, PlainDlgProc, 0);
    ASSERT_NE(wnd, nullptr);
    EXPECT_EQ(FindWindowA("WC_Talvek", nullptr), wnd);
    char text[64] = {};
    GetClassNameA(wnd, text, sizeof text);
    EXPECT_STREQ(text, "WC_Talvek");
    GetWindowTextA(wnd, text, sizeof text);
    EXPECT_STREQ(text, "IFS 감시 프로그램");
    DWORD style = static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE));
    const DWORD wanted =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(style & wanted, wanted) << std::hex << style;
    ExpectLiveControls(wnd, MonitorControls());
    DestroyWindow(wnd);
    UnregisterClassA("WC_Talvek", Inst());
}

TEST(Resources, MessageStringInTheKoreanCodePage) {
    char text[128] = {};
    ASSERT_GT(LoadStringA(Inst(), IDS_NO_MAIN_WINDOW, text, sizeof text), 0);
    EXPECT_STREQ(text, "메인 Window를 만들 수 없습니다");
}

TEST(Resources, IconHasBothSizes) {
    HINSTANCE inst = Inst();
    HRSRC res = FindResourceA(inst, MAKEINTRESOURCEA(IDI_TALVEK), MAKEINTRESOURCEA(14));
    ASSERT_NE(res, nullptr); // RT_GROUP_ICON
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(inst, res)));
    std::vector<int> sizes;
    int count = dir[4] | dir[5] << 8;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = dir + 6 + 14 * i; // width, height, colours, 0, planes, bits, ...
        EXPECT_EQ(entry[0], entry[1]);
        sizes.push_back(entry[0]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    for (int size : {32, 16}) {
        HICON icon = static_cast<HICON>(
            LoadImageA(inst, MAKEINTRESOURCEA(IDI_TALVEK), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask = {};
        GetObjectA(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(mask.bmWidth, size);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
}

} // namespace
