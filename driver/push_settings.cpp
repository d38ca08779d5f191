#include "driver/listener.h"

#include <stdint.h>

#include "driver/driver_link.h"
#include "settings/monitor_settings.h"

// The IFS function codes of the 30 monitored functions, in the order of
// their enable bytes.
constexpr uint8_t kPushFuncCodes[kIfsFuncCount] = {
    0,  1,  2,  3,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 30,
    31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45,
};

// CTL_FUNC_ENABLE's value: the enable byte sign-extended in the high half,
// the function code in the low half.
static DWORD FuncEnableValue(int8_t enable, uint8_t code) {
    return (DWORD)(uint16_t)(int16_t)enable << 16 | code;
}

void PushSettings() {
    DriverCall(CTL_RESULT_FILTER, (DWORD)(int32_t)ResultMonFg);
    DriverCall(CTL_ENABLE, (DWORD)(int32_t)EnaMonitorFg);
    for (int i = 0; i < kIfsFuncCount; ++i)
        DriverCall(CTL_FUNC_ENABLE, FuncEnableValue(IfsFncMonEnaFg[i], kPushFuncCodes[i]));
}
