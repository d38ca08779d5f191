// StrScan on an arbitrary input and pattern. Every conversion begins with a
// '%', so a pattern with at most kMaxDest of them needs at most kMaxDest
// destinations; each destination is a block that holds the longest word the
// input can give (input length + 1) and an int32_t: a %s that copied more than
// the input holds writes past its block and is reported.
#include "fuzz_bytes.h"
#include "text/str_scan.h"

namespace {

constexpr int kMaxDest = 12;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte splits the rest into pattern and input.
    const size_t rest = size - 1;
    const size_t patternLen = rest == 0 ? 0 : data[0] % (rest + 1);
    HeapText pattern = TextCopy(data + 1, patternLen);
    HeapText input = TextCopy(data + 1 + patternLen, rest - patternLen);

    // Cut the pattern before its (kMaxDest + 1)th '%'.
    int percents = 0;
    for (char* p = pattern.get(); *p != '\0'; ++p) {
        if (*p == '%' && ++percents > kMaxDest) {
            *p = '\0';
            break;
        }
    }

    const size_t inputLen = strlen(input.get());
    const size_t destSize = inputLen + 1 < sizeof(int32_t) ? sizeof(int32_t) : inputLen + 1;
    HeapText dest[kMaxDest];
    for (HeapText& d : dest)
        d = Block(destSize, 0xA5);
    StrScan(input.get(), pattern.get(), dest[0].get(), dest[1].get(), dest[2].get(), dest[3].get(),
            dest[4].get(), dest[5].get(), dest[6].get(), dest[7].get(), dest[8].get(),
            dest[9].get(), dest[10].get(), dest[11].get());
    static_assert(kMaxDest == 12, "one argument per destination");

    return 0;
}
