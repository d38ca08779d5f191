#include "settings/settings_values.h"

#include "text/str_prim.h"

int32_t ViewLineQtyAtLeastOne(int32_t qty) {
    return qty < kMinViewLineQty ? kMinViewLineQty : qty;
}

void ParseColWidths(const char* text, int32_t widths[kListColumnCount], int (*dluToPixelX)(int)) {
    const char* pos = text;
    for (int i = 0; i < kListColumnCount; ++i) {
        int32_t width = StrToNum(pos, nullptr);
        if (width < 1)
            width = dluToPixelX(kColWidthDlu[i]);
        widths[i] = width;
        pos = StrSkipTokens(pos, 1);
    }
}

void ParseEnableText(const char* text, int8_t enables[kIfsFuncCount]) {
    MemFill(enables, kIfsFuncCount, 1);
    for (int j = 0; j < kIfsFuncCount && text[j] != '\0'; ++j)
        enables[j] = static_cast<int8_t>(static_cast<uint8_t>(text[j] - '0'));
}

namespace {

// Longest executable path accepted, terminator included: the platform's
// path limit.
constexpr uint32_t kModulePathMax = 260;
constexpr char kIniExt[] = "INI";

} // namespace

bool SettingsPathFromModule(char* dest, uint32_t destSize, const char* modulePath) {
    // PathSetExt works in place and may lengthen the path by ".INI", so it
    // runs in a scratch buffer with room for that; only a result that fits
    // is copied into dest.
    char scratch[kModulePathMax + sizeof kIniExt];
    uint32_t len = 0;
    while (modulePath[len] != '\0') {
        if (len + 1 >= kModulePathMax)
            return false;
        scratch[len] = modulePath[len];
        ++len;
    }
    scratch[len] = '\0';
    PathSetExt(scratch, kIniExt);
    const uint32_t derived = static_cast<uint32_t>(StrEnd(scratch) - scratch);
    if (derived + 1 > destSize)
        return false;
    for (uint32_t i = 0; i <= derived; ++i)
        dest[i] = scratch[i];
    return true;
}
