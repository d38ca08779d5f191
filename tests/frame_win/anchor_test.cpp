// The anchor rule, relative child moves, control rectangles and dialog units.
#include "frame_ids.h"
#include "test_env.h"

#include <cstring>
#include <vector>
#include <string>

namespace {

class AnchorTest : public testing::Test {
  protected:
    void SetUp() override {
        dlg_ = CreateTestDialog(IDD_PLAIN, PlainDlgProc);
        ASSERT_NE(dlg_, nullptr);
        SetWindowPos(dlg_, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void TearDown() override { DestroyWindow(dlg_); }
    HWND AddChild(const RECT& r, bool visible = true) {
        return CreateWindowExA(0, "static", "", WS_CHILD | (visible ? WS_VISIBLE : 0), r.left,
                               r.top, r.right - r.left, r.bottom - r.top, dlg_, nullptr, AppInst,
                               nullptr);
    }
    POINT ToScreen(int x, int y) {
        POINT p = {x, y};
        ClientToScreen(dlg_, &p);
        return p;
    }
    HWND dlg_ = nullptr;
};

// How a child answers a resize on one axis.
enum Follow { kStay, kStretch, kMove };

RECT Apply(RECT r, Follow h, Follow v, int dx, int dy) {
    if (h == kMove) {
        r.left += dx;
    }
    if (h != kStay) {
        r.right += dx;
    }
    if (v == kMove) {
        r.top += dy;
    }
    if (v != kStay) {
        r.bottom += dy;
    }
    return r;
}

TEST_F(AnchorTest, ChildrenMoveOrStretchAroundTheAnchor) {
    // Anchor at client point (50, 40).
    const struct {
        RECT rect;
        bool visible;
        Follow h, v;
        const char* what;
    } children[] = {
        {{10, 10, 40, 30}, true, kStay, kStay, "left of and above"},
        {{10, 10, 50, 40}, true, kStay, kStay, "right and bottom edges on the anchor"},
        {{10, 10, 51, 41}, true, kStretch, kStretch, "edges one past the anchor"},
        {{10, 10, 80, 60}, true, kStretch, kStretch, "spanning"},
        {{50, 40, 70, 60}, true, kStretch, kStretch, "top-left corner on the anchor"},
        {{51, 41, 70, 60}, true, kMove, kMove, "one pixel right of and below"},
        {{60, 10, 90, 30}, true, kMove, kStay, "right of, above"},
        {{10, 60, 30, 90}, true, kStay, kMove, "left of, below"},
        {{60, 10, 90, 90}, true, kMove, kStretch, "right of, spanning vertically"},
        {{0, 0, 200, 150}, false, kStretch, kStretch, "hidden, spanning"},
        {{120, 100, 140, 120}, false, kMove, kMove, "hidden, below right"},
    };
    const struct { int dx, dy; } deltas[] = {{30, 20}, {-15, -10}, {7, -3}, {0, 0}};
    for (const auto& d : deltas) {
        std::vector<HWND> made;
        for (const auto& c : children) {
            made.push_back(AddChild(c.rect, c.visible));
            ASSERT_NE(made.back(), nullptr);
        }
        const POINT anchor = ToScreen(50, 40);
        DlgAnchorResize(dlg_, anchor.x, anchor.y, d.dx, d.dy);
        for (size_t i = 0; i < made.size(); ++i) {
            const auto& c = children[i];
            const RECT expected = Apply(c.rect, c.h, c.v, d.dx, d.dy);
            const RECT got = ChildRect(dlg_, made[i]);
            EXPECT_TRUE(SameRect(got, expected))
                << c.what << " by " << d.dx << "," << d.dy << ": " << RectText(got) << " expected "
                << RectText(expected);
            DestroyWindow(made[i]);
        }
    }
}

TEST_F(AnchorTest, ChildMoveByTakesFlaggedValuesAsTheyAre) {
    // Child at (10, 20), 30 x 40 in client coordinates; arguments 5, 6, 7, 8.
    const struct {
        UINT flags;
        RECT expected; // left, top, right, bottom
    } cases[] = {
        {0, {15, 26, 15 + 37, 26 + 48}},
        {kChildAbsX, {5, 26, 5 + 37, 26 + 48}},
        {kChildAbsY, {15, 6, 15 + 37, 6 + 48}},
        {kChildAbsWidth, {15, 26, 15 + 7, 26 + 48}},
        {kChildAbsHeight, {15, 26, 15 + 37, 26 + 8}},
        {kChildAbsX | kChildAbsHeight, {5, 26, 5 + 37, 26 + 8}},
        {15, {5, 6, 5 + 7, 6 + 8}},
    };
    for (const auto& c : cases) {
        HWND child = AddChild({10, 20, 40, 60});
        ChildMoveBy(dlg_, child, 5, 6, 7, 8, c.flags);
        const RECT got = ChildRect(dlg_, child);
        EXPECT_TRUE(SameRect(got, c.expected))
            << "flags " << c.flags << ": " << RectText(got) << " expected " << RectText(c.expected);
        DestroyWindow(child);
    }
    HWND child = AddChild({10, 20, 40, 60});
    ChildMoveBy(dlg_, child, -12, -25, -20, -10, 0);
    const RECT shrunk = {-2, -5, -2 + 10, -5 + 30};
    EXPECT_TRUE(SameRect(ChildRect(dlg_, child), shrunk)) << RectText(ChildRect(dlg_, child));
}

TEST_F(AnchorTest, DlgItemRectGivesScreenRectangle) {
    HWND child = AddChild({10, 20, 40, 60});
    SetWindowLongPtrA(child, GWLP_ID, 77);
    RECT r = {};
    EXPECT_TRUE(DlgItemRect(dlg_, 77, &r));
    const POINT tl = ToScreen(10, 20);
    const RECT expected = {tl.x, tl.y, tl.x + 30, tl.y + 40};
    EXPECT_TRUE(SameRect(r, expected)) << RectText(r) << " expected " << RectText(expected);
    EXPECT_FALSE(DlgItemRect(dlg_, 78, &r));
}

TEST_F(AnchorTest, DialogUnitsFollowSystemBaseUnits) {
    // This dialog uses the system font, so its own mapping uses the same base
    // units and serves as a second opinion.
    for (int n : {0, 1, 2, 3, 5, 7, 8, 59, 100, 381, 600, -1, -2, -3, -7}) {
        RECT mapped = {0, 0, n, n};
        MapDialogRect(dlg_, &mapped);
        EXPECT_EQ(DluToPixelX(n), ExpectedDluX(n)) << n;
        EXPECT_EQ(DluToPixelY(n), ExpectedDluY(n)) << n;
        EXPECT_EQ(DluToPixelX(n), mapped.right) << n;
        EXPECT_EQ(DluToPixelY(n), mapped.bottom) << n;
    }
}

TEST(MinTrackSize, SetsOnlyTheMinimumTrackingSize) {
    const struct { int w, h; } cases[] = {{100, 59}, {0, 0}, {1, 3}};
    for (const auto& c : cases) {
        MINMAXINFO info;
        memset(&info, 0x5A, sizeof info);
        MINMAXINFO expected = info;
        expected.ptMinTrackSize.x = ExpectedDluX(c.w);
        expected.ptMinTrackSize.y = ExpectedDluY(c.h);
        SetMinTrackSize(&info, c.w, c.h);
        EXPECT_EQ(memcmp(&info, &expected, sizeof info), 0)
            << c.w << " x " << c.h << ": " << info.ptMinTrackSize.x << " x "
            << info.ptMinTrackSize.y;
    }
}

} // namespace
