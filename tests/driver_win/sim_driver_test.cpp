// The stand-in driver itself: what it accepts, how it delivers, counts and
// frees records, and what its scenario holds.
#include "driver_fixture.h"

#include "driver/device_calls.h"
#include "driver/driver_link.h"
#include "event/ifs_call_rec.h"

#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Filled by the call-back, which may run on another thread.
std::mutex gApcLock;
std::vector<DWORD> gApcRecords;
std::vector<DWORD> gApcThreads;

VOID CALLBACK CollectApc(ULONG_PTR record) {
    std::lock_guard<std::mutex> hold(gApcLock);
    gApcRecords.push_back((DWORD)record);
    gApcThreads.push_back(GetCurrentThreadId());
}

size_t ApcCount() {
    std::lock_guard<std::mutex> hold(gApcLock);
    return gApcRecords.size();
}

const DWORD kCollectApc = (DWORD)(ULONG_PTR)CollectApc;

// Runs the APCs queued to the test thread.
void RunApcs() {
    while (SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
    }
}

class SimDriverTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        gApcRecords.clear();
        gApcThreads.clear();
    }
    // Registers the test thread itself as the receiver.
    void OpenAndRegister() {
        ASSERT_TRUE(DriverOpen());
        ASSERT_TRUE(DriverCall(CTL_SET_CALLBACK, kCollectApc));
    }
    static SimInjectResult Inject(int seq, int32_t func = 36, int32_t result = 0) {
        const std::vector<uint8_t> rec = SeqRecord(seq, func, result);
        return SimInject(rec.data(), rec.size());
    }
};

TEST_F(SimDriverTest, OpensOnlyWithTheExactArguments) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    HANDLE someFile = GetCurrentProcess();
    struct Case {
        const char* name;
        LPCSTR device;
        DWORD access, share;
        LPSECURITY_ATTRIBUTES security;
        DWORD disposition, flags;
        HANDLE templ;
        bool opens;
    } cases[] = {
        {"exact", "\\\\.\\TALVEKHK.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr,
         true},
        {"other name", "\\\\.\\TALVEK.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr,
         false},
        {"one backslash", "\\.\\TALVEKHK.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr,
         false},
        {"access", "\\\\.\\TALVEKHK.VXD", GENERIC_READ, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
         nullptr, false},
        {"share", "\\\\.\\TALVEKHK.VXD", 0, FILE_SHARE_READ, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
         nullptr, false},
        {"security", "\\\\.\\TALVEKHK.VXD", 0, 0, &sa, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr,
         false},
        {"disposition", "\\\\.\\TALVEKHK.VXD", 0, 0, nullptr, OPEN_EXISTING,
         FILE_FLAG_DELETE_ON_CLOSE, nullptr, false},
        {"no flags", "\\\\.\\TALVEKHK.VXD", 0, 0, nullptr, 0, 0, nullptr, false},
        {"template", "\\\\.\\TALVEKHK.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, someFile,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimReset();
        HANDLE h = DevCreateFileA(c.device, c.access, c.share, c.security, c.disposition, c.flags,
                                  c.templ);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(DevCloseHandle(h));
        }
        const std::vector<SimCall> log = SimCallLog();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0].kind, SimCallKind::Open);
        EXPECT_EQ(log[0].name, c.device);
        EXPECT_EQ(log[0].flags, c.flags);
        EXPECT_EQ(log[0].security, c.security != nullptr);
    }
}

TEST_F(SimDriverTest, MissingDriverDoesNotOpen) {
    SimSetMissing(true);
    EXPECT_FALSE(DriverOpen());
    EXPECT_EQ(DeviceHandle, INVALID_HANDLE_VALUE);
    SimSetMissing(false);
    EXPECT_TRUE(DriverOpen());
}

