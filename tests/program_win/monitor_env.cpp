#include "monitor_env.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "driver/driver_link.h"
#include "driver/listener.h"
#include "import_patch.h"
#include "res/resource_ids.h"
#include "settings/ini_file.h"
#include "ui/dlg_frame.h"
#include "ui/monitor_dlg.h"

int QuitCode = -1;

namespace {

// ---- Recording -------------------------------------------------------------

struct Event {
    size_t callsBefore; // device calls the stand-in had logged when it happened
    std::string text;
};

std::mutex gLock;
std::vector<Event> gEvents;
DWORD gWindowThread;
DWORD gListenerTid;
HANDLE gListenerThread;

using WriteProfileFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
WriteProfileFn gRealWrite = WritePrivateProfileStringA;
MessageBoxFn gRealMessageBox = MessageBoxA;

void Note(const std::string& text) {
    const size_t calls = SimCallLog().size();
    std::lock_guard<std::mutex> hold(gLock);
    gEvents.push_back({calls, text});
}

BOOL WINAPI WatchedWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    if (section != nullptr && lstrcmpiA(section, "Config") == 0) {
        Note("write " + std::string(key != nullptr ? key : "<all>") +
             (value != nullptr ? "=" + std::string(value) : " deleted"));
    }
    return gRealWrite(section, key, value, file);
}

int WINAPI WatchedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    char line[400];
    snprintf(line, sizeof line, "box %s|%s|0x%X|%s", text != nullptr ? text : "<null>",
             caption != nullptr ? caption : "<null>", style,
             owner == nullptr      ? "none"
             : owner == MonitorWnd ? "monitor"
                                   : "other");
    Note(line);
    return gRealMessageBox(owner, text, caption, style);
}

using WaitFn = DWORD(WINAPI*)(HANDLE, DWORD, BOOL);
WaitFn gRealWait = WaitForSingleObjectEx;

// The listener is made slow to leave its wait once the stop event is
// signalled: a window that does not wait for it then reaches the device first.
DWORD WINAPI SlowStopWait(HANDLE handle, DWORD ms, BOOL alertable) {
    const DWORD result = gRealWait(handle, ms, alertable);
    if (result == WAIT_OBJECT_0 && handle == StopEvent && GetCurrentThreadId() != gWindowThread)
        Sleep(30);
    return result;
}

bool ListenerEndedNow() {
    return gListenerThread == nullptr || WaitForSingleObject(gListenerThread, 0) == WAIT_OBJECT_0;
}

HHOOK gDestroyHook;

LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && msg->message == WM_DESTROY) {
        char cls[16] = "";
        GetClassNameA(msg->hwnd, cls, sizeof cls);
        if (lstrcmpA(cls, "WC_Talvek") == 0) {
            Note(std::string("destroy, listener ") + (gListenerTid == 0    ? "none"
                                                      : ListenerEndedNow() ? "ended"
                                                                           : "running"));
        }
    }
    return CallNextHookEx(gDestroyHook, code, wParam, lParam);
}

// The process's own folder for settings files below the temporary folder.
const std::string& ScratchDir() {
    static const std::string dir = [] {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        std::string d =
            std::string(temp) + "talvek_program_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(d.c_str(), nullptr);
        return d;
    }();
    return dir;
}

// The program's calls to name go to replacement, which calls *real.
template <typename Fn> void Watch(const char* dll, const char* name, Fn replacement, Fn* real) {
    void* previous = PatchImport(dll, name, reinterpret_cast<void*>(replacement));
    ASSERT_NE(previous, nullptr) << name << " cannot be watched";
    *real = reinterpret_cast<Fn>(previous);
}

struct ProgramEnvironment : ::testing::Environment {
    void SetUp() override {
        ASSERT_EQ(GetACP(), 949u) << "tests expect the Korean ANSI code page";
        AppInst = GetModuleHandleA(nullptr);
        gWindowThread = GetCurrentThreadId();
        RegisterDlgClass("WC_Talvek", IDI_TALVEK, 0, nullptr);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        Watch("kernel32.dll", "WritePrivateProfileStringA", WatchedWrite, &gRealWrite);
        Watch("user32.dll", "MessageBoxA", WatchedMessageBox, &gRealMessageBox);
        Watch("kernel32.dll", "WaitForSingleObjectEx", SlowStopWait, &gRealWait);
        gDestroyHook = SetWindowsHookExA(WH_CALLWNDPROC, WatchDestroy, nullptr, gWindowThread);
        ASSERT_NE(gDestroyHook, nullptr);
    }
    void TearDown() override {
        UnhookWindowsHookEx(gDestroyHook);
        RemoveDirectoryA(ScratchDir().c_str());
    }
};

::testing::Environment* const kProgramEnvironment =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

