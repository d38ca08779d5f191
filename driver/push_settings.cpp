#include "driver/listener.h"

#include <stdint.h>

#include "driver/driver_link.h"
#include "event/ifs_vocab.h"
#include "settings/monitor_settings.h"

// CTL_FUNC_ENABLE's value: the enable byte sign-extended in the high half,
// the function code in the low half.
static DWORD FuncEnableValue(int8_t enable, uint8_t code) {
    return (DWORD)(uint16_t)(int16_t)enable << 16 | code;
}

void PushSettings() {
    DriverCall(CTL_RESULT_FILTER, (DWORD)(int32_t)ResultMonFg);
    DriverCall(CTL_ENABLE, (DWORD)(int32_t)EnaMonitorFg);
    for (int i = 0; i < kIfsFuncCount; ++i)
        DriverCall(CTL_FUNC_ENABLE, FuncEnableValue(IfsFncMonEnaFg[i], IfsFuncTable.Codes[i]));
}
