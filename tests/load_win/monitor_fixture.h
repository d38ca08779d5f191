// The real monitor window, headless, against the stand-in driver: created
// from the program's template with its own procedure, its settings file in a
// temporary folder, its messages pumped as the program's loop pumps them.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Runs the program's message loop until done() holds; false after
// timeoutMs. A WM_QUIT taken from the queue sets QuitSeen.
extern bool QuitSeen;
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Records of distinct Path1 "C:\LOAD\<n>", functions and results taken in
// turn from the monitored functions and a few result codes.
std::vector<std::vector<uint8_t>> SeqRecords(int first, int count);
std::string SeqPath(int n);

// The text of a list cell.
std::string CellText(HWND window, int row, int column);
int ListRows(HWND window);

std::string FileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Every test writes its settings file (settingsText, which may be empty) in
// the temporary folder and opens the monitor window on it.
class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    HWND Open(const std::string& settingsText);
    // Closes the window as the Esc key does; true when the loop ended.
    bool Close(DWORD timeoutMs = 30000);

    HWND window_ = nullptr;
    std::string iniPath_;
};

// PostMessageA of this executable, replaced for WM_IFSCALL: while
// PostsRefused is set, every such post fails as it does on a full queue.
void HookIfsCallPosts();
extern std::atomic<bool> PostsRefused;
extern std::atomic<uint32_t> IfsCallPosted;  // posts that went through
extern std::atomic<uint32_t> IfsCallRefused; // posts refused
