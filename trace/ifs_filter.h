// Which calls the monitor asked to see: the hook driver's filter, as the
// monitor sets it with CTL_ENABLE, CTL_RESULT_FILTER and CTL_FUNC_ENABLE.
// Every view of talvek-hook decides with IfsFilterPasses before a call
// leaves it, and so does the stand-in driver before it delivers a record; the
// stand-in also writes the state as a control line.
//
// A call passes when monitoring is on, its IFS function is enabled (by
// function code; a code never switched off stays enabled) and its result
// matches the result filter: 0 every result, 1 result 0 only, 2 non-zero
// results only (any other value lets every result through). A call with no
// IFS counterpart (kIfsNoFunction), or any function number outside 0 to
// 0xFFFF, never passes.
//
// The state as text, the words of talvek-hook's options:
//   --monitoring on|off   --results all|ok|failed
//   --functions LIST      the enabled functions among the 30 the list shows,
//                         comma-separated names (any case, any order; empty:
//                         none), e.g. OPEN,FINDOPEN,SEARCH,FILEATTRIB
// and as one control line (talvek-hook --control, TALVEKSIM_CONTROL), with
// the functions in table order when written:
//   monitoring=on results=failed functions=FILEATTRIB,OPEN,SEARCH,FINDOPEN
// A line may leave out a key: that part of the state stays as it was.
#pragma once

#include <stdint.h>

#include <bitset>
#include <string>
#include <string_view>

constexpr int32_t kIfsNoFunction = -1;

struct IfsFilter {
    bool monitoring = true;
    int32_t results = 0;         // enum ResultFilter (driver/driver_ctl.h)
    std::bitset<65536> disabled; // by IFS function code
};

bool IfsFunctionEnabled(const IfsFilter& f, int32_t func);
bool IfsFilterPasses(const IfsFilter& f, int32_t func, int32_t result);

// Bit i: the function at position i of IfsFuncTable is enabled.
uint32_t IfsFilterPositions(const IfsFilter& f);

// The driver's control calls (driver/driver_ctl.h): CTL_ENABLE,
// CTL_RESULT_FILTER and CTL_FUNC_ENABLE (the enable flag in the high 16
// bits, the code in the low 16) change the state as the driver does; false
// for any other code.
bool IfsFilterControl(IfsFilter* f, uint32_t code, uint32_t value);

// The option values and the control line; false with `error` (one line) when
// the text is not one of the words above, and then f is unchanged.
bool IfsFilterParseMonitoring(std::string_view word, IfsFilter* f, std::string* error);
bool IfsFilterParseResults(std::string_view word, IfsFilter* f, std::string* error);
bool IfsFilterParseFunctions(std::string_view list, IfsFilter* f, std::string* error);
bool IfsFilterParseLine(std::string_view line, IfsFilter* f, std::string* error);

// The whole state as a control line, without its line end.
std::string IfsFilterLine(const IfsFilter& f);