TEST_F(SimDriverTest, RejectsCallsOutsideTheContract) {
    ASSERT_TRUE(DriverOpen());
    DWORD value = 0;
    DWORD returned = 0;
    WORD shortValue = 0;
    struct Case {
        const char* name;
        HANDLE device;
        DWORD code;
        LPVOID in;
        DWORD inSize;
        LPDWORD returned;
    } cases[] = {
        {"unknown code", DeviceHandle, 6, &value, 4, nullptr},
        {"code 0", DeviceHandle, 0, &value, 4, nullptr},
        {"short input", DeviceHandle, CTL_ENABLE, &shortValue, 2, nullptr},
        {"no input", DeviceHandle, CTL_ENABLE, nullptr, 0, nullptr},
        {"byte count", DeviceHandle, CTL_ENABLE, &value, 4, &returned},
        {"other handle", GetCurrentProcess(), CTL_ENABLE, &value, 4, nullptr},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(
            DevIoControl(c.device, c.code, c.in, c.inSize, nullptr, 0, c.returned, nullptr))
            << c.name;
    DriverClose();
    EXPECT_FALSE(DriverCall(CTL_ENABLE, 1)) << "closed device";
}

TEST_F(SimDriverTest, DeliversToTheRegisteringThread) {
    ASSERT_TRUE(DriverOpen());
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD helperId = 0;
    std::thread helper([&] {
        helperId = GetCurrentThreadId();
        DriverCall(CTL_SET_CALLBACK, kCollectApc);
        SetEvent(registered);
        while (WaitForSingleObjectEx(stop, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
        }
    });
    WaitForSingleObject(registered, 5000);
    EXPECT_EQ(SimRegisteredThreadId(), helperId);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Inject(i), SimInjectResult::Delivered);
    EXPECT_TRUE(WaitUntil([] { return ApcCount() == 3; }));
    // Unregistering from another thread, twice, stops delivery.
    EXPECT_TRUE(DriverCall(CTL_SET_CALLBACK, 0));
    EXPECT_TRUE(DriverCall(CTL_SET_CALLBACK, 0));
    EXPECT_EQ(Inject(3), SimInjectResult::NotListening);
    SetEvent(stop);
    helper.join();
    CloseHandle(registered);
    CloseHandle(stop);

    ASSERT_EQ(gApcThreads.size(), 3u);
    for (DWORD id : gApcThreads)
        EXPECT_EQ(id, helperId);
    for (int i = 0; i < 3; ++i) {
        const IfsCallRec* rec = (const IfsCallRec*)(ULONG_PTR)gApcRecords[i];
        EXPECT_STREQ(rec->Path1, SeqPath(i).c_str());
        EXPECT_TRUE(DriverCall(CTL_RELEASE_REC, gApcRecords[i]));
    }
}

TEST_F(SimDriverTest, RecordsStayUnchangedUntilHandedBack) {
    OpenAndRegister();
    for (int i = 0; i < kSimPoolSlots; ++i)
        ASSERT_EQ(Inject(i), SimInjectResult::Delivered) << i;
    EXPECT_EQ(Inject(kSimPoolSlots), SimInjectResult::PoolEmpty);
    RunApcs();
    ASSERT_EQ(gApcRecords.size(), (size_t)kSimPoolSlots);
    EXPECT_EQ(std::set<DWORD>(gApcRecords.begin(), gApcRecords.end()).size(), (size_t)kSimPoolSlots)
        << "every record has its own address";
    for (int i = 0; i < kSimPoolSlots; ++i)
        ASSERT_STREQ(((const IfsCallRec*)(ULONG_PTR)gApcRecords[i])->Path1, SeqPath(i).c_str());

    // One handed back makes room for exactly one more, in that very record.
    ASSERT_TRUE(DriverCall(CTL_RELEASE_REC, gApcRecords[7]));
    EXPECT_EQ(Inject(900), SimInjectResult::Delivered);
    EXPECT_EQ(Inject(901), SimInjectResult::PoolEmpty);
    RunApcs();
    ASSERT_EQ(gApcRecords.size(), (size_t)kSimPoolSlots + 1);
    EXPECT_EQ(gApcRecords.back(), gApcRecords[7]);
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, (uint32_t)kSimPoolSlots + 1);
    EXPECT_EQ(c.released, 1u);
    EXPECT_EQ(c.outstanding, (uint32_t)kSimPoolSlots);
    EXPECT_EQ(c.poolEmpty, 2u);
}

TEST_F(SimDriverTest, CountsBadHandBacks) {
    OpenAndRegister();
    ASSERT_EQ(Inject(0), SimInjectResult::Delivered);
    RunApcs();
    ASSERT_EQ(gApcRecords.size(), 1u);
    const DWORD rec = gApcRecords[0];
    struct Step {
        DWORD address;
        BOOL ok;
    } steps[] = {
        {rec + 4, FALSE}, // inside a record
        {rec, TRUE},      // the record
        {rec, FALSE},     // twice
        {0, FALSE},       // no record
        {0x12345678, FALSE},
    };
    for (const Step& s : steps)
        EXPECT_EQ(DriverCall(CTL_RELEASE_REC, s.address), s.ok) << std::hex << s.address;
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.released, 1u);
    EXPECT_EQ(c.badReleases, 4u);
    EXPECT_EQ(c.outstanding, 0u);
}

