// The monitoring settings: process-wide values owned by the window thread,
// loaded from [Config] at the monitor window's start.
#pragma once

#include <stdint.h>

#include "event/ifs_vocab.h" // kIfsFuncCount

constexpr int kListColumnCount = 6;

extern int32_t MaxViewLineQty;               // at least 1
extern int8_t ResultMonFg;                   // enum ResultFilter (driver/driver_ctl.h)
extern int8_t EnaMonitorFg;                  // 1 on, 0 off
extern int8_t IfsFncMonEnaFg[kIfsFuncCount]; // in IfsFuncTable order

// Loads MaxViewLineQty, ResultMonFg, EnaMonitorFg and the 30 enable bytes.
void LoadMonitorSettings();

// Reads [Config] ColWidths into six pixel widths; a missing or non-positive
// width becomes dluToPixelX(default width of that column).
void ReadColWidths(int32_t widths[kListColumnCount], int (*dluToPixelX)(int));

// Writes [Config] ColWidths: each width followed by one blank.
void WriteColWidths(const int32_t widths[kListColumnCount]);

// The options dialog's OK: writes IfsFncMonEnaFg, MaxViewLineQty, ResultMonFg
// and EnaMonitorFg, in this order, each as its own write.
void WriteOptionSettings(const char enableText[kIfsFuncCount + 1], int32_t maxViewLineQty,
                         int32_t resultMonFg, int32_t enaMonitorFg);