std::string CallText(const SimCall& c) {
    const char* who = c.threadId == gWindowThread  ? "window"
                      : c.threadId == gListenerTid ? "listener"
                                                   : "thread";
    const char* ok = c.ok ? "ok" : "failed";
    char line[128];
    switch (c.kind) {
    case SimCallKind::Open:
        return std::string("open ") + ok;
    case SimCallKind::Close:
        snprintf(line, sizeof line, "%s close %s", who, ok);
        return line;
    case SimCallKind::Control:
        break;
    }
    std::string value;
    if (c.code == CTL_SET_CALLBACK && c.value != 0 &&
        c.value == static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(OnIfsCall))) {
        value = "OnIfsCall";
    } else if (c.code == CTL_RELEASE_REC) {
        value = "record";
    } else if (c.code == CTL_FUNC_ENABLE) {
        snprintf(line, sizeof line, "0x%lX", static_cast<unsigned long>(c.value));
        value = line;
    } else {
        value = std::to_string(static_cast<int32_t>(c.value));
    }
    snprintf(line, sizeof line, "%s ctl %lu %s %s", who, static_cast<unsigned long>(c.code),
             value.c_str(), ok);
    return line;
}

// IFS function codes in the order of the settings push.
constexpr int kFuncCodes[30] = {0,  1,  2,  3,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 30,
                                31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};

// ---- Scripts ---------------------------------------------------------------

std::vector<std::function<bool()>> gSteps;
size_t gStep;
bool gInStep;
UINT_PTR gScriptTimer;

void CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD) {
    if (gInStep || gStep >= gSteps.size())
        return;
    gInStep = true;
    if (gSteps[gStep]())
        ++gStep;
    gInStep = false;
}

BOOL CALLBACK FindDialogProc(HWND wnd, LPARAM found) {
    char cls[16] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(wnd)) {
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM param) {
    BoxSeen* seen = reinterpret_cast<BoxSeen*>(param);
    char cls[16] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "static") != 0)
        return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        seen->exclamation = icon != nullptr && icon == LoadIconA(nullptr, IDI_EXCLAMATION);
    } else {
        char text[256] = "";
        GetWindowTextA(child, text, sizeof text);
        if (text[0] != '\0')
            seen->texts.push_back(text);
    }
    return TRUE;
}

// A dialog left open by a failing test would stop it forever: close it.
BOOL CALLBACK CloseDialogProc(HWND wnd, LPARAM) {
    char cls[16] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0) {
        PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}
void CALLBACK Rescue(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseDialogProc, 0);
}

} // namespace

// ---- The trace -------------------------------------------------------------

Mark Now() {
    const size_t calls = SimCallLog().size();
    std::lock_guard<std::mutex> hold(gLock);
    return {calls, gEvents.size()};
}

std::vector<std::string> TraceSince(const Mark& from, Threads threads) {
    const std::vector<SimCall> log = SimCallLog();
    std::vector<Event> events;
    {
        std::lock_guard<std::mutex> hold(gLock);
        events.assign(gEvents.begin() + static_cast<ptrdiff_t>(from.events), gEvents.end());
    }
    std::vector<std::string> trace;
    size_t e = 0;
    for (size_t i = from.calls; i <= log.size(); ++i) {
        for (; e < events.size() && events[e].callsBefore <= i; ++e)
            trace.push_back(events[e].text);
        if (i == log.size())
            break;
        if (threads == Threads::WindowOnly && log[i].threadId != gWindowThread)
            continue;
        trace.push_back(CallText(log[i]));
    }
    for (; e < events.size(); ++e)
        trace.push_back(events[e].text);
    return trace;
}

std::vector<std::string> PushTrace(int result, int enable, const char* enableBits) {
    std::vector<std::string> trace = {"window ctl 4 " + std::to_string(result) + " ok",
                                      "window ctl 3 " + std::to_string(enable) + " ok"};
    for (int i = 0; i < 30; ++i) {
        char line[64];
        const unsigned flag = enableBits[i] == '1' ? 1 : 0;
        snprintf(line, sizeof line, "window ctl 5 0x%X ok", flag << 16 | kFuncCodes[i]);
        trace.push_back(line);
    }
    return trace;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ForgetListener() {
    // A listener still on its way out must not reach the next test's driver.
    if (gListenerThread != nullptr) {
        WaitForSingleObject(gListenerThread, 2000);
        CloseHandle(gListenerThread);
    }
    gListenerThread = nullptr;
    gListenerTid = 0;
}

// A plain poll, not SimPumpUntil: the window's queue is left to the test's
// own loop.
bool WatchListener() {
    ForgetListener();
    const DWORD start = GetTickCount();
    for (;;) {
        for (const SimCall& c : SimCallLog()) {
            if (c.kind == SimCallKind::Control && c.code == CTL_SET_CALLBACK && c.value != 0 &&
                c.threadId != gWindowThread) {
                gListenerTid = c.threadId;
                gListenerThread = OpenThread(SYNCHRONIZE, FALSE, c.threadId);
                return true;
            }
        }
        if (GetTickCount() - start > 2000)
            return false;
        Sleep(2);
    }
}

// ---- The message loop ------------------------------------------------------

namespace {

bool ProgramMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        QuitCode = static_cast<int>(msg.wParam);
        return false;
    }
    SimDispatch(msg, MonitorWnd);
    return true;
}

} // namespace

bool RunLoopUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    return SimPumpUntil(done, timeoutMs, ProgramMessage);
}

