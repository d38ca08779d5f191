// The stand-in driver's stream source: call-trace lines read from a pipe or a
// growing file as they arrive.
#include "driver_fixture.h"

#include "driver/driver_link.h"
#include "event/ifs_call_rec.h"
#include "settings/monitor_settings.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>

namespace {

// Delivered to the test thread, in order: the records and their Path1 as it
// read on arrival (a record handed back may be reused).
std::vector<DWORD> gRecords;
std::vector<std::string> gPaths;

VOID CALLBACK KeepApc(ULONG_PTR record) {
    gRecords.push_back((DWORD)record);
    gPaths.push_back(((const IfsCallRec*)record)->Path1);
}

std::string SeqLine(int seq) {
    return "func=36 drive=3 result=2 path1=" + SeqPath(seq) + "\n";
}

// A list as the monitor keeps it: the newest gListLimit rows; each record is
// handed back as it arrives.
std::deque<std::string> gListRows;
size_t gListLimit;

VOID CALLBACK ListApc(ULONG_PTR record) {
    gListRows.push_back(((const IfsCallRec*)record)->Path1);
    if (gListRows.size() > gListLimit)
        gListRows.pop_front();
    DriverCall(CTL_RELEASE_REC, (DWORD)record);
}

// A file of call-trace lines and the writer's end line: count records of
// which every third succeeds.
std::string WriteTraceFile(int count) {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "tvk", 0, path);
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "func=36 drive=3 result=" + std::string(i % 3 == 0 ? "0" : "2") +
                " path1=" + SeqPath(i) + "\n";
    text += "# end of trace\n";
    HANDLE out =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(out, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(out);
    return path;
}

class SimStreamTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        savedRowLimit_ = MaxViewLineQty;
        gRecords.clear();
        gPaths.clear();
        ASSERT_TRUE(CreatePipe(&read_, &write_, nullptr, 0));
        ASSERT_TRUE(DriverOpen());
        ASSERT_TRUE(DriverCall(CTL_SET_CALLBACK, (DWORD)(ULONG_PTR)KeepApc));
    }
    void TearDown() override {
        // Closing the device stops the reader, which closes the pipe and so
        // ends a writer still blocked in it.
        DriverTest::TearDown();
        MaxViewLineQty = savedRowLimit_;
        if (writer_.joinable())
            writer_.join();
        CloseWriter();
    }
    void Write(const std::string& text) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(write_, text.data(), (DWORD)text.size(), &written, nullptr));
        ASSERT_EQ(written, text.size());
    }
    void CloseWriter() {
        if (write_ != nullptr)
            CloseHandle(write_);
        write_ = nullptr;
    }
    // Runs the queued call-backs until count records have arrived.
    static bool ReceiveUntil(size_t count) {
        return WaitUntil([&] {
            SleepEx(0, TRUE);
            return gRecords.size() >= count;
        });
    }
    static void HandBack() {
        for (DWORD rec : gRecords)
            DriverCall(CTL_RELEASE_REC, rec);
    }
    static bool StreamEnded() {
        return WaitUntil([] { return SimIsIdle(); });
    }

    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    std::thread writer_;
    int32_t savedRowLimit_ = 0;
};

TEST_F(SimStreamTest, DeliversEachLineAsSoonAsItIsComplete) {
    SimStartStream(read_, "pipe", false, true);
    // Pieces written one at a time; delivered is how many records must have
    // arrived after each piece, and no more.
    struct Piece {
        const char* text;
        size_t delivered;
    } pieces[] = {
        {"func=36 drive=3 result=2 path1=C:\\A.TXT\n", 1},
        {"func=36 dri", 1},
        {"ve=3 result=2 path1=C:\\B", 1},
        {"%20C.TXT\r", 1},
        {"\n# a comment\n\nnot a record\n", 2},
        {"func=1 path1=C:\\", 2},
        {"E.TXT", 2}, // the input's end inside a line cuts it: no record
    };
    for (const Piece& p : pieces) {
        SCOPED_TRACE(p.text);
        Write(p.text);
        EXPECT_TRUE(ReceiveUntil(p.delivered));
        Sleep(30);
        SleepEx(0, TRUE);
        EXPECT_EQ(gRecords.size(), p.delivered);
    }
    CloseWriter();
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().malformed == 2; }))
        << "the bad line and the cut one";
    SleepEx(0, TRUE);
    ASSERT_EQ(gRecords.size(), 2u);
    EXPECT_EQ(gPaths[0], "C:\\A.TXT");
    EXPECT_EQ(gPaths[1], "C:\\B C.TXT");

    // The end of input ended the source, not the device.
    HandBack();
    EXPECT_TRUE(StreamEnded());
    EXPECT_TRUE(SimRegistered());
    const std::vector<uint8_t> rec = SeqRecord(9);
    EXPECT_EQ(SimInject(rec.data(), rec.size()), SimInjectResult::Delivered);
}

