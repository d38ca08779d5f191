#include "driver_fixture.h"

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "event/ifs_call_rec.h"

std::vector<Received> gReceived;

namespace {

constexpr char kClassName[] = "TalvekDriverTestWnd";

LRESULT CALLBACK TestWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_IFSCALL)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    const DWORD address = (DWORD)lParam;
    const IfsCallRec* rec = (const IfsCallRec*)(ULONG_PTR)address;
    gReceived.push_back({address, wParam, rec->Func, rec->Result, rec->Path1});
    DriverCall(CTL_RELEASE_REC, address);
    return 0;
}

void RegisterTestClass() {
    static bool done = false;
    if (done)
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = TestWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    done = true;
}

} // namespace

std::string SeqPath(int seq) {
    return "C:\\SEQ\\" + std::to_string(seq);
}

std::vector<uint8_t> SeqRecord(int seq, int32_t func, int32_t result) {
    IfsCall rec{};
    rec.func = func;
    rec.drive = 3;
    rec.result = result;
    rec.path1 = SeqPath(seq);
    std::vector<uint8_t> bytes;
    BuildIfsCallRec(rec, &bytes);
    return bytes;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    return SimPumpUntil(done, timeoutMs);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(2);
    }
    return true;
}

std::vector<std::pair<DWORD, DWORD>> ControlCalls(const std::vector<SimCall>& log) {
    std::vector<std::pair<DWORD, DWORD>> calls;
    for (const SimCall& c : log)
        if (c.kind == SimCallKind::Control)
            calls.emplace_back(c.code, c.value);
    return calls;
}

void DriverTest::SetUp() {
    SimReset();
    gReceived.clear();
    RegisterTestClass();
    window_ = CreateWindowExA(0, kClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
}

void DriverTest::TearDown() {
    ListenerStop();
    DriverClose();
    SimReset();
    MonitorWnd = nullptr;
    if (window_ != nullptr)
        DestroyWindow(window_);
    // Drop whatever is left in the test thread's queue and APC queue.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    SleepEx(0, TRUE);
}

bool DriverTest::StartListening() {
    if (!DriverOpen())
        return false;
    MonitorWnd = window_;
    ListenerStart(window_);
    return WaitUntil([] { return SimRegistered(); });
}
