#include "driver_fixture.h"

#include "driver/driver_link.h"
#include "driver/listener.h"

namespace {

const DWORD kOnIfsCall = (DWORD)(ULONG_PTR)OnIfsCall;

// Duplicates the listener's handle so that its end can be observed after
// ListenerStop closed the original.
HANDLE ListenerCopy() {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), ListenerHandle, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    return code;
}

using ListenerTest = DriverTest;

TEST_F(ListenerTest, RefusedRegistrationEndsWithCode1AndNoRowArrives) {
    SimSetRefuse(true);
    ASSERT_TRUE(DriverOpen());
    MonitorWnd = window_;
    ListenerStart(window_);
    ASSERT_NE(ListenerHandle, nullptr);
    ASSERT_EQ(WaitForSingleObject(ListenerHandle, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(ListenerHandle), 1u);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SimInject(SeqRecord(i).data(), SeqRecord(i).size()),
                  SimInjectResult::NotListening);
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(gReceived.empty());

    ListenerStop(); // closing still works
    EXPECT_EQ(ListenerHandle, nullptr);
    EXPECT_EQ(StopEvent, nullptr);
    const std::vector<SimCall> log = SimCallLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].code, (DWORD)CTL_SET_CALLBACK);
    EXPECT_EQ(log[1].value, kOnIfsCall);
    EXPECT_FALSE(log[1].ok);
}

TEST_F(ListenerTest, CallbacksQueuedDuringOneWaitArriveInDeliveryOrder) {
    ASSERT_TRUE(StartListening());
    // Held still, the listener finds all call-backs pending in its next wait.
    ASSERT_NE(SuspendThread(ListenerHandle), (DWORD)-1);
    const int32_t funcs[] = {36, 0, 1, 11, 44, 2, 18};
    const int count = sizeof funcs / sizeof funcs[0];
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> rec = SeqRecord(i, funcs[i], i % 2 ? 2 : 0);
        ASSERT_EQ(SimInject(rec.data(), rec.size()), SimInjectResult::Delivered);
    }
    ResumeThread(ListenerHandle);
    ASSERT_TRUE(PumpUntil([&] { return gReceived.size() == (size_t)count; }));

    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(gReceived[i].path1, SeqPath(i));
        EXPECT_EQ(gReceived[i].func, funcs[i]);
        EXPECT_EQ(gReceived[i].result, i % 2 ? 2 : 0);
        EXPECT_EQ(gReceived[i].wParam, 0u);
    }
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.released, (uint32_t)count);
    EXPECT_EQ(c.outstanding, 0u);
}

TEST_F(ListenerTest, EveryDeliveredRecordIsHandedBackOnce) {
    ASSERT_TRUE(StartListening());
    // More records than the pool holds, as fast as the pool allows.
    const int count = kSimPoolSlots * 2 + 37;
    std::vector<std::vector<uint8_t>> records;
    for (int i = 0; i < count; ++i)
        records.push_back(SeqRecord(i, i % 46, i % 3));
    SimStartEvents(records, 0, false);
    ASSERT_TRUE(SimWaitIdle(20000));

    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, (uint32_t)count);
    EXPECT_EQ(c.released, (uint32_t)count);
    EXPECT_EQ(c.badReleases, 0u);
    EXPECT_EQ(c.outstanding, 0u);
    EXPECT_EQ(c.poolEmpty, 0u);
    ASSERT_EQ(gReceived.size(), (size_t)count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(gReceived[i].path1, SeqPath(i)) << "record " << i;
}

TEST_F(ListenerTest, ScenarioRunsThroughWindowAndComesBack) {
    ASSERT_TRUE(StartListening());
    const std::vector<IfsCall> scenario = SimScenario();
    SimStartScenario(0, false);
    ASSERT_TRUE(SimWaitIdle(20000));
    ASSERT_EQ(gReceived.size(), scenario.size());
    for (size_t i = 0; i < scenario.size(); ++i) {
        EXPECT_EQ(gReceived[i].func, scenario[i].func) << i;
        EXPECT_EQ(gReceived[i].result, scenario[i].result) << i;
        EXPECT_EQ(gReceived[i].path1, scenario[i].path1) << i;
    }
    EXPECT_EQ(SimGetCounters().released, scenario.size());
}

// Records whose message cannot reach a window are handed back by the
// listener at once instead of being lost.
void ExpectListenerHandsBack() {
    for (int i = 0; i < 5; ++i) {
        const std::vector<uint8_t> rec = SeqRecord(i);
        ASSERT_EQ(SimInject(rec.data(), rec.size()), SimInjectResult::Delivered);
    }
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().released == 5; }));
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.outstanding, 0u);
    EXPECT_EQ(c.badReleases, 0u);
}