TEST_F(SimDriverTest, ClosingFreesRecordsStillOut) {
    OpenAndRegister();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Inject(i), SimInjectResult::Delivered);
    RunApcs();
    ASSERT_TRUE(DriverCall(CTL_RELEASE_REC, gApcRecords[0]));
    DriverClose();
    SimCounters c = SimGetCounters();
    EXPECT_EQ(c.lostAtClose, 3u);
    EXPECT_EQ(c.outstanding, 0u);
    EXPECT_FALSE(SimRegistered());
    // Freshly loaded, the driver starts with all of its records free.
    OpenAndRegister();
    for (int i = 0; i < kSimPoolSlots; ++i)
        ASSERT_EQ(Inject(i), SimInjectResult::Delivered);
    RunApcs();
}

TEST_F(SimDriverTest, FiltersByFunctionCodeAndResult) {
    OpenAndRegister();
    struct Step {
        DWORD code, value; // a control call, or code 0: inject func/result
        int32_t func, result;
        SimInjectResult expected;
    } steps[] = {
        {0, 0, 36, 2, SimInjectResult::Delivered},
        {CTL_FUNC_ENABLE, 0x00000024, 0, 0, SimInjectResult::Delivered},
        {0, 0, 36, 2, SimInjectResult::Filtered},
        {0, 0, 292, 2, SimInjectResult::Delivered}, // another code, same low byte
        {CTL_FUNC_ENABLE, 0xFFFF0024, 0, 0, SimInjectResult::Delivered},
        {0, 0, 36, 0, SimInjectResult::Delivered},
        {CTL_RESULT_FILTER, 1, 0, 0, SimInjectResult::Delivered},
        {0, 0, 0, 5, SimInjectResult::Filtered},
        {0, 0, 0, 0, SimInjectResult::Delivered},
        {CTL_RESULT_FILTER, 2, 0, 0, SimInjectResult::Delivered},
        {0, 0, 0, 0, SimInjectResult::Filtered},
        {0, 0, 0, -1, SimInjectResult::Delivered},
        {CTL_ENABLE, 0, 0, 0, SimInjectResult::Delivered},
        {0, 0, 0, -1, SimInjectResult::NotListening},
        {CTL_ENABLE, 1, 0, 0, SimInjectResult::Delivered},
        {CTL_RESULT_FILTER, 0, 0, 0, SimInjectResult::Delivered},
        {0, 0, 0, 0, SimInjectResult::Delivered},
    };
    int n = 0;
    for (const Step& s : steps) {
        if (s.code != 0)
            EXPECT_TRUE(DriverCall(s.code, s.value)) << "step " << n;
        else
            EXPECT_EQ(Inject(n, s.func, s.result), s.expected) << "step " << n;
        ++n;
    }
    RunApcs();
    EXPECT_EQ(SimGetCounters().filtered, 3u);
}

TEST_F(SimDriverTest, SourceWaitsForAListener) {
    std::vector<std::vector<uint8_t>> records;
    for (int i = 0; i < 20; ++i)
        records.push_back(SeqRecord(i));
    SimStartEvents(records, 0, false);
    ASSERT_TRUE(DriverOpen());
    Sleep(50);
    EXPECT_EQ(SimGetCounters().delivered, 0u) << "nobody registered";
    ASSERT_TRUE(DriverCall(CTL_ENABLE, 0));
    ASSERT_TRUE(DriverCall(CTL_SET_CALLBACK, kCollectApc));
    Sleep(50);
    EXPECT_EQ(SimGetCounters().delivered, 0u) << "monitoring off";
    ASSERT_TRUE(DriverCall(CTL_ENABLE, 1));
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().delivered == 20; }));
    RunApcs();
    ASSERT_EQ(gApcRecords.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_STREQ(((const IfsCallRec*)(ULONG_PTR)gApcRecords[i])->Path1, SeqPath(i).c_str());
        DriverCall(CTL_RELEASE_REC, gApcRecords[i]);
    }
    EXPECT_TRUE(SimIsIdle());
}