TEST_F(SimStreamTest, AFullPoolHoldsTheReaderBackInsteadOfDropping) {
    const int count = kSimPoolSlots + 40;
    MaxViewLineQty = count; // the list could show every one of them
    SimStartStream(read_, "pipe", false, true);
    writer_ = std::thread([&] {
        for (int i = 0; i < count; ++i)
            Write(SeqLine(i));
        CloseWriter();
    });
    ASSERT_TRUE(ReceiveUntil(kSimPoolSlots));
    Sleep(100);
    SleepEx(0, TRUE);
    EXPECT_EQ(gRecords.size(), (size_t)kSimPoolSlots) << "no record is free";
    EXPECT_FALSE(SimIsIdle()) << "the reader waits";

    // Each record handed back lets exactly one more through.
    for (size_t next = 0; next < (size_t)count; ++next) {
        ASSERT_TRUE(ReceiveUntil(std::min<size_t>(next + kSimPoolSlots, count))) << next;
        DriverCall(CTL_RELEASE_REC, gRecords[next]);
    }
    writer_.join();
    ASSERT_EQ(gRecords.size(), (size_t)count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(gPaths[i], SeqPath(i)) << i;
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, (uint32_t)count);
    EXPECT_EQ(c.poolEmpty, 0u);
    EXPECT_TRUE(StreamEnded());
}

TEST_F(SimStreamTest, LinesReadWhileMonitoringIsOffAreNotReported) {
    SimStartStream(read_, "pipe", false, true);
    ASSERT_TRUE(DriverCall(CTL_ENABLE, 0));
    Write(SeqLine(0) + SeqLine(1));
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().unmonitored == 2; }));
    ASSERT_TRUE(DriverCall(CTL_ENABLE, 1));
    Write(SeqLine(2));
    ASSERT_TRUE(ReceiveUntil(1));
    EXPECT_EQ(gPaths[0], SeqPath(2));
}

TEST_F(SimStreamTest, ClosingTheDeviceDoesNotWaitForAReaderInARead) {
    SimStartStream(read_, "pipe", false, true);
    Write(SeqLine(0));
    ASSERT_TRUE(ReceiveUntil(1));
    // The reader is now blocked reading the pipe, whose writer stays open.
    // Closing must not wait for it; should it, the pipe's end frees it.
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        DriverClose();
        closed = true;
    });
    const bool closedWhileReading = WaitUntil([&] { return closed.load(); });
    if (!closedWhileReading)
        CloseWriter();
    closer.join();
    ASSERT_TRUE(closedWhileReading);
    ASSERT_TRUE(DriverOpen());
    ASSERT_TRUE(DriverCall(CTL_SET_CALLBACK, (DWORD)(ULONG_PTR)KeepApc));
    Write(SeqLine(1)); // read by the stopped reader, which delivers nothing more
    Sleep(100);
    SleepEx(0, TRUE);
    EXPECT_EQ(gRecords.size(), 1u);
    EXPECT_EQ(SimGetCounters().delivered, 1u);
}

