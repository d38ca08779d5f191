#include "text/text_format.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

char* FmtHex(char* dst, uint32_t value) {
    int digits = 1;
    for (uint32_t rest = value >> 4; rest != 0; rest >>= 4)
        ++digits;
    char* end = dst + digits;
    *end = '\0';
    for (char* p = end; p != dst; value >>= 4)
        *--p = kHexDigits[value & 0xF];
    return end;
}

char* FmtHex8(char* dst, uint32_t value) {
    for (int i = kFmtHexMax - 1; i >= 0; --i, value >>= 4)
        dst[i] = kHexDigits[value & 0xF];
    dst[kFmtHexMax] = '\0';
    return dst + kFmtHexMax;
}

char* FmtDec(char* dst, int32_t value) {
    // The magnitude on 32 unsigned bits also holds that of INT32_MIN.
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *dst++ = '-';
        magnitude = 0u - magnitude;
    }
    int digits = 1;
    for (uint32_t rest = magnitude / 10; rest != 0; rest /= 10)
        ++digits;
    char* end = dst + digits;
    *end = '\0';
    for (char* p = end; p != dst; magnitude /= 10)
        *--p = static_cast<char>('0' + magnitude % 10);
    return end;
}

char* FmtCopy(char* dst, const char* text) {
    while ((*dst = *text++) != '\0')
        ++dst;
    return dst;
}
