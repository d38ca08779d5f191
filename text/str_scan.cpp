#include "text/str_scan.h"

#include "text/str_prim.h"

#include <stdarg.h>
#include <stdint.h>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// %d: an optional sign, digits and a decimal fraction, scaled by 10^precision.
// The magnitude is rounded by the first dropped fraction digit alone. All
// arithmetic wraps on 32 bits. Returns the first byte not taken.
const char* ScanNumber(const char* in, uint8_t precision, int32_t* dest) {
    bool negative = false;
    if (*in == '-') {
        negative = true;
        ++in;
    }
    if (*in == '+')
        ++in;
    uint32_t value = 0;
    bool inFraction = false;
    uint32_t fractionTaken = 0; // reaches precision + 1 once the rounding digit was seen
    for (;; ++in) {
        if (*in == '.') {
            if (inFraction)
                break; // a second dot ends the number
            inFraction = true;
            continue;
        }
        if (!IsDigit(*in))
            break;
        const uint32_t digit = static_cast<uint32_t>(*in - '0');
        if (!inFraction) {
            value = value * 10 + digit;
        } else if (fractionTaken < precision) {
            value = value * 10 + digit;
            ++fractionTaken;
        } else if (fractionTaken == precision) {
            if (digit >= 5)
                ++value;
            ++fractionTaken;
        }
        // later fraction digits are consumed and ignored
    }
    for (; fractionTaken < precision; ++fractionTaken)
        value *= 10;
    if (negative)
        value = 0u - value;
    *dest = static_cast<int32_t>(value);
    return in;
}

// %s: a word up to the next blank, or a quoted word up to the same quote
// (which is consumed, not copied). Returns the first byte not taken.
const char* ScanWord(const char* in, char* dest) {
    if (IsQuote(*in)) {
        const char quote = *in++;
        while (*in != '\0' && *in != quote)
            *dest++ = *in++;
        if (*in == quote)
            ++in;
    } else {
        while (*in != '\0' && !IsBlank(*in))
            *dest++ = *in++;
    }
    *dest = '\0';
    return in;
}

} // namespace

void StrScan(const char* input, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    const char* in = input;
    const char* pat = pattern;
    while (*in != '\0' && *pat != '\0') {
        // The byte to match literally and where the pattern goes on after it.
        char literal = *pat;
        const char* next = pat + 1;
        if (literal == '%' && pat[1] == '%') {
            next = pat + 2;
        } else if (literal == '%') {
            const char* letter = pat + 1;
            uint8_t precision = 0; // kept modulo 256
            if (*letter == '.') {
                for (++letter; IsDigit(*letter); ++letter)
                    precision = static_cast<uint8_t>(precision * 10 + (*letter - '0'));
            }
            bool converted = true;
            switch (*letter) {
            case 'd':
                in = ScanNumber(in, precision, va_arg(args, int32_t*));
                break;
            case 'c':
                *va_arg(args, char*) = *in++;
                break;
            case 's':
                in = ScanWord(in, va_arg(args, char*));
                break;
            default:
                converted = false; // not a conversion: the '%' is an ordinary byte
                break;
            }
            if (converted) {
                pat = letter + 1;
                continue;
            }
        }

        // A run of blanks on either side counts as one space.
        char have = *in;
        if (IsBlank(have)) {
            while (IsBlank(*in))
                ++in;
            if (*in == '\0')
                break;
            have = ' ';
        } else {
            ++in;
        }
        if (IsBlank(literal)) {
            while (IsBlank(*next))
                ++next;
            if (*next == '\0')
                break;
            literal = ' ';
        }
        if (have != literal)
            break;
        pat = next;
    }
    va_end(args);
}
