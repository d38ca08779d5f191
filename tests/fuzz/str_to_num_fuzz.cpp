// StrToNum on arbitrary text: it stays within the text, and the bytes it
// reports as consumed read back as the same number on their own.
#include "fuzz_bytes.h"
#include "text/str_prim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeapText text = TextCopy(data, size);
    const size_t len = strlen(text.get());

    int32_t consumed = -7;
    const int32_t value = StrToNum(text.get(), &consumed);
    FUZZ_CHECK(consumed >= 0 && static_cast<size_t>(consumed) <= len);
    FUZZ_CHECK(StrToNum(text.get(), nullptr) == value);
    if (consumed == 0) {
        FUZZ_CHECK(value == 0);
        return 0;
    }
    // The number ends at the first byte not taken: cutting the text there
    // changes neither the value nor the count.
    HeapText prefix = TextCopy(data, static_cast<size_t>(consumed));
    int32_t again = -7;
    FUZZ_CHECK(StrToNum(prefix.get(), &again) == value);
    FUZZ_CHECK(again == consumed);
    return 0;
}
