// Placement memory and the size grip, on real dialogs from the test templates.
#include "frame_ids.h"
#include "test_env.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr char kMonitorName[] = "ViewNotFndFile";
constexpr char kOptionsName[] = "SetOption";

// The size grip as it was asked for.
struct GripRequest {
    int count;
    std::string cls, title;
    DWORD style, exStyle;
    RECT rect;
    HWND parent;
    HINSTANCE instance;
};
GripRequest Grip;
HHOOK GripHook;

LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        if ((GetWindowLongA(reinterpret_cast<HWND>(wParam), GWL_STYLE) & WS_CHILD) != 0 &&
            cs->hMenu == reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSizeGripId))) {
            ++Grip.count;
            Grip.cls = IS_INTRESOURCE(cs->lpszClass) ? "<atom>" : cs->lpszClass;
            Grip.title = cs->lpszName != nullptr ? cs->lpszName : "<null>";
            Grip.style = static_cast<DWORD>(cs->style);
            Grip.exStyle = cs->dwExStyle;
            Grip.rect = {cs->x, cs->y, cs->x + cs->cx, cs->y + cs->cy};
            Grip.parent = cs->hwndParent;
            Grip.instance = cs->hInstance;
        }
    }
    return CallNextHookEx(GripHook, code, wParam, lParam);
}

// What the test dialog procedure saw; one dialog at a time.
struct FrameState {
    bool withMemo;
    int32_t memo[2];
    bool initStarted;
    bool sawSize;
    int32_t memoAtFirstSize[2];
};
FrameState Frame;

// Follows a size change the way a resizable dialog of the program does: the
// children keep their places around the list's top-left corner.
void FollowSize(HWND dlg, LPARAM lParam) {
    const int w = static_cast<short>(LOWORD(lParam));
    const int h = static_cast<short>(HIWORD(lParam));
    if (Frame.initStarted && !Frame.sawSize) {
        Frame.sawSize = true;
        Frame.memoAtFirstSize[0] = Frame.memo[0];
        Frame.memoAtFirstSize[1] = Frame.memo[1];
    }
    if (w == Frame.memo[0] && h == Frame.memo[1]) {
        return;
    }
    RECT list;
    if (DlgItemRect(dlg, IDC_LIST, &list)) {
        DlgAnchorResize(dlg, list.left + 1, list.top + 1, w - Frame.memo[0], h - Frame.memo[1]);
    }
    Frame.memo[0] = w;
    Frame.memo[1] = h;
}

INT_PTR CALLBACK FrameDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        Frame.initStarted = true;
    }
    DlgFrameHook(dlg, msg, wParam, Frame.withMemo ? Frame.memo : nullptr);
    if (msg == WM_INITDIALOG) {
        return TRUE;
    }
    if (msg == WM_SIZE && Frame.withMemo && wParam != SIZE_MINIMIZED) {
        FollowSize(dlg, lParam);
    }
    return FALSE;
}

// A template's dialog as it comes out without the hook.
struct TemplateMetrics {
    RECT window;
    SIZE client;
    RECT list; // client coordinates; empty when the template has no list
};

TemplateMetrics Measure(int templateId) {
    TemplateMetrics m = {};
    HWND dlg = CreateTestDialog(templateId, PlainDlgProc);
    m.window = WindowRect(dlg);
    m.client = ClientSize(dlg);
    if (HWND list = GetDlgItem(dlg, IDC_LIST)) {
        m.list = ChildRect(dlg, list);
    }
    DestroyWindow(dlg);
    return m;
}

LONG Width(const RECT& r) {
    return r.right - r.left;
}
LONG Height(const RECT& r) {
    return r.bottom - r.top;
}

std::string Record(long long x, long long y, long long w, long long h) {
    char text[80];
    snprintf(text, sizeof text, "%lld %lld %lld %lld", x, y, w, h);
    return text;
}

