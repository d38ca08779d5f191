#include "simdriver/sim_control.h"

namespace {

HANDLE g_control = INVALID_HANDLE_VALUE;
std::string g_testPath; // SimSetControlFile

} // namespace

void SimSetControlFile(const char* path) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    s.configured = true;
    g_testPath = path != nullptr ? path : "";
}

void SimControlOpenLocked(const SimState& s) {
    SimControlCloseLocked();
    const std::string path = s.configured ? g_testPath : SimEnv("TALVEKSIM_CONTROL", "");
    if (path.empty())
        return;
    g_control = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void SimControlWriteLocked(const SimState& s) {
    if (g_control == INVALID_HANDLE_VALUE)
        return;
    const std::string line = IfsFilterLine(s.filter) + "\n";
    DWORD written = 0;
    WriteFile(g_control, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void SimControlResetLocked() {
    SimControlCloseLocked();
    g_testPath.clear();
}

void SimControlCloseLocked() {
    if (g_control != INVALID_HANDLE_VALUE)
        CloseHandle(g_control);
    g_control = INVALID_HANDLE_VALUE;
}
