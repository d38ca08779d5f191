// Shared ground of the monitor window's tests: the real window from the
// program's template on the test thread, the stand-in driver, a settings file
// of each test's own, the program's message loop, timer scripts that act from
// inside whatever loop runs (modal ones included), and one trace that merges
// the stand-in's device calls with the program's [Config] writes, its message
// boxes and the monitor window's end.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "simdriver/sim_driver.h"
#include "window_read.h"

// The monitor window's caption and its two titles (code page 949).
constexpr char kCaption[] = "IFS 감시 프로그램";
constexpr char kTitleOn[] = "IFS 감시 프로그램 - 감시활성";
constexpr char kTitleOff[] = "IFS 감시 프로그램 - 감시비활성";
constexpr char kDriverMissingText[] = "TALVEKHK.VXD 파일이 없습니다";

// ---- The trace -------------------------------------------------------------
// Lines, in the order they happened:
//   "open ok" / "open failed"                 the device was opened
//   "<who> ctl <code> <value> ok|failed"      one control call; who is window,
//                                             listener or thread; the value is
//                                             OnIfsCall, record (a hand-back),
//                                             hex for function enables, else
//                                             decimal
//   "<who> close ok|failed"                   the device was closed
//   "write <key>=<value>"                     a [Config] write
//   "box <text>|<caption>|0x<style>|<owner>"  a message box; owner is monitor,
//                                             none or other
//   "destroy, listener ended|running|none"    WM_DESTROY reached the monitor
//                                             window; the listener's state then
struct Mark {
    size_t calls;
    size_t events;
};
Mark Now();
enum class Threads { All, WindowOnly };
std::vector<std::string> TraceSince(const Mark& from, Threads threads = Threads::All);

// What the trace shows for a settings push of these values.
std::vector<std::string> PushTrace(int result, int enable, const char* enableBits);
std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b);

// Notes the listener thread (the thread that tried to register a call-back),
// waiting up to two seconds for its attempt; false when there was none.
bool WatchListener();
void ForgetListener();

// ---- The program's message loop --------------------------------------------
// Runs the loop as the program does (IsDialogMessageA for the monitor window,
// otherwise TranslateMessage and DispatchMessageA) until done() or the
// timeout. A WM_QUIT ends the loop; its code is kept in QuitCode (-1: none).
extern int QuitCode;
bool RunLoopUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
void RunLoopFor(DWORD ms);

// ---- Timer scripts ---------------------------------------------------------
// A thread timer runs the steps in order from any message loop of the test
// thread; each step is retried on every tick until it returns true.
void StartScript(std::vector<std::function<bool()>> steps);
bool ScriptDone();
void StopScript();

// A top-level dialog of the test thread's own (class #32770: a message box or
// the options dialog), or null.
HWND FindThreadDialog();

// A message box as it was shown.
struct BoxSeen {
    bool seen = false;
    std::string caption;
    std::vector<std::string> texts;
    bool exclamation = false;
};
// A step: when a message box is up, reads it into seen and answers it with OK.
std::function<bool()> AnswerBox(BoxSeen* seen);

// ---- The monitor window ----------------------------------------------------
std::string Title(HWND wnd);
int RowCount(HWND monitor);
std::vector<std::vector<std::string>> AllRows(HWND monitor);
std::vector<int> ColumnWidths(HWND monitor);

// One record through the stand-in, as a driver would deliver it.
SimInjectResult Inject(const IfsCall& rec);

// Each test runs against a fresh stand-in driver and a settings file of its
// own (which does not exist at the start); the monitor window, when a test
// leaves one open, is closed through its close sequence.
class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The n-th settings file of the test (from 1).
    virtual std::string SettingsFile(int n);

    // CreateDialogParamA of template 1 with MonitorDlgProc; once the device is
    // open, waits for the listener's registration attempt.
    HWND Create();
    // Sends (or posts) msg and runs the loop until the WM_QUIT; returns its
    // code, or -1 when none came.
    int CloseWith(UINT msg, WPARAM wParam, bool post = false);

    // Each test case of a table starts with a settings file of its own.
    void NextSettingsFile();
    // A table's next case: a fresh stand-in driver and settings file.
    void NextCase() {
        ForgetListener();
        SimReset();
        NextSettingsFile();
    }
    void WriteIni(const char* section, const char* key, const char* value);
    // The value as the file holds it, byte for byte; "<none>" when missing.
    std::string IniText(const char* section, const char* key);

    std::string path_;
    HWND window_ = nullptr;

  private:
    UINT_PTR rescue_ = 0;
    int files_ = 0;
};