TEST_F(SimStreamTest, FollowsAFileAsItGrows) {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "tvk", 0, path);
    HANDLE out = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    HANDLE in = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const std::string first = SeqLine(0) + "func=36 path1=C:";
    WriteFile(out, first.data(), (DWORD)first.size(), &written, nullptr);
    SimStartStream(in, path, true, true);
    ASSERT_TRUE(ReceiveUntil(1));
    Sleep(150); // the reader is at the end of the file now, and waits for more
    EXPECT_FALSE(SimIsIdle());
    EXPECT_EQ(SimGetCounters().malformed, 0u) << "a line still being written is not cut";
    const std::string rest = "\\F.TXT\n" + SeqLine(2);
    WriteFile(out, rest.data(), (DWORD)rest.size(), &written, nullptr);
    ASSERT_TRUE(ReceiveUntil(3));
    EXPECT_EQ(gPaths[1], "C:\\F.TXT");
    EXPECT_EQ(gPaths[2], SeqPath(2));
    // Written anew: read again from its start.
    SetFilePointer(out, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(out);
    const std::string again = SeqLine(3);
    WriteFile(out, again.data(), (DWORD)again.size(), &written, nullptr);
    ASSERT_TRUE(ReceiveUntil(4));
    EXPECT_EQ(gPaths[3], SeqPath(3));
    // The writer's end line ends the stream: what follows it is not read.
    const std::string end = "# end of trace\n" + SeqLine(4);
    WriteFile(out, end.data(), (DWORD)end.size(), &written, nullptr);
    CloseHandle(out);
    HandBack();
    EXPECT_TRUE(StreamEnded());
    SleepEx(50, TRUE);
    EXPECT_EQ(gRecords.size(), 4u);
    DeleteFileA(path);
}

TEST_F(SimStreamTest, AListBehindEndsWithTheRowsOfOneThatRendersEveryRecord) {
    constexpr int kRecords = 100000;
    const std::string path = WriteTraceFile(kRecords);
    const uint32_t failed = kRecords - (kRecords + 2) / 3;
    // behind: the list takes nothing until the whole trace has been read.
    struct Run {
        const char* name;
        int32_t rowLimit;
        bool behind;
    } runs[] = {{"every record rendered", 1 << 30, false}, {"list behind", 200, true}};
    std::deque<std::string> everyRecord;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        DriverClose();
        ASSERT_TRUE(DriverOpen());
        ASSERT_TRUE(DriverCall(CTL_SET_CALLBACK, (DWORD)(ULONG_PTR)ListApc));
        ASSERT_TRUE(DriverCall(CTL_RESULT_FILTER, 2)); // failed calls only
        MaxViewLineQty = run.rowLimit;
        gListRows.clear();
        gListLimit = 200;
        const SimCounters before = SimGetCounters();
        HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(in, INVALID_HANDLE_VALUE);
        SimStartStream(in, path.c_str(), true, true);
        if (run.behind) {
            ASSERT_TRUE(WaitUntil(
                [&] {
                    const SimCounters c = SimGetCounters();
                    return c.filtered + c.passedOver + c.delivered + 200 >=
                           before.passedOver + before.filtered + before.delivered + kRecords;
                },
                60000));
        }
        ASSERT_TRUE(WaitUntil(
            [] {
                SleepEx(1, TRUE);
                return SimIsIdle();
            },
            120000));
        const SimCounters c = SimGetCounters();
        const uint32_t delivered = c.delivered - before.delivered;
        const uint32_t filtered = c.filtered - before.filtered;
        const uint32_t passedOver = c.passedOver - before.passedOver;
        EXPECT_EQ(delivered + passedOver + filtered, (uint32_t)kRecords);
        EXPECT_EQ(filtered, kRecords - failed);
        EXPECT_EQ(c.released - before.released, delivered) << "each handed back once";
        EXPECT_EQ(passedOver > 0, run.behind);
        ASSERT_EQ(gListRows.size(), 200u);
        if (!run.behind)
            everyRecord = gListRows;
        else
            EXPECT_EQ(gListRows, everyRecord);
    }
    EXPECT_EQ(everyRecord.back(), SeqPath(kRecords - 2)) << "the last failed call";
    DeleteFileA(path.c_str());
}

} // namespace
