// The options dialog run from its real template and driven with real
// messages: what it shows, what its buttons do, what OK stores in memory and
// in the settings file, and that cancel stores nothing.
#include "options_driver.h"

#include "res/resource_ids.h"
#include "ui/options_dlg.h"

#include <string>
#include <vector>

namespace {

const char kAllOn[] = "111111111111111111111111111111";
const char kAllOff[] = "000000000000000000000000000000";
const char kMixed[] = "101100111000011110100000101011";
// Open, FindOpen, Search and FileAttrib.
const char kLookedFor[] = "000000000000000001001010000010";

DlgView ExpectedView(const Settings& s) {
    DlgView v;
    for (int i = 0; i < kIfsFuncCount; ++i) {
        v.funcs[i] = s.enable[i] == 1;
    }
    v.rowText = std::to_string(s.rows);
    for (int i = 0; i < 3; ++i) {
        v.results[i] = s.result == i;
    }
    v.monitorOn = s.monitorOn == 1;
    return v;
}

void ClickAll(HWND dlg, const std::vector<int>& ids) {
    for (int id : ids) {
        Click(dlg, id);
    }
}

TEST_F(OptionsDlgTest, ShowsTheSettingsInMemoryNotTheFile) {
    WriteConfig("IfsFncMonEnaFg", "010101010101010101010101010101");
    WriteConfig("MaxViewLineQty", "77");
    WriteConfig("ResultMonFg", "1");
    WriteConfig("EnaMonitorFg", "0");
    const Settings cases[] = {
        {EnableBytes(kMixed), 200, 0, 1},
        {EnableBytes(kAllOff), 1, 1, 0},
        {EnableBytes(kLookedFor), 2147483647, 2, 1},
        {EnableBytes(kAllOn), 350, 5, 0},  // result filter edited by hand
        {EnableBytes(kAllOn), 350, -1, 1}, // stored after OK without a choice
        {EnableBytes(kAllOn), 350, 3, 1},
    };
    for (const Settings& s : cases) {
        SCOPED_TRACE(::testing::Message() << s);
        SetSettingsInMemory(s);
        DlgView shown;
        INT_PTR result = RunOptionsDialog([&](HWND dlg) {
            shown = ReadView(dlg);
            Click(dlg, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(shown, ExpectedView(s));
        EXPECT_EQ(SettingsInMemory(), s);
    }
}

TEST_F(OptionsDlgTest, ButtonsChangeOnlyTheControls) {
    const Settings start{EnableBytes(kMixed), 123, 1, 0};
    struct Case {
        const char* name;
        std::vector<int> clicks;
        const char* boxes;
        int result;
    } cases[] = {
        {"all on", {IDC_ALL_ON}, kAllOn, 1},
        {"all off", {IDC_ALL_OFF}, kAllOff, 1},
        {"looked-for preset", {IDC_LOOKED_FOR}, kLookedFor, 2},
        {"preset after all on", {IDC_ALL_ON, IDC_LOOKED_FOR}, kLookedFor, 2},
        {"all on after preset", {IDC_LOOKED_FOR, IDC_ALL_ON}, kAllOn, 2},
        {"all off keeps the result button", {IDC_RESULT_ALL, IDC_ALL_OFF}, kAllOff, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetSettingsInMemory(start);
        DlgView shown;
        RunOptionsDialog([&](HWND dlg) {
            ClickAll(dlg, c.clicks);
            shown = ReadView(dlg);
            Click(dlg, IDCANCEL);
        });
        DlgView expected = ExpectedView({EnableBytes(c.boxes), 123, int8_t(c.result), 0});
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(SettingsInMemory(), start);
    }
}

TEST_F(OptionsDlgTest, AllOnThenCancelKeepsMemoryAndFile) {
    const Settings start{EnableBytes(kMixed), 40, 2, 1};
    SetSettingsInMemory(start);
    WriteConfig("IfsFncMonEnaFg", kMixed);
    WriteConfig("MaxViewLineQty", "40");
    WriteConfig("ResultMonFg", "2");
    WriteConfig("EnaMonitorFg", "1");
    const std::vector<std::string> before = ConfigLines();
    bool allShownOn = false;
    INT_PTR result = RunOptionsDialog([&](HWND dlg) {
        Click(dlg, IDC_ALL_ON);
        allShownOn = ReadView(dlg).funcs == ExpectedView({EnableBytes(kAllOn), 1, 0, 0}).funcs;
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(allShownOn);
    EXPECT_EQ(SettingsInMemory(), start);
    EXPECT_EQ(ConfigLines(), before);
}

TEST_F(OptionsDlgTest, PresetThenOkStoresTheLookedForFunctions) {
    SetSettingsInMemory({EnableBytes(kAllOn), 350, 0, 0});
    INT_PTR result = RunOptionsDialog([](HWND dlg) {
        Click(dlg, IDC_LOOKED_FOR);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(SettingsInMemory(), (Settings{EnableBytes(kLookedFor), 350, 2, 0}));
    EXPECT_EQ(IniText("IfsFncMonEnaFg"), kLookedFor);
    EXPECT_EQ(IniText("MaxViewLineQty"), "350");
    EXPECT_EQ(IniText("ResultMonFg"), "2");
    EXPECT_EQ(IniText("EnaMonitorFg"), "0");
}

TEST_F(OptionsDlgTest, OkStoresTheCheckedBoxes) {
    struct Case {
        const char* start;
        std::vector<int> clicks;
        const char* stored;
    } cases[] = {
        {kMixed, {IDC_ALL_OFF}, kAllOff},
        {kAllOff, {IDC_ALL_ON}, kAllOn},
        {kMixed, {}, kMixed},
        {kAllOn,
         {IDC_FUNC_FIRST, IDC_FUNC_LAST, IDC_FUNC_FIRST + 17},
         "011111111111111110111111111110"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        SetSettingsInMemory({EnableBytes(c.start), 200, 0, 1});
        RunOptionsDialog([&](HWND dlg) {
            ClickAll(dlg, c.clicks);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(SettingsInMemory().enable, EnableBytes(c.stored));
        EXPECT_EQ(IniText("IfsFncMonEnaFg"), c.stored);
    }
}

TEST_F(OptionsDlgTest, RowLimitThatIsNotAPositiveNumberStoresOne) {
    struct Case {
        const char* typed;
        int32_t stored;
        const char* written;
    } cases[] = {
        {"0", 1, "1"},
        {"-5", 1, "1"},
        {"-2147483648", 1, "1"},
        {"abc", 1, "1"},
        {"", 1, "1"},
        {"2147483648", 1, "1"},
        {"4294967295", 1, "1"},
        {"99999999999", 1, "1"},
        {"1", 1, "1"},
        {"350", 350, "350"},
        {"2147483647", 2147483647, "2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        MaxViewLineQty = 200;
        RunOptionsDialog([&](HWND dlg) {
            SetDlgItemTextA(dlg, IDC_ROW_LIMIT, c.typed);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(MaxViewLineQty, c.stored);
        EXPECT_EQ(IniText("MaxViewLineQty"), c.written);
    }
}

TEST_F(OptionsDlgTest, ResultFilterStoresTheCheckedButtonOrMinusOne) {
    struct Case {
        int8_t loaded;
        std::vector<int> clicks;
        uint8_t stored;
        const char* written;
    } cases[] = {
        {5, {}, 0xFF, "-1"},           {5, {IDC_RESULT_FAILED}, 2, "2"}, {0, {}, 0, "0"},
        {1, {IDC_RESULT_ALL}, 0, "0"}, {2, {IDC_RESULT_OK}, 1, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "loaded " << int(c.loaded));
        ResultMonFg = c.loaded;
        RunOptionsDialog([&](HWND dlg) {
            ClickAll(dlg, c.clicks);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(static_cast<uint8_t>(ResultMonFg), c.stored);
        EXPECT_EQ(IniText("ResultMonFg"), c.written);
    }
}

TEST_F(OptionsDlgTest, ReopeningShowsWhatOkStored) {
    SetSettingsInMemory({EnableBytes(kMixed), 200, 0, 1});
    DlgView beforeOk;
    RunOptionsDialog([&](HWND dlg) {
        ClickAll(dlg, {IDC_FUNC_FIRST + 1, IDC_FUNC_FIRST + 12, IDC_RESULT_OK, IDC_MONITOR_ON});
        SetDlgItemTextA(dlg, IDC_ROW_LIMIT, "64");
        beforeOk = ReadView(dlg);
        Click(dlg, IDOK);
    });
    DlgView reopened;
    RunOptionsDialog([&](HWND dlg) {
        reopened = ReadView(dlg);
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(reopened, beforeOk);
    std::string boxes = kMixed;
    boxes[1] ^= 1; // '0' <-> '1'
    boxes[12] ^= 1;
    EXPECT_EQ(SettingsInMemory(), (Settings{EnableBytes(boxes.c_str()), 64, 1, 0}));
}

TEST_F(OptionsDlgTest, OkWritesTheFourSettingsInOrder) {
    SetSettingsInMemory({EnableBytes(kMixed), 200, 1, 1});
    RunOptionsDialog([](HWND dlg) { Click(dlg, IDOK); });
    const std::vector<std::string> expected = {
        std::string("IfsFncMonEnaFg=") + kMixed,
        "MaxViewLineQty=200",
        "ResultMonFg=1",
        "EnaMonitorFg=1",
    };
    EXPECT_EQ(ConfigLines(), expected);
}

TEST_F(OptionsDlgTest, EveryWayOfClosingGivesItsResult) {
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
        INT_PTR result;
    } cases[] = {
        {"입력", [](HWND dlg) { Click(dlg, IDOK); }, IDOK},
        {"취소", [](HWND dlg) { Click(dlg, IDCANCEL); }, IDCANCEL},
        {"close box", [](HWND dlg) { SendMessageA(dlg, WM_CLOSE, 0, 0); }, IDCANCEL},
        {"Esc key", [](HWND dlg) { PostMessageA(dlg, WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
        {"Enter key", [](HWND dlg) { PostMessageA(dlg, WM_KEYDOWN, VK_RETURN, 0); }, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(path_.c_str());
        SetSettingsInMemory({EnableBytes(kAllOn), 200, 0, 1});
        INT_PTR result = RunOptionsDialog([&](HWND dlg) {
            Click(dlg, IDC_FUNC_FIRST); // a change that only OK keeps
            c.close(dlg);
        });
        EXPECT_EQ(result, c.result);
        bool stored = c.result == IDOK;
        EXPECT_EQ(IfsFncMonEnaFg[0], stored ? 0 : 1);
        EXPECT_EQ(ConfigLines().empty(), !stored);
    }
}

TEST_F(OptionsDlgTest, ProcedureResultsAndCommandIds) {
    SetSettingsInMemory({EnableBytes(kAllOff), 200, 0, 1});
    struct Case {
        UINT msg;
        WPARAM wParam;
        INT_PTR result;
    } cases[] = {
        {WM_COMMAND, 999, TRUE},
        {WM_COMMAND, MAKEWPARAM(IDC_ROW_LIMIT, EN_CHANGE), TRUE},
        {WM_COMMAND, MAKEWPARAM(IDC_RESULT_OK, BN_CLICKED), TRUE},
        {WM_MOUSEMOVE, 0, FALSE},
        {WM_TIMER, 5, FALSE},
        {WM_USER, 0, FALSE},
    };
    bool allOn = false;
    DlgView untouched;
    DlgView afterCommands;
    RunOptionsDialog([&](HWND dlg) {
        untouched = ReadView(dlg);
        for (const Case& c : cases) {
            EXPECT_EQ(OptionsDlgProc(dlg, c.msg, c.wParam, 0), c.result)
                << "message " << c.msg << " wParam " << c.wParam;
        }
        afterCommands = ReadView(dlg);
        // The notification code in the high word is not looked at.
        EXPECT_EQ(OptionsDlgProc(dlg, WM_COMMAND, MAKEWPARAM(IDC_ALL_ON, 0x1234), 0), TRUE);
        allOn = ReadView(dlg).funcs == ExpectedView({EnableBytes(kAllOn), 1, 0, 0}).funcs;
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(afterCommands, untouched);
    EXPECT_TRUE(allOn);
}

} // namespace
