// The stand-in driver's state and its environment settings: what every other
// part of the stand-in reads, so that the parts call each other one way.
#include "simdriver/sim_state.h"

// Never destroyed: a feeder thread may still run when the process ends.
SimState& Sim() {
    static SimState* state = new SimState;
    return *state;
}

std::string SimEnv(const char* name, const char* fallback) {
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return fallback;
    return std::string(value, n);
}
