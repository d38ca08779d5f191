// A mixed call trace for the benchmarks: every monitored function, records
// without names, with Path1 and with both paths, and every flag bit of every
// flag set, built as call-trace lines and parsed into record bytes.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// The trace lines, six per monitored function (180 lines).
std::vector<std::string> MixedTraceLines();

// The records of MixedTraceLines(), each with its Path2 and NUL.
std::vector<std::vector<uint8_t>> MixedRecords();
