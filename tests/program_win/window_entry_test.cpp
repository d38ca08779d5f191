// The program's window entry run whole: the monitor window from its class and
// template, the program's own message loop, the close and the exit code; a
// second call while a monitor window exists; the missing driver.
#include "monitor_env.h"

#include <algorithm>

#include "settings/ini_file.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"
#include "driver/listener.h"

namespace {

constexpr int kStuckCode = 99;

// Ends a loop that would otherwise never end, with a code no path returns.
void CALLBACK GiveUp(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    PostQuitMessage(kStuckCode);
}

// WindowEntry takes the settings file next to the executable.
class WindowEntryTest : public MonitorTest {
  protected:
    std::string SettingsFile(int) override {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        std::string p(path, n);
        return p.substr(0, p.rfind('.') + 1) + "INI";
    }
    int RunEntry() {
        const UINT_PTR guard = SetTimer(nullptr, 0, 10000, GiveUp);
        const int code = WindowEntry(GetModuleHandleA(nullptr));
        KillTimer(nullptr, guard);
        return code;
    }
};

std::vector<std::string> Only(const std::vector<std::string>& trace, const std::string& prefix) {
    std::vector<std::string> kept;
    for (const std::string& line : trace)
        if (line.compare(0, prefix.size(), prefix) == 0)
            kept.push_back(line);
    return kept;
}

std::string DefaultWidths() {
    std::string text;
    for (int dlu : {50, 15, 20, 20, 30, 600})
        text += std::to_string(ExpectedDluX(dlu)) + " ";
    return text;
}

TEST_F(WindowEntryTest, RunsTheWindowUntilItIsClosedAndReturnsZero) {
    std::vector<std::string> titles;
    bool shown = false;
    // Once the title has changed: note it and post the next message.
    auto onNewTitle = [&](UINT msg, WPARAM wParam) {
        return [&titles, msg, wParam] {
            if (Title(MonitorWnd) == titles.back())
                return false;
            titles.push_back(Title(MonitorWnd));
            PostMessageA(MonitorWnd, msg, wParam, 0);
            return true;
        };
    };
    StartScript({
        [&] {
            if (MonitorWnd == nullptr || !SimRegistered())
                return false;
            WatchListener();
            shown = IsWindowVisible(MonitorWnd) != FALSE;
            titles.push_back(Title(MonitorWnd));
            PostMessageA(MonitorWnd, WM_KEYDOWN, VK_RETURN, 0);
            return true;
        },
        onNewTitle(WM_KEYDOWN, VK_RETURN),
        onNewTitle(WM_CLOSE, 0),
    });
    const Mark start = Now();
    EXPECT_EQ(RunEntry(), 0);
    EXPECT_TRUE(ScriptDone());
    EXPECT_TRUE(shown);
    EXPECT_EQ(titles, (std::vector<std::string>{kTitleOn, kTitleOff, kTitleOn}));
    EXPECT_EQ(MonitorWnd, nullptr);
    EXPECT_STREQ(IniPath, path_.c_str());

    const std::string widths = "write ColWidths=" + DefaultWidths();
    EXPECT_EQ(TraceSince(start, Threads::WindowOnly),
              Concat(Concat({"open ok"}, PushTrace(0, 1, "111111111111111111111111111111")),
                     {"window ctl 3 0 ok", "window ctl 3 1 ok", widths, "window ctl 1 0 ok",
                      "window close ok", "destroy, listener ended"}));
    // The listener registers while the window pushes; it is waited for at
    // the close, before the window unregisters and closes the device.
    const std::vector<std::string> all = TraceSince(start);
    EXPECT_EQ(Only(all, "listener"),
              (std::vector<std::string>{"listener ctl 1 OnIfsCall ok", "listener ctl 1 0 ok"}));
    auto close = std::find(all.begin(), all.end(), widths);
    ASSERT_NE(close, all.end());
    EXPECT_EQ(std::vector<std::string>(close, all.end()),
              (std::vector<std::string>{widths, "listener ctl 1 0 ok", "window ctl 1 0 ok",
                                        "window close ok", "destroy, listener ended"}));
    EXPECT_EQ(IniText("Config", "ColWidths"), DefaultWidths());
    EXPECT_EQ(IniText("Config", "EnaMonitorFg"), "<none>");
}

TEST_F(WindowEntryTest, MissingDriverShowsTheBoxAndReturnsZero) {
    WriteIni("Config", "ColWidths", "75 22 30 30 45 900");
    SimSetMissing(true);
    BoxSeen box;
    StartScript({AnswerBox(&box)});
    const Mark start = Now();
    EXPECT_EQ(RunEntry(), 0);
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.texts, std::vector<std::string>{kDriverMissingText});
    EXPECT_EQ(TraceSince(start),
              (std::vector<std::string>{"open failed",
                                        "box " + std::string(kDriverMissingText) + "|" + kCaption +
                                            "|0x2030|monitor",
                                        "window ctl 1 0 failed", "destroy, listener none"}));
    EXPECT_EQ(MonitorWnd, nullptr);
    EXPECT_EQ(IniText("Config", "ColWidths"), "75 22 30 30 45 900");
}

// A second call finds the first window by its class and only brings it up.
TEST_F(MonitorTest, SecondWindowEntryShowsTheFirstWindowAndTouchesNothing) {
    struct Case {
        const char* name;
        int show; // the first window's state before the call
    } cases[] = {{"hidden", SW_HIDE}, {"minimised", SW_SHOWMINIMIZED}, {"shown", SW_SHOWNORMAL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(Create(), nullptr);
        ShowWindow(window_, c.show);
        RunLoopFor(10);
        const Mark before = Now();
        const UINT_PTR guard = SetTimer(nullptr, 0, 3000, GiveUp);
        const int code = WindowEntry(GetModuleHandleA(nullptr));
        KillTimer(nullptr, guard);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(TraceSince(before), std::vector<std::string>{}) << "no device call, no write";
        EXPECT_STREQ(IniPath, path_.c_str()) << "the settings path stays as it was";
        EXPECT_EQ(MonitorWnd, window_);
        EXPECT_TRUE(IsWindowVisible(window_));
        EXPECT_FALSE(IsIconic(window_));
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

} // namespace
