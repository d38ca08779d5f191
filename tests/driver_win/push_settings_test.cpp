#include "driver_fixture.h"

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "settings/monitor_settings.h"

#include <cstring>

namespace {

using Calls = std::vector<std::pair<DWORD, DWORD>>;

// The monitored functions' IFS codes, in the order of their enable bytes.
constexpr DWORD kCodes[kIfsFuncCount] = {0,  1,  2,  3,  10, 11, 12, 13, 14, 15,
                                         16, 17, 18, 19, 30, 31, 32, 33, 34, 35,
                                         36, 37, 38, 39, 40, 41, 42, 43, 44, 45};

class PushSettingsTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        saved_ = {ResultMonFg, EnaMonitorFg};
        std::memcpy(savedEnable_, IfsFncMonEnaFg, sizeof savedEnable_);
        ASSERT_TRUE(DriverOpen());
    }
    void TearDown() override {
        ResultMonFg = saved_.first;
        EnaMonitorFg = saved_.second;
        std::memcpy(IfsFncMonEnaFg, savedEnable_, sizeof savedEnable_);
        DriverTest::TearDown();
    }
    Calls Pushed() {
        PushSettings();
        return ControlCalls(SimCallLog());
    }

    std::pair<int8_t, int8_t> saved_;
    int8_t savedEnable_[kIfsFuncCount];
};

TEST_F(PushSettingsTest, SendsFilterEnableAndThirtyFunctionsInOrder) {
    ResultMonFg = 2;
    EnaMonitorFg = 1;
    for (int i = 0; i < kIfsFuncCount; ++i)
        IfsFncMonEnaFg[i] = i % 3 == 0 ? 0 : 1;

    const Calls expected = {
        {4, 2},          {3, 1},          {5, 0x00000000}, {5, 0x00010001}, {5, 0x00010002},
        {5, 0x00000003}, {5, 0x0001000A}, {5, 0x0001000B}, {5, 0x0000000C}, {5, 0x0001000D},
        {5, 0x0001000E}, {5, 0x0000000F}, {5, 0x00010010}, {5, 0x00010011}, {5, 0x00000012},
        {5, 0x00010013}, {5, 0x0001001E}, {5, 0x0000001F}, {5, 0x00010020}, {5, 0x00010021},
        {5, 0x00000022}, {5, 0x00010023}, {5, 0x00010024}, {5, 0x00000025}, {5, 0x00010026},
        {5, 0x00010027}, {5, 0x00000028}, {5, 0x00010029}, {5, 0x0001002A}, {5, 0x0000002B},
        {5, 0x0001002C}, {5, 0x0001002D},
    };
    EXPECT_EQ(Pushed(), expected);
    for (const SimCall& c : SimCallLog()) {
        if (c.kind == SimCallKind::Control) {
            EXPECT_TRUE(c.wellFormed && c.ok) << "code " << c.code;
        }
    }
}

TEST_F(PushSettingsTest, SignExtendsEveryByte) {
    struct Case {
        int8_t result, enable, func;
        DWORD resultValue, enableValue, funcHigh;
    } cases[] = {
        {0, 0, 0, 0, 0, 0},
        {1, 1, 1, 1, 1, 0x0001},
        {(int8_t)0xFF, (int8_t)0xFF, (int8_t)0xFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF},
        {(int8_t)0x80, 0x7F, (int8_t)0x80, 0xFFFFFF80, 0x7F, 0xFF80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << (int)c.func);
        DriverClose();
        SimReset();
        ASSERT_TRUE(DriverOpen());
        ResultMonFg = c.result;
        EnaMonitorFg = c.enable;
        for (int i = 0; i < kIfsFuncCount; ++i)
            IfsFncMonEnaFg[i] = c.func;
        const Calls calls = Pushed();
        ASSERT_EQ(calls.size(), 32u);
        EXPECT_EQ(calls[0], std::make_pair((DWORD)CTL_RESULT_FILTER, c.resultValue));
        EXPECT_EQ(calls[1], std::make_pair((DWORD)CTL_ENABLE, c.enableValue));
        for (int i = 0; i < kIfsFuncCount; ++i)
            EXPECT_EQ(calls[2 + i].second, c.funcHigh << 16 | kCodes[i]) << "position " << i;
    }
}

// The stand-in applies what was pushed: only calls that pass reach the window.
TEST_F(PushSettingsTest, PushedFiltersDecideWhatArrives) {
    struct Event {
        int32_t func, result;
    } events[] = {{36, 0}, {36, 2}, {0, 0}, {33, 2}, {44, 3}, {38, 18}, {37, 5}, {11, 0}};
    struct Case {
        const char* name;
        int8_t result;
        int8_t enaMonitor;
        std::vector<int> disabled; // enable-byte positions set to 0
        std::vector<int> arrive;   // indexes into events
    } cases[] = {
        {"all", 0, 1, {}, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"successful only", 1, 1, {}, {0, 2, 7}},
        {"failed only", 2, 1, {}, {1, 3, 4, 5, 6}},
        {"OPEN and READ off", 0, 1, {20, 0}, {3, 4, 5, 6, 7}},
        {"failed, FINDOPEN off", 2, 1, {28}, {1, 3, 5, 6}},
        {"monitoring off", 0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListenerStop();
        DriverClose();
        SimReset();
        gReceived.clear();
        ASSERT_TRUE(StartListening());
        ResultMonFg = c.result;
        EnaMonitorFg = c.enaMonitor;
        for (int i = 0; i < kIfsFuncCount; ++i)
            IfsFncMonEnaFg[i] = 1;
        for (int position : c.disabled)
            IfsFncMonEnaFg[position] = 0;
        PushSettings();

        int seq = 0;
        for (const Event& e : events) {
            const std::vector<uint8_t> rec = SeqRecord(seq++, e.func, e.result);
            SimInject(rec.data(), rec.size());
        }
        ASSERT_TRUE(SimWaitIdle(5000));
        std::vector<std::string> got, want;
        for (const Received& r : gReceived)
            got.push_back(r.path1);
        for (int index : c.arrive)
            want.push_back(SeqPath(index));
        EXPECT_EQ(got, want);
        const uint32_t stopped = c.enaMonitor ? (uint32_t)(8 - c.arrive.size()) : 0;
        EXPECT_EQ(SimGetCounters().filtered, stopped);
    }
}

} // namespace
