#include "event/ifs_vocab.h"

#include "text/str_prim.h"

int32_t IfsFuncPosition(int32_t code) {
    return MemFindByte(IfsFuncTable.Codes, kIfsFuncCount, static_cast<uint8_t>(code));
}

namespace {

// Every code appears once, so that a search by byte finds its own position.
constexpr bool CodesAreDistinct() {
    for (int i = 0; i < kIfsFuncCount; ++i) {
        for (int j = i + 1; j < kIfsFuncCount; ++j) {
            if (IfsFuncTable.Codes[i] == IfsFuncTable.Codes[j])
                return false;
        }
    }
    return true;
}
static_assert(CodesAreDistinct());

} // namespace