TEST_F(ListenerTest, RecordsForADestroyedWindowAreHandedBack) {
    ASSERT_TRUE(StartListening());
    DestroyWindow(window_); // MonitorWnd still holds the stale handle: posts fail
    window_ = nullptr;
    ExpectListenerHandsBack();
}

TEST_F(ListenerTest, RecordsWithoutAWindowAreHandedBack) {
    ASSERT_TRUE(StartListening());
    MonitorWnd = nullptr;
    ExpectListenerHandsBack();
    EXPECT_TRUE(gReceived.empty());
}

TEST_F(ListenerTest, FullQueueHandsRecordsBackAtOnce) {
    // Fill the window's queue until the system refuses another posted
    // message, then make room for exactly two.
    constexpr int kCap = 12000;
    int posted = 0;
    while (posted < kCap && PostMessageA(window_, WM_APP, 0, 0))
        ++posted;
    if (posted == kCap)
        GTEST_SKIP() << "this system does not limit posted messages";
    MSG msg;
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(PeekMessageA(&msg, window_, WM_APP, WM_APP, PM_REMOVE));

    ASSERT_TRUE(StartListening());
    for (int i = 0; i < 6; ++i) {
        const std::vector<uint8_t> rec = SeqRecord(i);
        ASSERT_EQ(SimInject(rec.data(), rec.size()), SimInjectResult::Delivered);
    }
    // Four came back from the listener while the queue stayed full.
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().released == 4; }));
    ASSERT_TRUE(PumpUntil([] { return SimGetCounters().outstanding == 0; }));
    ASSERT_EQ(gReceived.size(), 2u);
    EXPECT_EQ(gReceived[0].path1, SeqPath(0));
    EXPECT_EQ(gReceived[1].path1, SeqPath(1));
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, 6u);
    EXPECT_EQ(c.released, 6u);
    EXPECT_EQ(c.badReleases, 0u);
}

TEST_F(ListenerTest, StopEndsTheThreadAndUnregisters) {
    ASSERT_TRUE(StartListening());
    const DWORD listenerId = GetThreadId(ListenerHandle);
    EXPECT_EQ(SimRegisteredThreadId(), listenerId);
    HANDLE copy = ListenerCopy();
    ASSERT_NE(copy, nullptr);

    ListenerStop();
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0) << "ListenerStop waits for the end";
    EXPECT_EQ(ExitCode(copy), 0u);
    CloseHandle(copy);
    EXPECT_EQ(ListenerHandle, nullptr);
    EXPECT_EQ(StopEvent, nullptr);
    EXPECT_FALSE(SimRegistered());
    const std::vector<uint8_t> rec = SeqRecord(0);
    EXPECT_EQ(SimInject(rec.data(), rec.size()), SimInjectResult::NotListening);

    // The close sequence unregisters once more from the window thread.
    EXPECT_TRUE(DriverCall(CTL_SET_CALLBACK, 0));
    DriverClose();

    struct Expected {
        SimCallKind kind;
        DWORD code, value;
        BOOL ok;
        DWORD thread;
    } expected[] = {
        {SimCallKind::Open, 0, 0, TRUE, GetCurrentThreadId()},
        {SimCallKind::Control, CTL_SET_CALLBACK, kOnIfsCall, TRUE, listenerId},
        {SimCallKind::Control, CTL_SET_CALLBACK, 0, TRUE, listenerId},
        {SimCallKind::Control, CTL_SET_CALLBACK, 0, TRUE, GetCurrentThreadId()},
        {SimCallKind::Close, 0, 0, TRUE, GetCurrentThreadId()},
    };
    const std::vector<SimCall> log = SimCallLog();
    ASSERT_EQ(log.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].kind, expected[i].kind);
        EXPECT_EQ(log[i].code, expected[i].code);
        EXPECT_EQ(log[i].value, expected[i].value);
        EXPECT_EQ(log[i].ok, expected[i].ok);
        EXPECT_EQ(log[i].threadId, expected[i].thread);
    }
}

TEST_F(ListenerTest, StopWithoutStartIsHarmless) {
    ListenerStop();
    ListenerStop();
    EXPECT_EQ(ListenerHandle, nullptr);
    EXPECT_EQ(StopEvent, nullptr);
    EXPECT_TRUE(SimCallLog().empty());
}

TEST_F(ListenerTest, StopEventStartsUnsignalled) {
    ASSERT_TRUE(StartListening());
    ASSERT_NE(StopEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(StopEvent, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(ListenerHandle, 50), (DWORD)WAIT_TIMEOUT) << "listener waits";
}

} // namespace
