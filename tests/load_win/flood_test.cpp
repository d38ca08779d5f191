// Records at the stand-in driver's full speed through the real monitor
// window: every record comes back exactly once, a refusing window queue
// costs no record, and closing in the middle of a burst ends cleanly.
#include "monitor_fixture.h"

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "event/call_row_texts.h"
#include "settings/monitor_settings.h"
#include "simdriver/sim_driver.h"

namespace {

using FloodTest = MonitorTest;

// The six texts that a record of SeqRecords gives.
std::vector<std::string> RowTexts(const std::vector<uint8_t>& record) {
    static char scratch[kCallColumnCount][kRowScratchSize];
    const char* texts[kCallColumnCount];
    CallRowTexts(reinterpret_cast<const IfsCallRec*>(record.data()), texts, scratch);
    return std::vector<std::string>(texts, texts + kCallColumnCount);
}

void ExpectAllBackOnce(uint32_t count) {
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, count);
    EXPECT_EQ(c.released, count);
    EXPECT_EQ(c.badReleases, 0u); // nothing handed back twice or made up
    EXPECT_EQ(c.outstanding, 0u);
    EXPECT_EQ(c.poolEmpty, 0u);
    EXPECT_EQ(c.filtered, 0u);
}

TEST_F(FloodTest, TwentyThousandRecordsComeBackExactlyOnceAndTheLastRowsShow) {
    constexpr int kCount = 20000;
    ASSERT_NE(Open(""), nullptr);
    ASSERT_EQ(MaxViewLineQty, 200);
    const std::vector<std::vector<uint8_t>> records = SeqRecords(0, kCount);
    SimStartEvents(records, 0, false);
    ASSERT_TRUE(PumpUntil([] { return SimIsIdle(); }, 400000))
        << "released " << SimGetCounters().released;
    ExpectAllBackOnce(kCount);

    // The list keeps the newest 200 rows, oldest first, each as rendered.
    ASSERT_EQ(ListRows(window_), 200);
    for (int row = 0; row < 200; row += 13) {
        const std::vector<std::string> want = RowTexts(records[kCount - 200 + row]);
        for (int column = 0; column < kCallColumnCount; ++column)
            EXPECT_EQ(CellText(window_, row, column), want[column]) << row << "/" << column;
    }
    EXPECT_EQ(CellText(window_, 199, kColData).find(SeqPath(kCount - 1)) != std::string::npos,
              true);
    ASSERT_TRUE(Close());
    EXPECT_EQ(SimGetCounters().lostAtClose, 0u);
}

TEST_F(FloodTest, RefusedPostsDuringABurstHandRecordsBackAndTheWindowRecovers) {
    HookIfsCallPosts();
    constexpr int kCount = 3000;
    ASSERT_NE(Open(""), nullptr);
    const std::vector<std::vector<uint8_t>> records = SeqRecords(0, kCount);
    SimStartEvents(records, 0, false);
    ASSERT_TRUE(PumpUntil([] { return SimGetCounters().released >= 300; }, 60000));

    // The queue refuses every record for a while; the window goes on with
    // what it holds meanwhile.
    PostsRefused = true;
    ASSERT_TRUE(PumpUntil([] { return IfsCallRefused >= 1000; }, 60000));
    const uint32_t postedBefore = IfsCallPosted;
    PostsRefused = false;

    ASSERT_TRUE(PumpUntil([] { return SimIsIdle(); }, 120000));
    ExpectAllBackOnce(kCount);
    // Each record was either posted and rendered, or refused and handed back
    // by the listener: together exactly the delivered ones.
    EXPECT_EQ(IfsCallPosted + IfsCallRefused, static_cast<uint32_t>(kCount));
    EXPECT_GT(IfsCallPosted.load(), postedBefore); // rows arrive again after the refusals
    ASSERT_TRUE(IsWindow(window_));
    EXPECT_EQ(MonitorWnd, window_);
    EXPECT_EQ(ListRows(window_), 200);
    EXPECT_EQ(CellText(window_, 199, kColData).find(SeqPath(kCount - 1)) != std::string::npos,
              true);
}

TEST_F(FloodTest, ClosingInTheMiddleOfABurstEndsTheLoopAndFreesEverything) {
    struct Case {
        const char* how;
        void (*close)(HWND window);
    } cases[] = {
        {"Esc key",
         [](HWND w) { PostMessageA(GetDlgItem(w, 100), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
        {"close box", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"close now", [](HWND w) { SendMessageA(w, WM_COMMAND, IDCANCEL, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        SimReset();
        QuitSeen = false;
        ASSERT_NE(Open(""), nullptr);
        SimStartEvents(SeqRecords(0, 500), 0, true); // endless
        ASSERT_TRUE(PumpUntil([] { return SimGetCounters().released >= 300; }, 60000));

        const DWORD start = GetTickCount();
        c.close(window_);
        ASSERT_TRUE(PumpUntil([] { return QuitSeen; }, 60000)) << "the loop did not end";
        const DWORD took = GetTickCount() - start;
        EXPECT_FALSE(IsWindow(window_));
        EXPECT_EQ(MonitorWnd, nullptr);
        EXPECT_EQ(DeviceHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(ListenerHandle, nullptr);
        EXPECT_EQ(StopEvent, nullptr);
        EXPECT_FALSE(SimRegistered());

        // Records still queued went with the window; the driver took back
        // what was out when it unloaded. None came back twice.
        PumpUntil([] { return false; }, 200);
        const SimCounters n = SimGetCounters();
        EXPECT_EQ(n.delivered, n.released + n.lostAtClose);
        EXPECT_EQ(n.badReleases, 0u);
        EXPECT_EQ(n.outstanding, 0u);
        EXPECT_TRUE(SimIsIdle());
        RecordProperty(std::string("close_ms_") + c.how[0], static_cast<int>(took));
        window_ = nullptr;
    }
}

} // namespace
