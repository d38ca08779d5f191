// String resources and message boxes. A CBT hook notes each message box as it
// is activated; a timer then reads the box, once it is fully set up, and
// answers it.
#include "frame_ids.h"
#include "test_env.h"

#include <string>
#include <vector>

namespace {

struct BoxSeen {
    bool seen;
    std::string caption;
    HICON icon;
    std::vector<std::string> texts;
    bool otherEnabled; // the other top-level window while the box was up
};

BoxSeen Seen;
HWND Box;
HWND OwnerWindow;
HWND OtherWindow;
WPARAM ReplyId;
HHOOK Hook;

bool IsDialogBox(HWND wnd) {
    char cls[16] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    return lstrcmpA(cls, "#32770") == 0;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM) {
    char cls[16] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "static") != 0) {
        return TRUE;
    }
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        Seen.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    } else {
        char text[256] = "";
        GetWindowTextA(child, text, sizeof text);
        Seen.texts.push_back(text);
    }
    return TRUE;
}

void CALLBACK ReadBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    Seen.seen = true;
    char caption[256] = "";
    GetWindowTextA(Box, caption, sizeof caption);
    Seen.caption = caption;
    EnumChildWindows(Box, ReadChild, 0);
    Seen.otherEnabled = IsWindowEnabled(OtherWindow) != FALSE;
    PostMessageA(Box, WM_COMMAND, ReplyId, 0);
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND wnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && Box == nullptr && wnd != OwnerWindow && wnd != OtherWindow &&
        IsDialogBox(wnd)) {
        Box = wnd;
        SetTimer(nullptr, 0, 10, ReadBox);
    }
    return CallNextHookEx(Hook, code, wParam, lParam);
}

