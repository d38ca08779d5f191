// The stand-in's control lines (TALVEKSIM_CONTROL): the filter state after
// each accepted CTL_ENABLE, CTL_RESULT_FILTER or CTL_FUNC_ENABLE, one line of
// trace/ifs_filter.h each, for talvek-hook --control. The caller holds the
// stand-in's lock.
#pragma once

#include "simdriver/sim_state.h"

// At the device's open: the file named by TALVEKSIM_CONTROL (or by
// SimSetControlFile once a test configured the stand-in), opened for appending.
void SimControlOpenLocked(const SimState& s);

// Appends the line of the current state; nothing when no file is open.
void SimControlWriteLocked(const SimState& s);

// At the device's close.
void SimControlCloseLocked();

// A fresh stand-in (SimReset): closed, and no file named.
void SimControlResetLocked();
