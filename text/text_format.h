// Number and text formatting into a caller's buffer, byte for byte as
// wsprintfA writes "%X", "%8.8X", "%d" and "%s". Each routine writes its text
// and a terminating NUL and returns the NUL's address, so that texts can be
// chained without searching for their ends.
#pragma once

#include <stdint.h>

constexpr int kFmtHexMax = 8;  // digits of "%X" and "%8.8X"
constexpr int kFmtDecMax = 11; // "-2147483648"

// "%X": upper-case hexadecimal without leading zeros (0 gives "0").
char* FmtHex(char* dst, uint32_t value);

// "%8.8X": exactly eight upper-case hexadecimal digits.
char* FmtHex8(char* dst, uint32_t value);

// "%d": signed decimal.
char* FmtDec(char* dst, int32_t value);

// "%s": copies text with its terminator.
char* FmtCopy(char* dst, const char* text);
