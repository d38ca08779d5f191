// The monitor window's size: the restored placement, resizing, minimising and
// maximising, and the smallest size it can be tracked to. The list stretches
// with the client area and the size grip keeps to the bottom-right corner.
#include "monitor_env.h"

#include <ostream>

#include "res/resource_ids.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"

// RECT lives in the global namespace: so must its comparison, for the
// assertions to find it.
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

constexpr char kPlacementName[] = "ViewNotFndFile";

struct Layout {
    SIZE client;
    RECT list;
    RECT grip;
    int32_t memo[2];
};

Layout ReadLayout(HWND monitor) {
    Layout l = {ClientSize(monitor),
                ChildRect(monitor, GetDlgItem(monitor, IDC_CALL_LIST)),
                ChildRect(monitor, GetDlgItem(monitor, kSizeGripId)),
                {SizeMemo[0], SizeMemo[1]}};
    return l;
}

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

// The layout expected once the client area of `from` has become `client`:
// the list's top-left corner stays, its size follows the client size, the
// grip keeps its size in the bottom-right corner and the memo holds the size.
Layout Follow(const Layout& from, SIZE client) {
    Layout l = from;
    const int dx = client.cx - from.client.cx;
    const int dy = client.cy - from.client.cy;
    l.client = client;
    l.list.right += dx;
    l.list.bottom += dy;
    l.grip = {client.cx - Width(from.grip), client.cy - Height(from.grip), client.cx, client.cy};
    l.memo[0] = client.cx;
    l.memo[1] = client.cy;
    return l;
}

bool operator==(const Layout& a, const Layout& b) {
    return a.client.cx == b.client.cx && a.client.cy == b.client.cy && a.list == b.list &&
           a.grip == b.grip && a.memo[0] == b.memo[0] && a.memo[1] == b.memo[1];
}
std::ostream& operator<<(std::ostream& out, const Layout& l) {
    return out << "client " << l.client.cx << "x" << l.client.cy << " list " << l.list << " grip "
               << l.grip << " memo " << l.memo[0] << "x" << l.memo[1];
}

TEST_F(MonitorTest, RestoredLargerSizeGrowsTheListByTheClientDifference) {
    ASSERT_NE(Create(), nullptr);
    const Layout plain = ReadLayout(window_);
    const RECT plainOuter = WindowRect(window_);
    ASSERT_LT(Width(plainOuter), 800);
    ASSERT_LT(Height(plainOuter), 600);
    // At the template's size the grip already sits in the corner.
    EXPECT_EQ(plain, Follow(plain, plain.client));
    EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
    NextCase();

    WriteIni("DlgPos", kPlacementName, "10 20 800 600");
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(WindowRect(window_), (RECT{10, 20, 810, 620}));
    const Layout restored = ReadLayout(window_);
    EXPECT_GT(restored.client.cx, plain.client.cx);
    EXPECT_EQ(restored, Follow(plain, restored.client));
}

TEST_F(MonitorTest, ResizingStretchesTheListAndMovesTheGrip) {
    WriteIni("DlgPos", kPlacementName, "10 20 700 500");
    ASSERT_NE(Create(), nullptr);
    const Layout start = ReadLayout(window_);
    const SIZE sizes[] = {{900, 700}, {500, 380}, {1000, 300}, {320, 650}, {700, 500}};
    for (const SIZE& s : sizes) {
        SCOPED_TRACE(std::to_string(s.cx) + "x" + std::to_string(s.cy));
        MoveWindow(window_, 10, 20, s.cx, s.cy, TRUE);
        RunLoopFor(10);
        EXPECT_EQ(ReadLayout(window_), Follow(start, ClientSize(window_)));
        EXPECT_EQ(IniText("DlgPos", kPlacementName),
                  "10 20 " + std::to_string(s.cx) + " " + std::to_string(s.cy));
    }
    EXPECT_EQ(ReadLayout(window_), start);
}

TEST_F(MonitorTest, MinimisingOrMaximisingAndRestoringKeepsTheLayout) {
    struct Case {
        const char* name;
        int show;
        bool (*state)(HWND);
    } cases[] = {
        {"minimise", SW_MINIMIZE, [](HWND w) { return IsIconic(w) != FALSE; }},
        {"maximise", SW_MAXIMIZE, [](HWND w) { return IsZoomed(w) != FALSE; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteIni("DlgPos", kPlacementName, "10 20 700 500");
        ASSERT_NE(Create(), nullptr);
        ShowWindow(window_, SW_SHOWNORMAL);
        RunLoopFor(10);
        const Layout before = ReadLayout(window_);
        const std::string placement = IniText("DlgPos", kPlacementName);
        ASSERT_EQ(placement, "10 20 700 500");

        ShowWindow(window_, c.show);
        RunLoopFor(10);
        ASSERT_TRUE(c.state(window_));
        if (c.show == SW_MINIMIZE) {
            EXPECT_EQ(SizeMemo[0], before.memo[0]);
            EXPECT_EQ(SizeMemo[1], before.memo[1]);
            EXPECT_EQ(ChildRect(window_, GetDlgItem(window_, IDC_CALL_LIST)), before.list);
        } else {
            EXPECT_EQ(ReadLayout(window_), Follow(before, ClientSize(window_)));
        }
        EXPECT_EQ(IniText("DlgPos", kPlacementName), placement);

        ShowWindow(window_, SW_RESTORE);
        RunLoopFor(10);
        EXPECT_FALSE(c.state(window_));
        EXPECT_EQ(ReadLayout(window_), before);
        EXPECT_EQ(IniText("DlgPos", kPlacementName), placement);
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

TEST_F(MonitorTest, CannotBeTrackedSmallerThanItsMinimum) {
    ASSERT_NE(Create(), nullptr);
    const LONG x = ExpectedDluX(100);
    const LONG y = ExpectedDluY(59);

    MINMAXINFO info;
    info.ptReserved = {7001, 7002};
    info.ptMaxSize = {7003, 7004};
    info.ptMaxPosition = {7005, 7006};
    info.ptMinTrackSize = {7007, 7008};
    info.ptMaxTrackSize = {7009, 7010};
    SendMessageA(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, x);
    EXPECT_EQ(info.ptMinTrackSize.y, y);
    EXPECT_EQ(info.ptReserved.x, 7001);
    EXPECT_EQ(info.ptMaxSize.y, 7004);
    EXPECT_EQ(info.ptMaxPosition.x, 7005);
    EXPECT_EQ(info.ptMaxTrackSize.y, 7010);

    // The system applies the minimum to every size change.
    MoveWindow(window_, 10, 20, 40, 30, TRUE);
    const RECT r = WindowRect(window_);
    EXPECT_EQ(Width(r), x);
    EXPECT_EQ(Height(r), y);
    EXPECT_EQ(ReadLayout(window_).memo[0], ClientSize(window_).cx);
}

} // namespace
