// The settings value parsers on arbitrary texts: column widths are always at
// least 1, the enable bytes follow the text's first 30 characters and are 1
// beyond them, and a derived settings path either fits its destination or
// leaves it untouched.
#include "fuzz_bytes.h"
#include "settings/settings_values.h"
#include "text/str_prim.h"

namespace {

int DluToPixelX(int dlu) {
    return dlu * 3 / 2;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint32_t destSize = data[0];
    HeapText text = TextCopy(data + 1, size - 1);
    const size_t len = strlen(text.get());

    int32_t widths[kListColumnCount];
    ParseColWidths(text.get(), widths, DluToPixelX);
    for (int32_t w : widths)
        FUZZ_CHECK(w >= 1);

    int8_t enables[kIfsFuncCount];
    ParseEnableText(text.get(), enables);
    for (size_t j = 0; j < kIfsFuncCount; ++j) {
        const int8_t want = j < len ? static_cast<int8_t>(text.get()[j] - '0') : 1;
        FUZZ_CHECK(enables[j] == want);
    }

    FUZZ_CHECK(ViewLineQtyAtLeastOne(StrToNum(text.get(), nullptr)) >= 1);

    HeapText dest = Block(destSize, 0xA5);
    HeapText before = Block(destSize, 0xA5);
    if (SettingsPathFromModule(dest.get(), destSize, text.get())) {
        const size_t got = strlen(dest.get());
        FUZZ_CHECK(got + 1 <= destSize);
        FUZZ_CHECK(got >= 4 && memcmp(dest.get() + got - 4, ".INI", 4) == 0);
    } else {
        FUZZ_CHECK(destSize == 0 || memcmp(dest.get(), before.get(), destSize) == 0);
    }
    return 0;
}
