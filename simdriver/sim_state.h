// The stand-in driver's state, shared by its parts and guarded by one lock.
#pragma once

#include "simdriver/sim_driver.h"
#include "trace/ifs_filter.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A source that waits for free records lets them gather: once one is free it
// waits up to kSimGatherMs for kSimGatherRecords of them, and then queues all
// that are free in a row, so that the listener runs several call-backs per
// wake and a hand-back wakes the source only at the first and the
// kSimGatherRecords-th free record.
constexpr int kSimGatherRecords = 32;
constexpr DWORD kSimGatherMs = 2;

// What a source waiting for free records waits for (SimState::freeWait).
enum class SimFreeWait { None, Any, Gathered };

struct SimState {
    std::mutex lock;
    // Signalled when a record comes back, registration or monitoring changes,
    // or the feeder is asked to stop.
    std::condition_variable changed;

    // Behaviour chosen by a test; otherwise taken from the environment.
    bool configured = false;
    bool missing = false;
    bool refuse = false;
    bool autoFeed = true; // start the environment's source when the device opens

    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr; // registered thread, opened for QueueUserAPC
    DWORD threadId = 0;
    PAPCFUNC routine = nullptr;

    IfsFilter filter; // as the control calls set it

    SimCounters counters{};
    SimFreeWait freeWait = SimFreeWait::None; // set by a source waiting for records

    // Tests read the log; a program never does, so it keeps none and a long
    // run does not grow by an entry per record.
    bool keepLog = false;
    std::vector<SimCall> log;

    std::thread feeder;
    bool feederStop = false;
    bool feederActive = false;
    std::vector<std::vector<uint8_t>> events;
    DWORD paceMs = 0;
    bool loop = false;

    // The stream source: a reader whose generation is no longer current
    // delivers nothing and ends.
    uint32_t streamGeneration = 0;
    bool streamActive = false;
    std::string streamFile;      // the followed file's name; empty for a pipe
    uint64_t streamConsumed = 0; // bytes of it up to the last line handed on
    uint32_t streamPending = 0;  // records read and passed, waiting for free ones
    // Records out at once: the pool, or fewer while a stream runs, so that
    // the list never has many more rows queued than it keeps.
    int deliverCap = kSimPoolSlots;

    // A program prints the counters when it closes the device; tests do not.
    bool printCounters = true;
};

// The parts call each other one way: the device calls (sim_device.cpp) use the
// sources (sim_feeder.cpp), which use the stream reader (sim_stream.cpp), the
// trace loader (sim_trace.cpp) and the scenario (sim_scenario.cpp); the
// device, the sources and the stream use the pool (sim_pool.cpp); the device
// writes control lines (sim_control.cpp); and every part reads the state and
// the environment (sim_env.cpp).

// State and environment (sim_env.cpp).
SimState& Sim();
// The environment variable name's value, or fallback when it is not set.
std::string SimEnv(const char* name, const char* fallback);

// Pool (sim_pool.cpp); the caller holds the lock.
SimInjectResult SimDeliverLocked(SimState& s, const void* bytes, size_t size);
BOOL SimReleaseLocked(SimState& s, DWORD address);
bool SimPoolHasFreeLocked(); // fewer than deliverCap records are out
// Waits until a record is free (and others had their moment to gather) or
// giveUp() holds; the caller holds the lock in hold.
void SimWaitForFreeLocked(SimState& s, std::unique_lock<std::mutex>& hold,
                          const std::function<bool()>& giveUp);
bool SimPassesFiltersLocked(const SimState& s, const void* bytes);
void SimPoolDiscardLocked(SimState& s); // the driver unloads: every record is freed

// Registration (sim_device.cpp); the caller holds the lock.
void SimUnregisterLocked(SimState& s);

// Feeder (sim_feeder.cpp); called without the lock.
void SimStartFromEnvironment();

// Stream (sim_stream.cpp); the caller holds the lock. Starts the reader of
// SimStartStream, after the caller stopped any other source.
void SimStreamStartLocked(SimState& s, HANDLE input, const char* name, bool follow,
                          bool closeInput);
// Ends the stream source, if any.
void SimEndStreamLocked(SimState& s);
// Call lines of the followed file that the stream has not read yet (0 for a
// pipe or once its input ended).
uint32_t SimStreamUnreadLocked(const SimState& s);

// Records of a call trace file (sim_trace.cpp); false when none could be read
// or trace support is not built in.
bool SimLoadTrace(const char* path, std::vector<std::vector<uint8_t>>* records);
