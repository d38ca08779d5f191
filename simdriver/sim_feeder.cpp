// The stand-in driver's event sources, started and stopped here: a feeder
// thread that delivers a list of records at a pace, the stream reader
// (sim_stream.cpp), and their configuration from the environment.
#include "simdriver/sim_state.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

bool Listening(const SimState& s) {
    return s.device != INVALID_HANDLE_VALUE && s.routine != nullptr && s.filter.monitoring;
}

void FeederRun() {
    SimState& s = Sim();
    std::unique_lock<std::mutex> hold(s.lock);
    while (!s.feederStop && !s.events.empty()) {
        bool deliveredAny = false;
        for (size_t i = 0; i < s.events.size() && !s.feederStop; ++i) {
            // Events wait while nobody listens. Without a pace they also wait
            // for a free record instead of being dropped.
            const auto giveUp = [&] { return s.feederStop || !Listening(s); };
            for (;;) {
                s.changed.wait(hold, [&] { return s.feederStop || Listening(s); });
                if (s.paceMs > 0 || s.feederStop)
                    break;
                SimWaitForFreeLocked(s, hold, giveUp);
                if (!giveUp())
                    break;
            }
            if (s.feederStop)
                break;
            const std::vector<uint8_t>& event = s.events[i];
            if (SimDeliverLocked(s, event.data(), event.size()) == SimInjectResult::Delivered)
                deliveredAny = true;
            if (s.paceMs > 0)
                s.changed.wait_for(hold, std::chrono::milliseconds(s.paceMs),
                                   [&] { return s.feederStop; });
        }
        if (!s.loop)
            break;
        // A pass that the filters stopped entirely is not repeated at full speed.
        if (!deliveredAny)
            s.changed.wait_for(hold, std::chrono::milliseconds(50), [&] { return s.feederStop; });
    }
    s.feederActive = false;
    s.changed.notify_all();
}

DWORD EnvNumber(const char* name, DWORD fallback) {
    const std::string text = SimEnv(name, "");
    if (text.empty())
        return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    return *end == '\0' ? (DWORD)value : fallback;
}

std::vector<std::vector<uint8_t>> ScenarioEvents() {
    std::vector<std::vector<uint8_t>> events;
    for (const IfsCall& call : SimScenario()) {
        std::vector<uint8_t> bytes;
        if (BuildIfsCallRec(call, &bytes))
            events.push_back(std::move(bytes));
    }
    return events;
}

} // namespace

void SimStopSource() {
    SimState& s = Sim();
    std::thread feeder;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.feederStop = true;
        feeder = std::move(s.feeder);
        SimEndStreamLocked(s);
    }
    if (feeder.joinable())
        feeder.join();
    std::lock_guard<std::mutex> hold(s.lock);
    s.feederActive = false;
}

void SimStartEvents(std::vector<std::vector<uint8_t>> events, DWORD paceMs, bool loop) {
    SimStopSource();
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    s.events = std::move(events);
    s.paceMs = paceMs;
    s.loop = loop;
    s.feederStop = false;
    s.feederActive = true;
    s.feeder = std::thread(FeederRun);
}

void SimStartScenario(DWORD paceMs, bool loop) {
    SimStartEvents(ScenarioEvents(), paceMs, loop);
}

void SimStartStream(HANDLE input, const char* name, bool follow, bool closeInput) {
    SimStopSource();
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    SimStreamStartLocked(s, input, name, follow, closeInput);
}

bool SimStartTrace(const char* path, DWORD paceMs, bool loop) {
    std::vector<std::vector<uint8_t>> records;
    if (!SimLoadTrace(path, &records))
        return false;
    SimStartEvents(std::move(records), paceMs, loop);
    return true;
}

// "-" follows standard input; with TALVEKSIM_FOLLOW=1 a named trace is
// followed as it grows instead of replayed. A stream that cannot be opened
// falls back to the built-in scenario, as an unreadable trace does.
static bool StartStreamFromEnvironment(const std::string& trace) {
    if (trace == "-") {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        if (input != nullptr && input != INVALID_HANDLE_VALUE) {
            SimStartStream(input, "standard input", false, false);
            return true;
        }
        std::fprintf(stderr, "simdriver: no standard input to read call-trace lines from\n");
        return false;
    }
    HANDLE file = CreateFileA(trace.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "simdriver: cannot open %s to follow it\n", trace.c_str());
        return false;
    }
    SimStartStream(file, trace.c_str(), true, true);
    return true;
}

void SimStartFromEnvironment() {
    const DWORD pace = EnvNumber("TALVEKSIM_PACE", 150);
    const bool loop = EnvNumber("TALVEKSIM_LOOP", 1) != 0;
    const std::string trace = SimEnv("TALVEKSIM_TRACE", "");
    if (!trace.empty() && (trace == "-" || EnvNumber("TALVEKSIM_FOLLOW", 0) == 1)) {
        if (!StartStreamFromEnvironment(trace))
            SimStartScenario(pace, loop);
        return;
    }
    if (trace.empty() || !SimStartTrace(trace.c_str(), pace, loop))
        SimStartScenario(pace, loop);
}

bool SimIsIdle() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return !s.feederActive && !s.streamActive && s.counters.outstanding == 0;
}

bool SimWaitIdle(DWORD timeoutMs) {
    return SimPumpUntil(SimIsIdle, timeoutMs);
}