// Closes a box the hook missed, so that a failing test does not hang.
BOOL CALLBACK CloseBox(HWND wnd, LPARAM) {
    if (wnd != OwnerWindow && wnd != OtherWindow && IsDialogBox(wnd)) {
        PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}
void CALLBACK Rescue(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
}

class MsgBoxTest : public testing::Test {
  protected:
    void SetUp() override {
        owner_ = CreateTestDialog(IDD_PLAIN, PlainDlgProc);
        other_ = CreateTestDialog(IDD_PLAIN, PlainDlgProc);
        ASSERT_NE(owner_, nullptr);
        ASSERT_NE(other_, nullptr);
        SetWindowTextA(owner_, "Owner title");
        ShowWindow(owner_, SW_SHOWNORMAL);
        ShowWindow(other_, SW_SHOWNORMAL);
        OwnerWindow = owner_;
        OtherWindow = other_;
        Hook = SetWindowsHookExA(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
        ASSERT_NE(Hook, nullptr);
        rescue_ = SetTimer(nullptr, 0, 3000, Rescue);
    }
    void TearDown() override {
        KillTimer(nullptr, rescue_);
        UnhookWindowsHookEx(Hook);
        OwnerWindow = nullptr;
        OtherWindow = nullptr;
        DestroyWindow(other_);
        DestroyWindow(owner_);
        PumpMessages();
    }
    // Prepares the hook for one box, answered with reply.
    void Expect(WPARAM reply) {
        Seen = {};
        Box = nullptr;
        ReplyId = reply;
    }
    HWND owner_ = nullptr;
    HWND other_ = nullptr;
    UINT_PTR rescue_ = 0;
};

HICON SystemIcon(const char* id) {
    return LoadIconA(nullptr, id);
}

bool ShowsText(const std::string& text) {
    for (const std::string& t : Seen.texts) {
        if (t == text) {
            return true;
        }
    }
    return false;
}

TEST_F(MsgBoxTest, ExclamationUnlessAnotherIconIsAsked) {
    const struct {
        UINT style;
        const char* icon;
    } cases[] = {
        {0, IDI_EXCLAMATION},
        {MB_OKCANCEL, IDI_EXCLAMATION},
        {MB_ICONEXCLAMATION, IDI_EXCLAMATION},
        {MB_ICONINFORMATION, IDI_ASTERISK},
        {MB_ICONQUESTION, IDI_QUESTION},
        {MB_ICONHAND, IDI_HAND},
    };
    for (const auto& c : cases) {
        Expect(IDOK);
        EXPECT_EQ(MsgBoxText(owner_, "Some text", c.style), IDOK);
        ASSERT_TRUE(Seen.seen) << c.style;
        EXPECT_EQ(Seen.icon, SystemIcon(c.icon)) << "style " << c.style;
        EXPECT_EQ(Seen.caption, "Owner title");
        EXPECT_TRUE(ShowsText("Some text"));
    }
}

TEST_F(MsgBoxTest, WithoutOwnerTheBoxIsTaskModalWithDefaultCaption) {
    // A plain application-modal box without caption, for comparison.
    Expect(IDOK);
    MessageBoxA(nullptr, "Reference", nullptr, MB_OK);
    ASSERT_TRUE(Seen.seen);
    const std::string defaultCaption = Seen.caption;
    EXPECT_TRUE(Seen.otherEnabled) << "an application-modal box leaves other windows enabled";

    Expect(IDOK);
    EXPECT_EQ(MsgBoxText(nullptr, "No owner", 0), IDOK);
    ASSERT_TRUE(Seen.seen);
    EXPECT_EQ(Seen.caption, defaultCaption);
    EXPECT_FALSE(Seen.otherEnabled) << "task-modal: every window of the thread is disabled";
    EXPECT_EQ(Seen.icon, SystemIcon(IDI_EXCLAMATION));
    EXPECT_TRUE(IsWindowEnabled(other_)) << "enabled again afterwards";
}

TEST_F(MsgBoxTest, ResultAndOwnerTitlePassThrough) {
    Expect(IDNO);
    EXPECT_EQ(MsgBoxText(owner_, "Yes or no", MB_YESNO | MB_ICONQUESTION), IDNO);
    ASSERT_TRUE(Seen.seen);

    // The caption holds at most 79 characters of the owner's title.
    const std::string longTitle(100, 'T');
    SetWindowTextA(owner_, longTitle.c_str());
    Expect(IDOK);
    MsgBoxText(owner_, "Long", 0);
    ASSERT_TRUE(Seen.seen);
    EXPECT_EQ(Seen.caption, std::string(79, 'T'));
}

TEST_F(MsgBoxTest, ResourceTextIsShown) {
    Expect(IDOK);
    EXPECT_EQ(MsgBoxRes(owner_, IDS_FIRST + 2, 0), IDOK);
    ASSERT_TRUE(Seen.seen);
    EXPECT_TRUE(ShowsText("third"));
    EXPECT_EQ(Seen.icon, SystemIcon(IDI_EXCLAMATION));
    EXPECT_EQ(Seen.caption, "Owner title");
}

TEST(ResString, FifthCallReusesTheFirstBuffer) {
    const char* first[4];
    for (int i = 0; i < 4; ++i) {
        first[i] = ResString(IDS_FIRST + i);
    }
    const char* names[] = {"first", "second", "third", "fourth"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(first[i], names[i]) << "still valid after " << 3 - i << " more calls";
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(first[i], first[j]);
        }
    }
    const char* fifth = ResString(IDS_FIRST + 4);
    EXPECT_EQ(fifth, first[0]);
    EXPECT_STREQ(first[0], "fifth");
    EXPECT_STREQ(first[1], "second");
    EXPECT_STREQ(first[3], "fourth");
}

TEST(ResString, LongTextIsCutAndMissingTextIsEmpty) {
    const std::string text = ResString(IDS_LONG);
    EXPECT_EQ(text.size(), 127u);
    EXPECT_EQ(text.substr(0, 26), "abcdefghijklmnopqrstuvwxyz");
    // Fill every slot, then read a missing id: it must not show an old text.
    for (int i = 0; i < 4; ++i) {
        ResString(IDS_FIRST);
    }
    EXPECT_STREQ(ResString(IDS_MISSING), "");
}

} // namespace
