#include "settings/monitor_settings.h"

#include <windows.h>

#include "settings/ini_file.h"
#include "settings/settings_values.h"
#include "text/str_prim.h"

int32_t MaxViewLineQty = 200;
int8_t ResultMonFg = 0;
int8_t EnaMonitorFg = 1;
int8_t IfsFncMonEnaFg[kIfsFuncCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

namespace {

constexpr char kKeyColWidths[] = "ColWidths";
constexpr char kKeyMaxViewLineQty[] = "MaxViewLineQty";
constexpr char kKeyResultMonFg[] = "ResultMonFg";
constexpr char kKeyEnaMonitorFg[] = "EnaMonitorFg";
constexpr char kKeyIfsFncMonEnaFg[] = "IfsFncMonEnaFg";

constexpr int32_t kDefaultViewLineQty = 200;
constexpr int32_t kDefaultResultMonFg = 0;
constexpr int32_t kDefaultEnaMonitorFg = 1;

// The low 8 bits of a stored number; no range test.
int8_t LowByte(int32_t value) {
    return static_cast<int8_t>(static_cast<uint8_t>(value));
}

} // namespace

void LoadMonitorSettings() {
    MaxViewLineQty =
        ViewLineQtyAtLeastOne(IniReadInt(kIniConfig, kKeyMaxViewLineQty, kDefaultViewLineQty));
    ResultMonFg = LowByte(IniReadInt(kIniConfig, kKeyResultMonFg, kDefaultResultMonFg));
    EnaMonitorFg = LowByte(IniReadInt(kIniConfig, kKeyEnaMonitorFg, kDefaultEnaMonitorFg));
    char text[kIniValueSize];
    IniReadStr(kIniConfig, kKeyIfsFncMonEnaFg, text, nullptr);
    ParseEnableText(text, IfsFncMonEnaFg);
}

void ReadColWidths(int32_t widths[kListColumnCount], int (*dluToPixelX)(int)) {
    char text[kIniValueSize];
    IniReadStr(kIniConfig, kKeyColWidths, text, nullptr);
    ParseColWidths(text, widths, dluToPixelX);
}

void WriteColWidths(const int32_t widths[kListColumnCount]) {
    // Six values of full width, each with its blank, and the NUL.
    char text[kListColumnCount * 12 + 1] = "";
    static_assert(sizeof text <= kIniValueSize, "read back whole by IniReadStr");
    for (int i = 0; i < kListColumnCount; ++i)
        wsprintfA(StrEnd(text), "%d ", widths[i]);
    IniWriteStr(kIniConfig, kKeyColWidths, text);
}

void WriteOptionSettings(const char enableText[kIfsFuncCount + 1], int32_t maxViewLineQty,
                         int32_t resultMonFg, int32_t enaMonitorFg) {
    IniWriteStr(kIniConfig, kKeyIfsFncMonEnaFg, enableText);
    IniWriteInts(kIniConfig, kKeyMaxViewLineQty, ViewLineQtyAtLeastOne(maxViewLineQty), kIniAbsent,
                 kIniAbsent, kIniAbsent);
    IniWriteInts(kIniConfig, kKeyResultMonFg, resultMonFg, kIniAbsent, kIniAbsent, kIniAbsent);
    IniWriteInts(kIniConfig, kKeyEnaMonitorFg, enaMonitorFg, kIniAbsent, kIniAbsent, kIniAbsent);
}
