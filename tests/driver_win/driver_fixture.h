// Shared ground of the driver-link tests: the stand-in driver in a known
// state, a real window on the test thread that renders nothing but keeps
// what it receives and hands each record back, and waiting helpers.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "simdriver/sim_driver.h"

// What the test window saw of one WM_IFSCALL.
struct Received {
    DWORD address;
    WPARAM wParam;
    int32_t func;
    int32_t result;
    std::string path1;
};

extern std::vector<Received> gReceived;

// A record whose Path1 names its sequence number, e.g. C:\SEQ\7.
std::vector<uint8_t> SeqRecord(int seq, int32_t func = 36, int32_t result = 0);
std::string SeqPath(int seq);

// Dispatches the test thread's messages until done() or the timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

// Waits for done() without touching the message queue and without running
// the test thread's APCs, so not with SimPumpUntil: it watches what other
// threads do while the test thread's queue stays as it is (full, say).
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

// Control calls of the log as (code, value) pairs, opens and closes left out.
std::vector<std::pair<DWORD, DWORD>> ControlCalls(const std::vector<SimCall>& log);

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the device, points MonitorWnd at the test window and starts the
    // listener; true once it is registered.
    bool StartListening();

    HWND window_ = nullptr;
};
