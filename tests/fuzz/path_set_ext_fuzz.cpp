// PathSetExt on arbitrary paths and extensions, in a buffer of exactly the
// size that the longest result needs (path, '.', extension, NUL). The folder
// part and the file name up to its first dot stay, and the result ends with
// '.' and the extension.
#include "fuzz_bytes.h"
#include "text/str_prim.h"

namespace {

constexpr size_t kPathMax = 300;
constexpr size_t kExtMax = 15;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t rest = size - 1;
    const size_t extLen = data[0] % (kExtMax + 1) < rest ? data[0] % (kExtMax + 1) : rest;
    HeapText ext = TextCopy(data + 1, extLen);
    const size_t extChars = strlen(ext.get());
    HeapText original =
        TextCopy(data + 1 + extLen, rest - extLen < kPathMax ? rest - extLen : kPathMax);
    const size_t pathLen = strlen(original.get());

    HeapText path = Block(pathLen + 1 + extChars + 1, 0xA5);
    memcpy(path.get(), original.get(), pathLen + 1);
    PathSetExt(path.get(), ext.get());

    const char* slash = strrchr(original.get(), '\\');
    const size_t nameAt = slash == nullptr ? 0 : static_cast<size_t>(slash - original.get()) + 1;
    const char* dot = strchr(original.get() + nameAt, '.');
    const size_t keep = dot == nullptr ? pathLen : static_cast<size_t>(dot - original.get());
    const size_t resultLen = strlen(path.get());
    FUZZ_CHECK(resultLen == keep + 1 + extChars);
    FUZZ_CHECK(memcmp(path.get(), original.get(), keep) == 0);
    FUZZ_CHECK(path.get()[keep] == '.');
    FUZZ_CHECK(memcmp(path.get() + keep + 1, ext.get(), extChars) == 0);
    return 0;
}