TEST_F(SimDriverTest, PacedSourceDropsWhenThePoolIsEmpty) {
    OpenAndRegister();
    const int count = kSimPoolSlots + 6;
    std::vector<std::vector<uint8_t>> records;
    for (int i = 0; i < count; ++i)
        records.push_back(SeqRecord(i));
    SimStartEvents(records, 1, false);
    // Nothing is handed back: the last six find no free record.
    EXPECT_TRUE(WaitUntil(
        [] {
            const SimCounters c = SimGetCounters();
            return c.delivered + c.poolEmpty == kSimPoolSlots + 6;
        },
        20000));
    const SimCounters c = SimGetCounters();
    EXPECT_EQ(c.delivered, (uint32_t)kSimPoolSlots);
    EXPECT_EQ(c.poolEmpty, 6u);
    RunApcs();
}

TEST_F(SimDriverTest, BuildsRecordFieldsAtTheirOffsets) {
    IfsCall r{};
    r.fsd = 0xC02A6F10;
    r.func = 13;
    r.drive = -1;
    r.resType = 0x98;
    r.codePage = 1;
    r.result = 33;
    r.length = 0x24000010;
    r.flags = 1;
    r.sfn = 0x5A;
    r.data = 0x00401000;
    r.options = 0x8003;
    r.fh = 0x1C3;
    r.pos = 0x200;
    r.aux2 = 0x10;
    r.path1 = "C:\\A.TXT";
    r.path2 = std::string(1023, 'x');
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(BuildIfsCallRec(r, &bytes));
    ASSERT_EQ(bytes.size(), kSimRecordMax);
    const IfsCallRec* rec = (const IfsCallRec*)bytes.data();
    struct Field {
        int offset, width;
        uint32_t value;
    } fields[] = {
        {0, 4, 0xC02A6F10},
        {4, 4, 13},
        {8, 4, 0xFFFFFFFF},
        {12, 4, 0x98},
        {16, 4, 1},
        {136, 4, 33},
        {kOffLength, 4, 0x24000010},
        {kOffDirFlags, 1, 0x24},
        {kOffFlags, 1, 1},
        {kOffSfn, 2, 0x5A},
        {kOffData, 4, 0x00401000},
        {kOffOptions, 1, 0x03},
        {kOffRwOptions, 1, 0x80},
        {kOffFh, 4, 0x1C3},
        {kOffPos, 4, 0x200},
        {kOffAux2, 4, 0x10},
    };
    for (const Field& f : fields) {
        const uint32_t got = f.width == 1   ? RecU8(rec, f.offset)
                             : f.width == 2 ? RecU16(rec, f.offset)
                                            : RecU32(rec, f.offset);
        EXPECT_EQ(got, f.value) << "offset " << f.offset;
    }
    EXPECT_STREQ(rec->Path1, "C:\\A.TXT");
    EXPECT_EQ(std::string(rec->Path2), r.path2);
    EXPECT_EQ(SimInject(bytes.data(), bytes.size()), SimInjectResult::NotListening);

    r.path2.push_back('y');
    EXPECT_FALSE(BuildIfsCallRec(r, &bytes)) << "Path2 too long";
    r.path2.clear();
    r.path1 = std::string(260, 'p');
    EXPECT_FALSE(BuildIfsCallRec(r, &bytes)) << "Path1 without room for its NUL";
    std::vector<uint8_t> big(kSimRecordMax + 1, 0);
    OpenAndRegister();
    EXPECT_EQ(SimInject(big.data(), big.size()), SimInjectResult::BadSize);
    EXPECT_EQ(SimInject(big.data(), 399), SimInjectResult::BadSize);
}

TEST(SimScenario, LooksLikeARealMachine) {
    const std::vector<IfsCall> scenario = SimScenario();
    const int32_t monitored[] = {0,  1,  2,  3,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 30,
                                 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};
    std::set<int32_t> funcs;
    std::set<int32_t> results;
    for (const IfsCall& r : scenario) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(BuildIfsCallRec(r, &bytes)) << r.path1;
        funcs.insert(r.func);
        if (r.result != 0)
            results.insert(r.result);
        EXPECT_GE(r.result, 0);
        EXPECT_LT(r.result, 40) << "DOS error codes only";
        if (r.func == 37) {
            EXPECT_FALSE(r.path2.empty()) << "a rename names both files";
        }
    }
    for (int32_t f : monitored)
        EXPECT_EQ(funcs.count(f), 1u) << "function " << f << " never appears";
    EXPECT_EQ(funcs.size(), 30u) << "only monitored functions";
    for (int32_t e : {2, 3, 5, 18})
        EXPECT_EQ(results.count(e), 1u) << "error " << e << " never appears";
    // Programs look for files that are not there.
    int notFound = 0;
    for (const IfsCall& r : scenario)
        notFound += r.func == 36 && r.result == 2 && r.path1.find(".DLL") != std::string::npos;
    EXPECT_GE(notFound, 3);
}

} // namespace

