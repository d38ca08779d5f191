// StrSkipTokens on arbitrary text and counts: the result lies within the
// text, a negative count runs to the end, and skipping a then b tokens lands
// where skipping a + b tokens does.
#include "fuzz_bytes.h"
#include "text/str_prim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int32_t a = static_cast<int8_t>(data[0]);
    const int32_t b = data[1] % 8;
    HeapText text = TextCopy(data + 2, size - 2);
    const char* begin = text.get();
    const char* end = begin + strlen(begin);

    const char* afterA = StrSkipTokens(begin, a);
    FUZZ_CHECK(afterA >= begin && afterA <= end);
    if (a == 0)
        FUZZ_CHECK(afterA == begin);
    if (a < 0) {
        FUZZ_CHECK(afterA == end);
        return 0;
    }
    const char* afterAB = StrSkipTokens(afterA, b);
    FUZZ_CHECK(afterAB >= afterA && afterAB <= end);
    if (a > 0 && b > 0)
        FUZZ_CHECK(StrSkipTokens(begin, a + b) == afterAB);
    return 0;
}