void RunLoopFor(DWORD ms) {
    RunLoopUntil([] { return false; }, ms);
}

// ---- Scripts ---------------------------------------------------------------

void StartScript(std::vector<std::function<bool()>> steps) {
    StopScript();
    gSteps = std::move(steps);
    gStep = 0;
    gScriptTimer = SetTimer(nullptr, 0, 15, ScriptTick);
}

bool ScriptDone() {
    return gStep >= gSteps.size();
}

void StopScript() {
    if (gScriptTimer != 0)
        KillTimer(nullptr, gScriptTimer);
    gScriptTimer = 0;
    gSteps.clear();
    gStep = 0;
}

HWND FindThreadDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::function<bool()> AnswerBox(BoxSeen* seen) {
    return [seen] {
        HWND box = FindThreadDialog();
        if (box == nullptr)
            return false;
        seen->seen = true;
        char caption[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        seen->caption = caption;
        EnumChildWindows(box, ReadBoxChild, reinterpret_cast<LPARAM>(seen));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return true;
    };
}

// ---- The monitor window ----------------------------------------------------

std::string Title(HWND wnd) {
    char text[256] = "";
    GetWindowTextA(wnd, text, sizeof text);
    return text;
}

int RowCount(HWND monitor) {
    return ListItemCount(GetDlgItem(monitor, IDC_CALL_LIST));
}

std::vector<std::vector<std::string>> AllRows(HWND monitor) {
    HWND list = GetDlgItem(monitor, IDC_CALL_LIST);
    std::vector<std::vector<std::string>> rows(ListItemCount(list));
    for (size_t row = 0; row < rows.size(); ++row)
        for (int sub = 0; sub < 6; ++sub)
            rows[row].push_back(ListCellText(list, static_cast<int>(row), sub));
    return rows;
}

std::vector<int> ColumnWidths(HWND monitor) {
    std::vector<int> widths;
    for (int col = 0; col < 6; ++col) {
        widths.push_back(static_cast<int>(
            SendDlgItemMessageA(monitor, IDC_CALL_LIST, LVM_GETCOLUMNWIDTH, col, 0)));
    }
    return widths;
}

SimInjectResult Inject(const IfsCall& rec) {
    std::vector<uint8_t> bytes;
    if (!BuildIfsCallRec(rec, &bytes))
        return SimInjectResult::BadSize;
    return SimInject(bytes.data(), bytes.size());
}

// ---- The fixture -----------------------------------------------------------

std::string MonitorTest::SettingsFile(int n) {
    const std::string& dir = ScratchDir();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    return dir + "\\" + name + "." + std::to_string(n) + ".ini";
}

void MonitorTest::SetUp() {
    ASSERT_EQ(MonitorWnd, nullptr) << "a monitor window is left from before";
    SimReset();
    files_ = 0;
    NextSettingsFile();
    QuitCode = -1;
    ForgetListener();
    rescue_ = SetTimer(nullptr, 0, 5000, Rescue);
}

void MonitorTest::TearDown() {
    StopScript();
    HWND open = MonitorWnd != nullptr ? MonitorWnd : window_;
    if (open != nullptr && IsWindow(open))
        SendMessageA(open, WM_COMMAND, IDCANCEL, 0);
    KillTimer(nullptr, rescue_);
    // Whatever is left in the queue goes, the WM_QUIT included.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
    }
    EXPECT_EQ(MonitorWnd, nullptr);
    ForgetListener();
    SimReset();
    for (int i = 1; i <= files_; ++i)
        DeleteFileA(SettingsFile(i).c_str());
    strcpy(IniPath, "TALVEK.INI");
}

HWND MonitorTest::Create() {
    ForgetListener();
    window_ =
        CreateDialogParamA(AppInst, MAKEINTRESOURCEA(IDD_MONITOR), nullptr, MonitorDlgProc, 0);
    if (window_ != nullptr && DeviceHandle != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(WatchListener()) << "no listener tried to register";
    }
    return window_;
}

int MonitorTest::CloseWith(UINT msg, WPARAM wParam, bool post) {
    QuitCode = -1;
    if (post)
        PostMessageA(window_, msg, wParam, 0);
    else
        SendMessageA(window_, msg, wParam, 0);
    RunLoopUntil([] { return QuitCode != -1; });
    return QuitCode;
}

void MonitorTest::WriteIni(const char* section, const char* key, const char* value) {
    gRealWrite(section, key, value, path_.c_str());
}

std::string MonitorTest::IniText(const char* section, const char* key) {
    // The file's own bytes: the profile functions would drop trailing blanks.
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    std::string current;
    const std::string wanted = std::string(key) + "=";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            current = line.substr(1, line.find(']') - 1);
        } else if (lstrcmpiA(current.c_str(), section) == 0 &&
                   line.compare(0, wanted.size(), wanted) == 0) {
            return line.substr(wanted.size());
        }
    }
    return "<none>";
}

void MonitorTest::NextSettingsFile() {
    path_ = SettingsFile(++files_);
    DeleteFileA(path_.c_str());
    ASSERT_LT(path_.size(), sizeof IniPath);
    strcpy(IniPath, path_.c_str());
}