namespace {

// The environment as a program linked with the stand-in sees it.
class SimEnvironmentTest : public SimDriverTest {
  protected:
    void SetUp() override {
        SimDriverTest::SetUp();
        SimUseEnvironment();
    }
    void TearDown() override {
        for (const char* name : {"TALVEKSIM_TRACE", "TALVEKSIM_PACE", "TALVEKSIM_LOOP",
                                 "TALVEKSIM_MISSING", "TALVEKSIM_REFUSE"})
            SetEnvironmentVariableA(name, nullptr);
        SimDriverTest::TearDown();
    }
};

TEST_F(SimEnvironmentTest, MissingAndRefuseComeFromTheEnvironment) {
    SetEnvironmentVariableA("TALVEKSIM_PACE", "0");
    SetEnvironmentVariableA("TALVEKSIM_LOOP", "0");
    SetEnvironmentVariableA("TALVEKSIM_MISSING", "1");
    EXPECT_FALSE(DriverOpen());
    SetEnvironmentVariableA("TALVEKSIM_MISSING", "0");
    SetEnvironmentVariableA("TALVEKSIM_REFUSE", "1");
    ASSERT_TRUE(DriverOpen());
    EXPECT_FALSE(DriverCall(CTL_SET_CALLBACK, kCollectApc));
    DriverClose();
    SetEnvironmentVariableA("TALVEKSIM_REFUSE", nullptr);
    ASSERT_TRUE(DriverOpen());
    EXPECT_TRUE(DriverCall(CTL_SET_CALLBACK, kCollectApc));
}

TEST_F(SimEnvironmentTest, OpeningStartsTheScenarioAndNoCallIsLogged) {
    SetEnvironmentVariableA("TALVEKSIM_PACE", "0");
    SetEnvironmentVariableA("TALVEKSIM_LOOP", "0");
    SetEnvironmentVariableA("TALVEKSIM_TRACE", "C:\\no such folder\\none.trace");
    OpenAndRegister();
    const size_t count = SimScenario().size();
    EXPECT_TRUE(WaitUntil([&] { return SimGetCounters().delivered == count; }));
    RunApcs();
    ASSERT_EQ(gApcRecords.size(), count);
    for (DWORD rec : gApcRecords)
        DriverCall(CTL_RELEASE_REC, rec);
    EXPECT_TRUE(WaitUntil([] { return SimIsIdle(); })) << "a source without loop ends";
    EXPECT_EQ(SimGetCounters().released, count);
    EXPECT_TRUE(SimCallLog().empty()) << "a long run must not grow by a log entry per record";
}

// A call trace written to a temporary file.
std::string WriteTrace(const char* text) {
    char dir[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "trc", 0, path);
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text, (DWORD)strlen(text), &written, nullptr);
    CloseHandle(f);
    return path;
}

constexpr char kTrace[] = "# two calls\r\n"
                          "func=36 drive=3 result=2 path1=C:\\SEQ\\0\r\n"
                          "\r\n"
                          "func=33 drive=3 result=0 path1=C:\\SEQ\\1\r\n";

TEST_F(SimDriverTest, ReplaysACallTrace) {
    const std::string path = WriteTrace(kTrace);
    OpenAndRegister();
    EXPECT_FALSE(SimStartTrace("C:\\no such folder\\none.trace", 0, false));
    ASSERT_TRUE(SimStartTrace(path.c_str(), 0, false));
    EXPECT_TRUE(WaitUntil([] { return SimGetCounters().delivered == 2; }));
    RunApcs();
    DeleteFileA(path.c_str());
    ASSERT_EQ(gApcRecords.size(), 2u);
    const int32_t funcs[] = {36, 33};
    for (int i = 0; i < 2; ++i) {
        const IfsCallRec* rec = (const IfsCallRec*)(ULONG_PTR)gApcRecords[i];
        EXPECT_EQ(rec->Func, funcs[i]);
        EXPECT_STREQ(rec->Path1, SeqPath(i).c_str());
        DriverCall(CTL_RELEASE_REC, gApcRecords[i]);
    }
}

} // namespace