class PlacementTest : public TempIniTest {
  protected:
    void SetUp() override {
        TempIniTest::SetUp();
        sw_ = GetSystemMetrics(SM_CXSCREEN);
        sh_ = GetSystemMetrics(SM_CYSCREEN);
        cap_ = GetSystemMetrics(SM_CYCAPTION);
    }
    void TearDown() override {
        Close();
        TempIniTest::TearDown();
    }
    HWND Open(int templateId, bool withMemo) {
        Close();
        Frame = {};
        Frame.withMemo = withMemo;
        Grip = {};
        GripHook = SetWindowsHookExA(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
        dlg_ = CreateTestDialog(templateId, FrameDlgProc);
        UnhookWindowsHookEx(GripHook);
        EXPECT_NE(dlg_, nullptr);
        return dlg_;
    }
    void Close() {
        if (dlg_ != nullptr) {
            DestroyWindow(dlg_);
            dlg_ = nullptr;
        }
    }
    // The grip was asked for as a bottom-right size box of 8 x 8 dialog units
    // in the corner of the template's client area.
    void ExpectGripRequested(SIZE templateClient) {
        EXPECT_EQ(Grip.count, 1);
        EXPECT_EQ(Grip.cls, "scrollbar");
        EXPECT_EQ(Grip.title, "");
        EXPECT_EQ(Grip.style, 0x54000014u);
        EXPECT_EQ(Grip.exStyle, 0u);
        const RECT expected = {templateClient.cx - ExpectedDluX(8),
                               templateClient.cy - ExpectedDluY(8), templateClient.cx,
                               templateClient.cy};
        EXPECT_TRUE(SameRect(Grip.rect, expected))
            << RectText(Grip.rect) << " expected " << RectText(expected);
        EXPECT_EQ(Grip.parent, dlg_);
        EXPECT_EQ(Grip.instance, AppInst);
    }
    // The grip, sized by the system, keeps to the client area's bottom-right corner.
    void ExpectGripInCorner() {
        HWND grip = GetDlgItem(dlg_, kSizeGripId);
        ASSERT_NE(grip, nullptr);
        char cls[32] = "";
        GetClassNameA(grip, cls, sizeof cls);
        EXPECT_EQ(lstrcmpiA(cls, "scrollbar"), 0) << cls;
        const SIZE client = ClientSize(dlg_);
        const RECT r = ChildRect(dlg_, grip);
        EXPECT_EQ(r.right, client.cx) << RectText(r);
        EXPECT_EQ(r.bottom, client.cy) << RectText(r);
    }
    void ExpectWindowAt(long x, long y, long w, long h, const std::string& what) {
        const RECT r = WindowRect(dlg_);
        const RECT expected = {x, y, x + w, y + h};
        EXPECT_TRUE(SameRect(r, expected))
            << what << ": " << RectText(r) << " expected " << RectText(expected);
    }

    HWND dlg_ = nullptr;
    int sw_ = 0, sh_ = 0, cap_ = 0;
};

TEST_F(PlacementTest, FirstStartCentresAtTemplateSizeAndStoresFourValues) {
    const struct {
        int templateId;
        bool withMemo;
        const char* name;
    } cases[] = {
        {IDD_RESIZABLE, true, kMonitorName},
        {IDD_FIXED, false, kOptionsName},
    };
    for (const auto& c : cases) {
        const TemplateMetrics t = Measure(c.templateId);
        const LONG w = Width(t.window), h = Height(t.window);
        Open(c.templateId, c.withMemo);
        const int x = FloorHalf(sw_ - w), y = FloorHalf(sh_ - h);
        ExpectWindowAt(x, y, w, h, c.name);
        EXPECT_EQ(StoredPlacement(c.name), Record(x, y, w, h)) << c.name;
        if (c.withMemo) {
            EXPECT_EQ(Frame.memo[0], t.client.cx);
            EXPECT_EQ(Frame.memo[1], t.client.cy);
            ExpectGripRequested(t.client);
            ExpectGripInCorner();
        } else {
            EXPECT_EQ(Grip.count, 0);
            EXPECT_EQ(GetDlgItem(dlg_, kSizeGripId), nullptr);
        }
    }
}

TEST_F(PlacementTest, StoredRectRestoresExactlyAndChildrenFollow) {
    const TemplateMetrics t = Measure(IDD_RESIZABLE);
    // Double blanks: a rewrite of the same values would show as single blanks.
    StorePlacement(kMonitorName, "10  20  800  600");
    Open(IDD_RESIZABLE, true);
    ExpectWindowAt(10, 20, 800, 600, "restored");

    // The memo held the template's client size when the restore resized the dialog.
    ASSERT_TRUE(Frame.sawSize);
    EXPECT_EQ(Frame.memoAtFirstSize[0], t.client.cx);
    EXPECT_EQ(Frame.memoAtFirstSize[1], t.client.cy);

    const SIZE client = ClientSize(dlg_);
    EXPECT_EQ(Frame.memo[0], client.cx);
    EXPECT_EQ(Frame.memo[1], client.cy);
    const LONG dx = client.cx - t.client.cx, dy = client.cy - t.client.cy;
    EXPECT_GT(dx, 0);
    EXPECT_GT(dy, 0);
    const RECT expectedList = {t.list.left, t.list.top, t.list.right + dx, t.list.bottom + dy};
    const RECT list = ChildRect(dlg_, GetDlgItem(dlg_, IDC_LIST));
    EXPECT_TRUE(SameRect(list, expectedList))
        << RectText(list) << " expected " << RectText(expectedList);
    ExpectGripRequested(t.client);
    ExpectGripInCorner();
    EXPECT_EQ(StoredPlacement(kMonitorName), "10  20  800  600")
        << "equal values are not rewritten";
}

TEST_F(PlacementTest, OffScreenRecordCentresWithStoredSize) {
    const struct {
        long long x, y;
        int w, h;
        bool centred;
        bool sizeFits; // a size beyond the screen may be limited by the system
    } cases[] = {
        {sw_ - cap_, 20, 500, 400, true, true}, {sw_ - cap_ - 1, 20, 500, 400, false, true},
        {10, sh_ - cap_, 501, 401, true, true}, {10, sh_ - cap_ - 1, 500, 400, false, true},
        {-50, 20, 500, 400, false, true},       {30, -40, 500, 400, false, true},
        {-5000, -5000, 500, 400, false, true},  {30000, 30000, 600, 401, true, true},
        {INT32_MAX, 0, 500, 400, true, true},   {0, INT32_MAX, 500, 400, true, true},
        {sw_, 0, 1101, 400, true, false},
    };
    for (const auto& c : cases) {
        const std::string record = Record(c.x, c.y, c.w, c.h);
        StorePlacement(kMonitorName, record.c_str());
        Open(IDD_RESIZABLE, true);
        const RECT r = WindowRect(dlg_);
        const long long x = c.centred ? FloorHalf(sw_ - c.w) : c.x;
        const long long y = c.centred ? FloorHalf(sh_ - c.h) : c.y;
        EXPECT_EQ(r.left, x) << record;
        EXPECT_EQ(r.top, y) << record;
        if (c.sizeFits) {
            EXPECT_EQ(Width(r), c.w) << record;
            EXPECT_EQ(Height(r), c.h) << record;
        }
    }
}

TEST_F(PlacementTest, IncompleteRecordKeepsDefaults) {
    const TemplateMetrics t = Measure(IDD_RESIZABLE);
    const LONG w = Width(t.window), h = Height(t.window);
    const int cx = FloorHalf(sw_ - w), cy = FloorHalf(sh_ - h);
    const struct {
        const char* record;
        long x, y;
    } cases[] = {
        {"", cx, cy},          {"abc", cx, cy},
        {"100 120", 100, 120}, {"100", cx, cy}, // the top stays off-screen: both axes are centred
        {"-7 9 ", -7, 9},
    };
    for (const auto& c : cases) {
        StorePlacement(kMonitorName, c.record);
        Open(IDD_RESIZABLE, true);
        ExpectWindowAt(c.x, c.y, w, h, std::string("record \"") + c.record + "\"");
    }
}

TEST_F(PlacementTest, WithoutSizeMemoOnlyThePositionIsRestored) {
    const struct {
        int templateId;
        const char* name;
    } dialogs[] = {{IDD_FIXED, kOptionsName}, {IDD_RESIZABLE, kMonitorName}};
    for (const auto& d : dialogs) {
        const TemplateMetrics t = Measure(d.templateId);
        const LONG w = Width(t.window), h = Height(t.window);
        const struct {
            long long x, y;
            long ex, ey;
        } cases[] = {
            {100, 120, 100, 120},
            {-50, 20, -50, 20},
            {sw_ - cap_, 20, FloorHalf(sw_ - w), FloorHalf(sh_ - h)},
            {10, sh_ - cap_, FloorHalf(sw_ - w), FloorHalf(sh_ - h)},
        };
        for (const auto& c : cases) {
            const std::string record = Record(c.x, c.y, 700, 500);
            StorePlacement(d.name, record.c_str());
            Open(d.templateId, false);
            ExpectWindowAt(c.ex, c.ey, w, h, std::string(d.name) + " " + record);
            EXPECT_EQ(Grip.count, 0);
            EXPECT_EQ(GetDlgItem(dlg_, kSizeGripId), nullptr);
            // The stored size differed from the real one, so the restore rewrote it.
            EXPECT_EQ(StoredPlacement(d.name), Record(c.ex, c.ey, w, h)) << record;
        }
        SetWindowPos(dlg_, nullptr, 130, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(StoredPlacement(d.name), Record(130, 140, w, h));
    }
}

TEST_F(PlacementTest, MovesAndSizesAreStoredAtOnce) {
    StorePlacement(kMonitorName, "10 20 400 300");
    Open(IDD_RESIZABLE, true);
    const struct {
        int x, y, w, h;
    } steps[] = {{15, 25, 400, 300}, {15, 25, 450, 330}, {-20, 0, 380, 290}};
    for (const auto& s : steps) {
        MoveWindow(dlg_, s.x, s.y, s.w, s.h, FALSE);
        EXPECT_EQ(StoredPlacement(kMonitorName), Record(s.x, s.y, s.w, s.h));
    }
}

TEST_F(PlacementTest, NothingStoredWhileMinimisedOrMaximised) {
    StorePlacement(kMonitorName, "10 20 400 300");
    Open(IDD_RESIZABLE, true);
    ShowWindow(dlg_, SW_SHOWNORMAL);
    PumpMessages();
    const RECT normal = WindowRect(dlg_);
    const RECT list = ChildRect(dlg_, GetDlgItem(dlg_, IDC_LIST));
    ExpectWindowAt(10, 20, 400, 300, "restored");

    StorePlacement(kMonitorName, "1 2 3 4");
    ShowWindow(dlg_, SW_MINIMIZE);
    PumpMessages();
    ASSERT_TRUE(IsIconic(dlg_));
    EXPECT_EQ(StoredPlacement(kMonitorName), "1 2 3 4") << "minimised";
    ShowWindow(dlg_, SW_MAXIMIZE);
    PumpMessages();
    ASSERT_TRUE(IsZoomed(dlg_));
    EXPECT_EQ(StoredPlacement(kMonitorName), "1 2 3 4") << "maximised";
    MoveWindow(dlg_, 5, 5, 300, 200, FALSE);
    EXPECT_EQ(StoredPlacement(kMonitorName), "1 2 3 4") << "moved while maximised";

    ShowWindow(dlg_, SW_RESTORE);
    PumpMessages();
    ASSERT_FALSE(IsIconic(dlg_) || IsZoomed(dlg_));
    EXPECT_TRUE(SameRect(WindowRect(dlg_), normal));
    EXPECT_EQ(StoredPlacement(kMonitorName), "10 20 400 300") << "the normal rectangle differed";
    EXPECT_TRUE(SameRect(ChildRect(dlg_, GetDlgItem(dlg_, IDC_LIST)), list));
    ExpectGripInCorner();

    StorePlacement(kMonitorName, "10  20  400  300");
    ShowWindow(dlg_, SW_MINIMIZE);
    PumpMessages();
    ShowWindow(dlg_, SW_RESTORE);
    PumpMessages();
    EXPECT_EQ(StoredPlacement(kMonitorName), "10  20  400  300")
        << "equal values are not rewritten";
}

TEST_F(PlacementTest, DialogWithoutNameGetsMemoAndGripButNoPlacement) {
    for (int templateId : {IDD_NAMELESS, IDD_EMPTYNAME}) {
        const TemplateMetrics t = Measure(templateId);
        Open(templateId, true);
        EXPECT_TRUE(SameRect(WindowRect(dlg_), t.window)) << "not moved: " << templateId;
        EXPECT_EQ(Frame.memo[0], t.client.cx);
        EXPECT_EQ(Frame.memo[1], t.client.cy);
        ExpectGripRequested(t.client);
        ExpectGripInCorner();
        MoveWindow(dlg_, 40, 50, 420, 330, FALSE);
        EXPECT_EQ(PlacementSection(), "") << templateId;
    }
}

TEST_F(PlacementTest, PlacementNameIsCutToNineteenCharacters) {
    Open(IDD_LONGNAME, false);
    MoveWindow(dlg_, 40, 50, 300, 200, FALSE);
    const std::string section = PlacementSection();
    EXPECT_EQ(section, "ABCDEFGHIJKLMNOPQRS=" + Record(40, 50, 300, 200) + ";");
}

} // namespace
