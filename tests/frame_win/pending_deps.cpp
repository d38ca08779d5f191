// TEMPORARY, test-only: minimal stand-ins for IniWriteInts and StrScan, which
// are being written elsewhere. They cover only what these tests use (%d and
// blank runs; one to four integers). Delete this file once the real routines
// are part of the libraries.
#include "settings/ini_file.h"
#include "text/str_scan.h"

#include <cstdarg>
#include <cstdint>

void IniWriteInts(const char* section, const char* key, int32_t a, int32_t b, int32_t c,
                  int32_t d) {
    char text[48];
    if (d != kIniAbsent) {
        wsprintfA(text, "%d %d %d %d", a, b, c, d);
    } else if (c != kIniAbsent) {
        wsprintfA(text, "%d %d %d", a, b, c);
    } else if (b != kIniAbsent) {
        wsprintfA(text, "%d %d", a, b);
    } else {
        wsprintfA(text, "%d", a);
    }
    WritePrivateProfileStringA(section, key, text, IniPath);
}

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

void StrScan(const char* in, const char* pat, ...) {
    va_list args;
    va_start(args, pat);
    while (*in != '\0' && *pat != '\0') {
        if (pat[0] == '%' && pat[1] == 'd') {
            bool negative = false;
            if (*in == '-' || *in == '+') {
                negative = *in++ == '-';
            }
            uint32_t value = 0;
            while (*in >= '0' && *in <= '9') {
                value = value * 10 + static_cast<uint32_t>(*in++ - '0');
            }
            *va_arg(args, int32_t*) = static_cast<int32_t>(negative ? 0u - value : value);
            pat += 2;
        } else if (IsBlank(*in) && IsBlank(*pat)) {
            while (IsBlank(*in)) {
                ++in;
            }
            while (IsBlank(*pat)) {
                ++pat;
            }
        } else if (*in == *pat) {
            ++in;
            ++pat;
        } else {
            break;
        }
    }
    va_end(args);
}
