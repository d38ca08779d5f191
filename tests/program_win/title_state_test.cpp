// The title with the monitoring state: the caption up to its first '-', or
// the whole caption and " -", then a blank and the state word.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/monitor_settings.h"
#include "ui/monitor_dlg.h"

namespace {

const std::string kOn = "감시활성";
const std::string kOff = "감시비활성";

std::string TitleAfter(const std::string& caption, int8_t enabled) {
    HWND wnd = CreateWindowExA(0, "STATIC", caption.c_str(), WS_POPUP, 0, 0, 100, 50, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(wnd, nullptr);
    const int8_t saved = EnaMonitorFg;
    EnaMonitorFg = enabled;
    ShowTitleState(wnd);
    EnaMonitorFg = saved;
    char text[256] = "";
    GetWindowTextA(wnd, text, sizeof text);
    DestroyWindow(wnd);
    return text;
}

TEST(ShowTitleStateTest, AppendsTheStateToTheCaptionUpToItsFirstDash) {
    const std::string caption = "IFS 감시 프로그램";
    const std::string a59(59, 'A');
    // 29 two-byte characters and one letter: 59 bytes.
    std::string korean59;
    for (int i = 0; i < 29; ++i)
        korean59 += "감";
    korean59 += "A";
    ASSERT_EQ(korean59.size(), 59u);
    struct Case {
        std::string caption;
        int8_t enabled;
        std::string title;
    } cases[] = {
        {caption, 1, caption + " - " + kOn},
        {caption, 0, caption + " - " + kOff},
        {caption + " - " + kOn, 0, caption + " - " + kOff},
        {caption + " - " + kOff, 1, caption + " - " + kOn},
        {caption + " - " + kOff, 0, caption + " - " + kOff},
        {"A-B-C", 1, "A- " + kOn},
        {"-", 0, "- " + kOff},
        {"", 1, " - " + kOn},
        {"x", 5, "x - " + kOn}, // any value but 0 is on
        // The longest title: 59 bytes of caption without a dash, the longer word.
        {a59, 0, a59 + " - " + kOff},
        {korean59, 0, korean59 + " - " + kOff},
        // Only 59 bytes of a longer caption count.
        {std::string(70, 'B'), 0, std::string(59, 'B') + " - " + kOff},
        {std::string(59, 'C') + "-D", 1, std::string(59, 'C') + " - " + kOn},
        {std::string(57, 'E') + "-F", 0, std::string(57, 'E') + "- " + kOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("caption \"" + c.caption + "\", state " + std::to_string(c.enabled));
        EXPECT_EQ(TitleAfter(c.caption, c.enabled), c.title);
    }
}

} // namespace
