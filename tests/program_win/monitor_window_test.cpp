// The monitor window made from its real template with MonitorDlgProc and run
// with real messages through the program's loop: its system menu, commands,
// Enter toggle, columns, close sequence, the missing and the refusing driver,
// and the rows that records become.
#include "monitor_env.h"

#include <commctrl.h>

#include <algorithm>
#include <ostream>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "res/resource_ids.h"
#include "settings/monitor_settings.h"
#include "ui/monitor_dlg.h"

namespace {

const char kAllOn[] = "111111111111111111111111111111";
// Open, FindOpen, Search and FileAttrib.
const char kLookedFor[] = "000000000000000001001010000010";

// ---- System menu -----------------------------------------------------------

struct MenuItem {
    UINT id;
    std::string text;
    UINT type;
    bool operator==(const MenuItem& o) const {
        return id == o.id && text == o.text && type == o.type;
    }
};
std::ostream& operator<<(std::ostream& out, const MenuItem& m) {
    return out << "{" << m.id << " \"" << m.text << "\" type " << m.type << "}";
}

std::vector<MenuItem> MenuItems(HMENU menu) {
    std::vector<MenuItem> items;
    const int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        char text[128] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back({separator ? 0 : info.wID, separator ? "" : text, info.fType});
    }
    return items;
}

TEST_F(MonitorTest, SystemMenuGainsClearAndOptionsBeforeClose) {
    ASSERT_NE(Create(), nullptr);
    const std::vector<MenuItem> items = MenuItems(GetSystemMenu(window_, FALSE));
    GetSystemMenu(window_, TRUE); // back to the system's own menu
    const std::vector<MenuItem> plain = MenuItems(GetSystemMenu(window_, FALSE));
    // Wine may add its own entries after Close: the three go right before it.
    auto close = std::find_if(plain.begin(), plain.end(),
                              [](const MenuItem& m) { return m.id == SC_CLOSE; });
    ASSERT_NE(close, plain.end());
    std::vector<MenuItem> expected(plain.begin(), close);
    expected.push_back({101, "화면 지우기", MFT_STRING});
    expected.push_back({102, "옵션 설정", MFT_STRING});
    expected.push_back({0, "", MFT_SEPARATOR});
    expected.insert(expected.end(), close, plain.end());
    EXPECT_EQ(items, expected);
}

// ---- Start -----------------------------------------------------------------

