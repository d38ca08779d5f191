#include "settings/monitor_settings.h"

int32_t MaxViewLineQty = 200;
int8_t ResultMonFg = 0;
int8_t EnaMonitorFg = 1;
int8_t IfsFncMonEnaFg[kIfsFuncCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
