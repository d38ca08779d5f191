#include "ui/render_call_row.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver_link.h"
#include "event/call_row_texts.h"
#include "fake_device.h"
#include "settings/monitor_settings.h"
#include "trace/call_trace.h"
#include "window_read.h"

namespace {

// Records are handed to the driver as 32-bit addresses: they live in static
// storage, which lies below 4 GB in these test images.
alignas(8) uint8_t gTraceRecords[48][kIfsCallRecMax];
int gTraceRecordsUsed = 0;
IfsCallRec gOpenRecords[256]; // OPEN with ir_sfn = index

const IfsCallRec* StaticRecord(const std::string& line) {
    const TraceLineResult r = ParseTraceLine(line, 1);
    EXPECT_EQ(r.kind, TraceLineKind::Record) << r.error;
    uint8_t* slot = gTraceRecords[gTraceRecordsUsed++ % 48];
    std::memset(slot, 0, kIfsCallRecMax);
    std::memcpy(slot, r.record.data(), r.record.size());
    return reinterpret_cast<const IfsCallRec*>(slot);
}

const IfsCallRec* OpenRecord(int sfn) {
    IfsCallRec* rec = &gOpenRecords[sfn];
    rec->Func = 36;
    rec->Drive = 3;
    rec->Req[26 - 20] = static_cast<uint8_t>(sfn);
    return rec;
}

LPARAM Address(const IfsCallRec* rec) {
    return reinterpret_cast<LPARAM>(rec);
}
DWORD Address32(const IfsCallRec* rec) {
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(rec));
}

// List-view messages as they reach the list, with the LVITEM fields that were
// set; any field left over from before the record was cleared shows as "dirty".
bool gRecording = false;
bool gFailInsert = false;
WNDPROC gListProc = nullptr;

std::string ItemFields(const LVITEMA* item, bool withRow) {
    LVITEMA rest = *item;
    rest.mask = 0;
    rest.iItem = 0;
    rest.iSubItem = 0;
    rest.pszText = nullptr;
    rest.lParam = 0;
    LVITEMA zero;
    std::memset(&zero, 0, sizeof zero);
    std::string s;
    if (withRow)
        s += " item=" + std::to_string(item->iItem);
    s += " sub=" + std::to_string(item->iSubItem) + " mask=" + std::to_string(item->mask);
    if (item->mask & LVIF_PARAM)
        s += " param=" + std::to_string(item->lParam);
    s += " text=" + std::string(item->pszText);
    if (std::memcmp(&rest, &zero, sizeof zero) != 0 || (!withRow && item->iItem != 0))
        s += " dirty";
    return s;
}

LRESULT CALLBACK RecordingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (gRecording && message >= LVM_FIRST && message < LVM_FIRST + 0x100) {
        const LVITEMA* item = reinterpret_cast<const LVITEMA*>(lParam);
        switch (message) {
        case LVM_GETITEMCOUNT:
            CallLog.push_back("count");
            break;
        case LVM_DELETEITEM:
            CallLog.push_back("delete " + std::to_string(wParam));
            break;
        case LVM_INSERTITEMA:
            CallLog.push_back("insert" + ItemFields(item, true));
            if (gFailInsert)
                return -1;
            break;
        case LVM_SETITEMTEXTA:
            CallLog.push_back("settext " + std::to_string(wParam) + ItemFields(item, false));
            break;
        case LVM_ENSUREVISIBLE:
            CallLog.push_back("show " + std::to_string(wParam) + " " + std::to_string(lParam));
            break;
        default:
            CallLog.push_back("other LVM " + std::to_string(message - LVM_FIRST));
            break;
        }
    }
    return CallWindowProcA(gListProc, list, message, wParam, lParam);
}

int gAllocFailures = 0; // allocations still to fail

HLOCAL WINAPI WatchedAlloc(UINT flags, SIZE_T bytes) {
    CallLog.push_back("alloc " + std::to_string(flags) + " " + std::to_string(bytes));
    if (gAllocFailures > 0) {
        --gAllocFailures;
        return nullptr;
    }
    return LocalAlloc(flags, bytes);
}

class RenderCallRowTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TalvekRowTestParent";
        RegisterClassA(&wc);
    }

    void SetUp() override {
        parent_ = CreateWindowExA(0, "TalvekRowTestParent", "rows", WS_OVERLAPPEDWINDOW, 0, 0, 800,
                                  400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        list_ = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 780,
                                380, parent_, reinterpret_cast<HMENU>(kCallListId),
                                GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(list_, nullptr);
        ASSERT_EQ(GetDlgItem(parent_, kCallListId), list_);
        const char* headers[kCallColumnCount] = {"Function", "Drive",  "ResType",
                                                 "CodePage", "Result", "Data"};
        for (int i = 0; i < kCallColumnCount; ++i) {
            LVCOLUMNA col = {};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            col.cx = 100;
            col.pszText = const_cast<char*>(headers[i]);
            col.iSubItem = i;
            ASSERT_EQ(SendMessageA(list_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col)), i);
        }
        gListProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingListProc)));
        RowScratchAlloc = WatchedAlloc;
        MaxViewLineQty = 200;
        gRecording = true;
        gFailInsert = false;
        gAllocFailures = 0;
        gTraceRecordsUsed = 0;
        DevCalls.clear();
        CallLog.clear();
    }

    void TearDown() override {
        gRecording = false;
        RowScratchAlloc = LocalAlloc;
        DestroyWindow(parent_);
    }

    void Render(const IfsCallRec* rec) { RenderCallRow(parent_, Address(rec)); }

    // Fills the list with rows whose Data texts are the hexadecimal numbers
    // 0 to count - 1, then forgets what was recorded.
    void FillRows(int count) {
        for (int i = 0; i < count; ++i)
            Render(OpenRecord(i));
        DevCalls.clear();
        CallLog.clear();
    }

    int RowCount() const { return ListItemCount(list_); }
    std::string CellText(int row, int column) const { return ListCellText(list_, row, column); }

    // The Data texts of all rows, joined by blanks.
    std::string DataColumn() const {
        std::string s;
        for (int row = 0; row < RowCount(); ++row)
            s += (row != 0 ? " " : "") + CellText(row, kColData);
        return s;
    }

    HWND parent_ = nullptr;
    HWND list_ = nullptr;
};

TEST(CodePage, ProcessRunsInTheKoreanCodePage) {
    EXPECT_EQ(GetACP(), 949u);
}

TEST_F(RenderCallRowTest, EveryColumnReadsBackAsBuilt) {
    const std::string longName(1000, 'L');
    struct Case {
        std::string line;
        const char* texts[kCallColumnCount];
    } cases[] = {
        {"func=0 drive=3 restype=0x10 sfn=0x5A length=0x200 pos=0x1000 data=0x4000 options=0x100",
         {"READ", "C:", "LCL", "ANSI", "Ok", "5A 200 bytes at 1000 into 00004000, NO_CACHE"}},
        {"func=36 drive=3 restype=0x10 sfn=0x5A result=2 path1=C:\\DATA\\A.TXT",
         {"OPEN", "C:", "LCL", "ANSI", "FileNotFound", "5A, C:\\DATA\\A.TXT"}},
        {"func=13 drive=3 restype=0x10 flags=1 sfn=0x5A aux2=0x10 pos=0x200 options=3",
         {"FILELOCKS", "C:", "LCL", "ANSI", "Ok", "UNLOCK, 5A 10 at 200, RD, NW"}},
        {"func=10 drive=3 restype=0x10 flags=7 sfn=0x5A pos=0x40",
         {"SEEK", "C:", "LCL", "ANSI", "Ok", "5A to 40 from "}},
        {"func=32 drive=3 restype=0x10 flags=9 length=0x20000000 path1=C:\\X",
         {"DIR", "C:", "LCL", "ANSI", "Ok", "C:\\X, , LONG_PATH"}},
        {"func=2 drive=3 restype=0x10 fh=0x1C3 result=18 path1=C:\\DATA\\A.TXT",
         {"FINDNEXT", "C:", "LCL", "ANSI", "NoMoreFiles", "C:\\DATA\\A.TXT, 000001C3"}},
        {"func=292 drive=-1 restype=0x98 codepage=1 sfn=0x5A result=-1",
         {"292<unknown>", "?:", "NET, LCL, CFSD", "OEM", "", ""}},
        {"func=-1 drive=26 result=183", {"-1<unknown>", "Z:", "", "ANSI", "UnknownError-183", ""}},
        {"func=38 drive=3 result=2 path1=C:\\\xC7\xD1\xB1\xDB.TXT",
         {"SEARCH", "C:", "", "ANSI", "FileNotFound", "C:\\\xC7\xD1\xB1\xDB.TXT"}},
    };
    for (const Case& c : cases)
        Render(StaticRecord(c.line));
    ASSERT_EQ(RowCount(), static_cast<int>(std::size(cases)));
    for (int row = 0; row < RowCount(); ++row) {
        for (int column = 0; column < kCallColumnCount; ++column)
            EXPECT_EQ(CellText(row, column), cases[row].texts[column])
                << cases[row].line << " column " << column;
    }

    // A second name too long for the scratch text arrives cut, not overrun.
    Render(StaticRecord("func=31 drive=3 path1=" + std::string(259, 'P') + " path2=" + longName));
    const std::string data = CellText(RowCount() - 1, kColData);
    EXPECT_EQ(data, std::string(259, 'P') + ", " + longName.substr(0, 518));
}