TEST_F(MonitorTest, StartOpensPushesTheFileSettingsAndShowsTheState) {
    struct Case {
        const char* name;
        const char* result; // [Config] values, null: missing
        const char* enable;
        const char* enables;
        std::vector<std::string> push;
        const char* title;
    } cases[] = {
        {"no settings", nullptr, nullptr, nullptr, PushTrace(0, 1, kAllOn), kTitleOn},
        {"looked-for files, off", "2", "0", kLookedFor, PushTrace(2, 0, kLookedFor), kTitleOff},
        {"successful calls, on", "1", "1", "0101",
         PushTrace(1, 1, (std::string("0101") + std::string(26, '1')).c_str()), kTitleOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteIni("Config", "ResultMonFg", c.result);
        WriteIni("Config", "EnaMonitorFg", c.enable);
        WriteIni("Config", "IfsFncMonEnaFg", c.enables);
        const Mark start = Now();
        ASSERT_NE(Create(), nullptr);
        EXPECT_EQ(TraceSince(start, Threads::WindowOnly), Concat({"open ok"}, c.push));
        EXPECT_EQ(Title(window_), c.title);
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

// ---- Clear and options -----------------------------------------------------

// A call on drive C:, local, with names in the ANSI set.
IfsCall LocalCall(int32_t func, int32_t result, const char* path1 = "", const char* path2 = "") {
    IfsCall r{};
    r.func = func;
    r.drive = 3;
    r.resType = 0x10;
    r.result = result;
    r.path1 = path1;
    r.path2 = path2;
    return r;
}

// An OPEN whose handle and name carry its sequence number.
IfsCall SeqRec(int seq) {
    IfsCall r = LocalCall(36, 0, ("C:\\SEQ\\" + std::to_string(seq)).c_str());
    r.sfn = static_cast<uint16_t>(seq);
    return r;
}

// The Data texts of rows made from SeqRec(first..last); below 10 the handle
// reads the same in hexadecimal.
std::vector<std::string> SeqData(int first, int last) {
    std::vector<std::string> data;
    for (int i = first; i <= last; ++i)
        data.push_back(std::to_string(i) + ", C:\\SEQ\\" + std::to_string(i));
    return data;
}

std::vector<std::string> DataColumn(HWND monitor) {
    std::vector<std::string> data;
    for (const auto& row : AllRows(monitor))
        data.push_back(row[5]);
    return data;
}

// Delivers the records and runs the loop until all are back with the driver.
void Deliver(int first, int last) {
    const uint32_t before = SimGetCounters().released;
    for (int i = first; i <= last; ++i)
        ASSERT_EQ(Inject(SeqRec(i)), SimInjectResult::Delivered) << i;
    const uint32_t want = before + static_cast<uint32_t>(last - first + 1);
    EXPECT_TRUE(RunLoopUntil([want] { return SimGetCounters().released == want; }));
}

TEST_F(MonitorTest, ClearCommandEmptiesTheListAndTheListGoesOn) {
    ASSERT_NE(Create(), nullptr);
    Deliver(1, 3);
    ASSERT_EQ(RowCount(window_), 3);
    const Mark before = Now();
    SendMessageA(window_, WM_SYSCOMMAND, 101, 0);
    EXPECT_EQ(RowCount(window_), 0);
    EXPECT_EQ(TraceSince(before), std::vector<std::string>{}) << "clearing involves no one else";
    Deliver(4, 4);
    EXPECT_EQ(DataColumn(window_), SeqData(4, 4));
}

TEST_F(MonitorTest, OptionsCommandPushesTheSettingsOnlyAfterOk) {
    struct Case {
        const char* name;
        std::vector<int> clicks;
        int button;
        std::vector<std::string> trace; // from the command on
    } cases[] = {
        {"preset, then 입력",
         {IDC_LOOKED_FOR},
         IDOK,
         Concat({"write IfsFncMonEnaFg=" + std::string(kLookedFor), "write MaxViewLineQty=200",
                 "write ResultMonFg=2", "write EnaMonitorFg=1"},
                PushTrace(2, 1, kLookedFor))},
        {"monitoring off, then 입력",
         {IDC_MONITOR_ON},
         IDOK,
         Concat({"write IfsFncMonEnaFg=" + std::string(kAllOn), "write MaxViewLineQty=200",
                 "write ResultMonFg=0", "write EnaMonitorFg=0"},
                PushTrace(0, 0, kAllOn))},
        {"all off, then 취소", {IDC_ALL_OFF}, IDCANCEL, {}},
        {"취소 at once", {}, IDCANCEL, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(Create(), nullptr);
        std::string ok, cancel;
        HWND owner = nullptr;
        StartScript({[&] {
            HWND dlg = FindThreadDialog();
            if (dlg == nullptr)
                return false;
            owner = GetWindow(dlg, GW_OWNER);
            char text[32];
            GetDlgItemTextA(dlg, IDOK, text, sizeof text);
            ok = text;
            GetDlgItemTextA(dlg, IDCANCEL, text, sizeof text);
            cancel = text;
            for (int id : c.clicks)
                SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0);
            SendDlgItemMessageA(dlg, c.button, BM_CLICK, 0, 0);
            return true;
        }});
        const Mark before = Now();
        SendMessageA(window_, WM_SYSCOMMAND, 102, 0);
        EXPECT_TRUE(ScriptDone()) << "the options dialog did not come up";
        StopScript();
        EXPECT_EQ(owner, window_);
        EXPECT_EQ(ok, "입력");
        EXPECT_EQ(cancel, "취소");
        EXPECT_EQ(TraceSince(before), c.trace);
        EXPECT_EQ(Title(window_), kTitleOn) << "the title changes only at the next toggle";
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

// ---- Enter -----------------------------------------------------------------

TEST_F(MonitorTest, EnterTogglesMonitoringInMemoryOnly) {
    struct Way {
        const char* name;
        UINT msg;
        WPARAM wParam;
        bool post;
        int target; // 0: the window, else that control
        bool toggles;
    } ways[] = {
        {"Enter key in the window", WM_KEYDOWN, VK_RETURN, true, 0, true},
        {"Enter key in the list", WM_KEYDOWN, VK_RETURN, true, IDC_CALL_LIST, true},
        {"WM_COMMAND IDOK", WM_COMMAND, IDOK, false, 0, true},
        {"IDOK with a notification code", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), false, 0, true},
        {"another command", WM_COMMAND, 3, false, 0, false},
    };
    struct Start {
        const char* stored; // EnaMonitorFg in the file, null: missing
        int value;          // as loaded
    } starts[] = {{"1", 1}, {"0", 0}, {nullptr, 1}};

    for (const Way& w : ways) {
        for (const Start& s : starts) {
            SCOPED_TRACE(std::string(w.name) + ", file " + (s.stored ? s.stored : "<none>"));
            WriteIni("Config", "EnaMonitorFg", s.stored);
            ASSERT_NE(Create(), nullptr);
            HWND target = w.target == 0 ? window_ : GetDlgItem(window_, w.target);
            int value = s.value;
            for (int press = 0; press < 2; ++press) {
                const std::string before = Title(window_);
                const Mark mark = Now();
                if (w.post) {
                    PostMessageA(target, w.msg, w.wParam, 0);
                    RunLoopUntil([&] { return Title(window_) != before; }, w.toggles ? 2000 : 100);
                } else {
                    SendMessageA(target, w.msg, w.wParam, 0);
                }
                if (w.toggles)
                    value ^= 1;
                const std::vector<std::string> sent =
                    w.toggles
                        ? std::vector<std::string>{"window ctl 3 " + std::to_string(value) + " ok"}
                        : std::vector<std::string>{};
                EXPECT_EQ(TraceSince(mark), sent) << "press " << press;
                EXPECT_EQ(Title(window_), value ? kTitleOn : kTitleOff) << "press " << press;
                EXPECT_EQ(EnaMonitorFg, value);
            }
            EXPECT_EQ(IniText("Config", "EnaMonitorFg"), s.stored ? s.stored : "<none>");
            EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
            NextCase();
        }
    }
}

// ---- Columns ---------------------------------------------------------------

TEST_F(MonitorTest, ColumnsTakeTheSavedWidthsOrTheirDefaults) {
    const int d[6] = {ExpectedDluX(50), ExpectedDluX(15), ExpectedDluX(20),
                      ExpectedDluX(20), ExpectedDluX(30), ExpectedDluX(600)};
    struct Case {
        const char* stored; // null: no file
        std::vector<int> widths;
    } cases[] = {
        {nullptr, {d[0], d[1], d[2], d[3], d[4], d[5]}},
        {"80 -5 abc", {80, d[1], d[2], d[3], d[4], d[5]}},
        {"75 22 30 30 45 900 ", {75, 22, 30, 30, 45, 900}},
        {"1 2 3", {1, 2, 3, d[3], d[4], d[5]}},
        {"0 0 0 0 0 0 ", {d[0], d[1], d[2], d[3], d[4], d[5]}},
        {"", {d[0], d[1], d[2], d[3], d[4], d[5]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "<no file>");
        if (c.stored != nullptr)
            WriteIni("Config", "ColWidths", c.stored);
        ASSERT_NE(Create(), nullptr);
        EXPECT_EQ(ColumnWidths(window_), c.widths);

        std::vector<std::string> titles;
        std::vector<int> formats;
        for (int col = 0; col < 6; ++col) {
            char text[32] = "";
            LVCOLUMNA info = {};
            info.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
            info.pszText = text;
            info.cchTextMax = sizeof text;
            SendDlgItemMessageA(window_, IDC_CALL_LIST, LVM_GETCOLUMNA, col,
                                reinterpret_cast<LPARAM>(&info));
            titles.push_back(text);
            formats.push_back((info.fmt & LVCFMT_JUSTIFYMASK) * 10 + info.iSubItem);
        }
        EXPECT_EQ(titles, (std::vector<std::string>{"Function", "Drive", "ResType", "CodePage",
                                                    "Result", "Data"}));
        // Left-aligned, sub-item = column.
        EXPECT_EQ(formats, (std::vector<int>{0, 1, 2, 3, 4, 5}));
        const LRESULT ex =
            SendDlgItemMessageA(window_, IDC_CALL_LIST, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        EXPECT_EQ(ex & LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

// ---- Close -----------------------------------------------------------------

std::string WidthsText(const std::vector<int>& widths) {
    std::string text;
    for (int w : widths)
        text += std::to_string(w) + " ";
    return text;
}

TEST_F(MonitorTest, CloseSavesWidthsStopsTheListenerClosesTheDeviceAndEndsTheLoop) {
    struct Way {
        const char* name;
        UINT msg;
        WPARAM wParam;
        bool post;
    } ways[] = {
        {"IDCANCEL", WM_COMMAND, IDCANCEL, false},
        {"WM_CLOSE", WM_CLOSE, 0, false},
        {"Esc key", WM_KEYDOWN, VK_ESCAPE, true},
        {"close box", WM_SYSCOMMAND, SC_CLOSE, false},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        ASSERT_NE(Create(), nullptr);
        ASSERT_TRUE(SimRegistered());
        // The widths saved are the list's own at the moment of closing.
        SendDlgItemMessageA(window_, IDC_CALL_LIST, LVM_SETCOLUMNWIDTH, 2, 77);
        const std::vector<int> widths = ColumnWidths(window_);
        ASSERT_EQ(widths[2], 77);
        const std::string saved = WidthsText(widths);

        const Mark before = Now();
        EXPECT_EQ(CloseWith(w.msg, w.wParam, w.post), 0);
        EXPECT_EQ(TraceSince(before),
                  (std::vector<std::string>{"write ColWidths=" + saved, "listener ctl 1 0 ok",
                                            "window ctl 1 0 ok", "window close ok",
                                            "destroy, listener ended"}));
        EXPECT_FALSE(IsWindow(window_));
        EXPECT_EQ(MonitorWnd, nullptr);
        EXPECT_EQ(DeviceHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(IniText("Config", "ColWidths"), saved);
        NextCase();
    }
}

// ---- The driver fails ------------------------------------------------------

TEST_F(MonitorTest, MissingDriverShowsABoxClosesAndKeepsTheSavedWidths) {
    const char kSaved[] = "75 22 30 30 45 900";
    WriteIni("Config", "ColWidths", kSaved);
    SimSetMissing(true);
    BoxSeen box;
    StartScript({AnswerBox(&box)});
    const Mark before = Now();
    ASSERT_NE(Create(), nullptr);
    EXPECT_TRUE(RunLoopUntil([] { return QuitCode != -1; }));
    EXPECT_EQ(QuitCode, 0);
    EXPECT_EQ(TraceSince(before),
              (std::vector<std::string>{"open failed",
                                        "box " + std::string(kDriverMissingText) + "|" + kCaption +
                                            "|0x2030|monitor",
                                        "window ctl 1 0 failed", "destroy, listener none"}));
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.texts, std::vector<std::string>{kDriverMissingText});
    EXPECT_TRUE(box.exclamation);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(MonitorWnd, nullptr);
    EXPECT_EQ(IniText("Config", "ColWidths"), kSaved);
}

TEST_F(MonitorTest, RefusedRegistrationShowsNoRowsAndStillCloses) {
    SimSetRefuse(true);
    ASSERT_NE(Create(), nullptr);
    ASSERT_NE(ListenerHandle, nullptr);
    ASSERT_EQ(WaitForSingleObject(ListenerHandle, 2000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(ListenerHandle, &code);
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(Inject(SeqRec(1)), SimInjectResult::NotListening);
    RunLoopFor(50);
    EXPECT_EQ(RowCount(window_), 0);
    EXPECT_EQ(SimGetCounters().delivered, 0u);

    const std::string saved = WidthsText(ColumnWidths(window_));
    const Mark before = Now();
    EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
    EXPECT_EQ(TraceSince(before),
              (std::vector<std::string>{"write ColWidths=" + saved, "window ctl 1 0 ok",
                                        "window close ok", "destroy, listener ended"}));
    EXPECT_EQ(MonitorWnd, nullptr);
}

// ---- Rows ------------------------------------------------------------------

TEST_F(MonitorTest, RecordsBecomeRowsAndEachGoesBackOnce) {
    IfsCall open = LocalCall(36, 2, "C:\\DATA\\A.TXT"); // a file that is not there
    open.sfn = 0x5A;
    const IfsCall rename = LocalCall(37, 5, "C:\\A.TXT", "C:\\B.TXT");
    IfsCall read = LocalCall(0, 0);
    read.sfn = 0x5A;
    read.length = 0x200;
    read.pos = 0x1000;
    read.data = 0x4000;
    read.options = 0x0100;
    IfsCall seek = LocalCall(10, 0);
    seek.flags = 2;
    seek.sfn = 0x5A;
    IfsCall odd = LocalCall(5, 40); // no function of the table, an unnamed result
    odd.drive = -1;
    odd.resType = 0x09;
    odd.codePage = 1;
    IfsCall korean = LocalCall(33, 2, "D:\\문서\\보고서.HWP");
    korean.drive = 4;

    const IfsCall records[] = {open, rename, read, seek, odd, korean};
    const std::vector<std::vector<std::string>> expected = {
        {"OPEN", "C:", "LCL", "ANSI", "FileNotFound", "5A, C:\\DATA\\A.TXT"},
        {"RENAME", "C:", "LCL", "ANSI", "AccessDenied", "C:\\A.TXT, C:\\B.TXT"},
        {"READ", "C:", "LCL", "ANSI", "Ok", "5A 200 bytes at 1000 into 00004000, NO_CACHE"},
        {"SEEK", "C:", "LCL", "ANSI", "Ok", "5A to 0 from END"},
        {"5<unknown>", "?:", "UNC, NET", "OEM", "UnknownError-40", ""},
        {"FILEATTRIB", "D:", "LCL", "ANSI", "FileNotFound", "D:\\문서\\보고서.HWP"},
    };

    ASSERT_NE(Create(), nullptr);
    const Mark before = Now();
    for (const IfsCall& r : records)
        ASSERT_EQ(Inject(r), SimInjectResult::Delivered);
    EXPECT_TRUE(RunLoopUntil([] { return SimGetCounters().released == 6; }));
    EXPECT_EQ(AllRows(window_), expected);

    const SimCounters counters = SimGetCounters();
    EXPECT_EQ(counters.delivered, 6u);
    EXPECT_EQ(counters.released, 6u);
    EXPECT_EQ(counters.outstanding, 0u);
    EXPECT_EQ(counters.badReleases, 0u);
    EXPECT_EQ(TraceSince(before), std::vector<std::string>(6, "window ctl 2 record ok"));
}

TEST_F(MonitorTest, ListKeepsTheNewestRowsUpToTheFileLimit) {
    struct Case {
        const char* stored; // MaxViewLineQty, null: missing (200)
        int delivered;
        int firstKept;
    } cases[] = {
        {"3", 5, 3},  {"1", 3, 3},     {"0", 2, 2}, // raised to 1
        {"-7", 2, 2}, {nullptr, 6, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "<none>");
        WriteIni("Config", "MaxViewLineQty", c.stored);
        ASSERT_NE(Create(), nullptr);
        Deliver(1, c.delivered);
        EXPECT_EQ(DataColumn(window_), SeqData(c.firstKept, c.delivered));
        const SimCounters counters = SimGetCounters();
        EXPECT_EQ(counters.released, static_cast<uint32_t>(c.delivered));
        EXPECT_EQ(counters.badReleases, 0u);
        EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);
        NextCase();
    }
}

} // namespace