TEST_F(RenderCallRowTest, ListMessagesComeInTheirOrder) {
    struct Case {
        const char* name;
        int32_t limit;
        int rowsBefore;
        std::vector<std::string> log;
    } cases[] = {
        {"room left",
         200,
         2,
         {"alloc 0 780", "count", "count", "insert item=2 sub=0 mask=5 param=0 text=OPEN",
          "settext 2 sub=1 mask=1 text=C:", "settext 2 sub=2 mask=1 text=",
          "settext 2 sub=3 mask=1 text=ANSI", "settext 2 sub=4 mask=1 text=Ok",
          "settext 2 sub=5 mask=1 text=7", "show 2 0", "device 2"}},
        {"full",
         2,
         2,
         {"alloc 0 780", "count", "delete 0", "count",
          "insert item=1 sub=0 mask=5 param=0 text=OPEN", "settext 1 sub=1 mask=1 text=C:",
          "settext 1 sub=2 mask=1 text=", "settext 1 sub=3 mask=1 text=ANSI",
          "settext 1 sub=4 mask=1 text=Ok", "settext 1 sub=5 mask=1 text=7", "show 1 0",
          "device 2"}},
        {"empty list, limit 1",
         1,
         0,
         {"alloc 0 780", "count", "count", "insert item=0 sub=0 mask=5 param=0 text=OPEN",
          "settext 0 sub=1 mask=1 text=C:", "settext 0 sub=2 mask=1 text=",
          "settext 0 sub=3 mask=1 text=ANSI", "settext 0 sub=4 mask=1 text=Ok",
          "settext 0 sub=5 mask=1 text=7", "show 0 0", "device 2"}},
    };
    for (const Case& c : cases) {
        SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
        FillRows(c.rowsBefore);
        MaxViewLineQty = c.limit;
        Render(OpenRecord(7));
        EXPECT_EQ(CallLog, c.log) << c.name;
    }
}

TEST_F(RenderCallRowTest, FullListDropsTheOldestRow) {
    FillRows(200);
    ASSERT_EQ(RowCount(), 200);
    Render(OpenRecord(200 % 256));
    EXPECT_EQ(RowCount(), 200);
    EXPECT_EQ(CellText(0, kColData), "1");
    EXPECT_EQ(CellText(198, kColData), "C7");
    EXPECT_EQ(CellText(199, kColData), "C8");
}

TEST_F(RenderCallRowTest, LimitOfOneKeepsOnlyTheNewestRow) {
    MaxViewLineQty = 1;
    for (int i = 0; i < 4; ++i) {
        Render(OpenRecord(0x10 + i));
        EXPECT_EQ(DataColumn(), std::to_string(10 + i)) << i;
    }
}

// After the limit is lowered below the row count, each event trades one row
// for one: the count stays until the list is cleared.
TEST_F(RenderCallRowTest, LoweredLimitKeepsTheRowCount) {
    FillRows(6);
    MaxViewLineQty = 3;
    Render(OpenRecord(0xA));
    EXPECT_EQ(DataColumn(), "1 2 3 4 5 A");
    Render(OpenRecord(0xB));
    EXPECT_EQ(DataColumn(), "2 3 4 5 A B");
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < 5; ++i)
        Render(OpenRecord(i));
    EXPECT_EQ(DataColumn(), "2 3 4");
}

TEST_F(RenderCallRowTest, FailedScratchLeavesTheListAndStillHandsBack) {
    FillRows(3);
    MaxViewLineQty = 3;
    gAllocFailures = 1;
    const IfsCallRec* rec = OpenRecord(9);
    Render(rec);
    EXPECT_EQ(CallLog, (std::vector<std::string>{"alloc 0 780", "device 2"}));
    ASSERT_EQ(DevCalls.size(), 1u);
    EXPECT_EQ(DevCalls[0].code, static_cast<DWORD>(CTL_RELEASE_REC));
    EXPECT_EQ(DevCalls[0].value, Address32(rec));
    EXPECT_EQ(DataColumn(), "0 1 2");
    // The next event goes through as usual.
    Render(rec);
    EXPECT_EQ(DataColumn(), "1 2 9");
}

TEST_F(RenderCallRowTest, FailedInsertSkipsTextsAndScrollButHandsBack) {
    gFailInsert = true;
    const IfsCallRec* rec = OpenRecord(4);
    Render(rec);
    EXPECT_EQ(CallLog, (std::vector<std::string>{"alloc 0 780", "count", "count",
                                                 "insert item=0 sub=0 mask=5 param=0 text=OPEN",
                                                 "device 2"}));
    ASSERT_EQ(DevCalls.size(), 1u);
    EXPECT_EQ(DevCalls[0].value, Address32(rec));
}

TEST_F(RenderCallRowTest, EachRecordGoesBackOnceWithItsAddress) {
    std::vector<const IfsCallRec*> recs = {
        StaticRecord("func=0 sfn=1"),
        StaticRecord("func=37 path1=C:\\A path2=C:\\B"),
        OpenRecord(0x33),
        StaticRecord("func=5 result=99"),
    };
    MaxViewLineQty = 2;
    gAllocFailures = 0;
    for (const IfsCallRec* rec : recs) {
        ASSERT_LE(reinterpret_cast<ULONG_PTR>(rec), 0xFFFFFFFFu);
        Render(rec);
    }
    ASSERT_EQ(DevCalls.size(), recs.size());
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(DevCalls[i].code, static_cast<DWORD>(CTL_RELEASE_REC)) << i;
        EXPECT_EQ(DevCalls[i].inSize, 4u) << i;
        EXPECT_EQ(DevCalls[i].value, Address32(recs[i])) << i;
        EXPECT_TRUE(DevCalls[i].outNone) << i;
    }
    EXPECT_EQ(RowCount(), 2);
}

} // namespace
