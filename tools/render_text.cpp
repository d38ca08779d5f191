#include "tools/render_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace {

iconv_t gToUtf8 = reinterpret_cast<iconv_t>(-1); // set when the terminal takes UTF-8

void AppendHex(std::string* out, unsigned char b) {
    static const char hex[] = "0123456789ABCDEF";
    out->push_back('%');
    out->push_back(hex[b >> 4]);
    out->push_back(hex[b & 15]);
}

bool IsControl(unsigned char b) {
    return b < 0x20 || b == 0x7F;
}

// One code page 949 character of one or two bytes in UTF-8; false when the
// bytes are none.
bool AppendUtf8(std::string* out, const char* bytes, size_t size) {
    char in[2];
    std::memcpy(in, bytes, size);
    char utf8[8];
    char* from = in;
    char* to = utf8;
    size_t fromLeft = size;
    size_t toLeft = sizeof utf8;
    iconv(gToUtf8, nullptr, nullptr, nullptr, nullptr);
    if (iconv(gToUtf8, &from, &fromLeft, &to, &toLeft) == static_cast<size_t>(-1) || fromLeft != 0)
        return false;
    out->append(utf8, static_cast<size_t>(to - utf8));
    return true;
}

} // namespace

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (IsControl(static_cast<unsigned char>(c)))
            AppendHex(&out, static_cast<unsigned char>(c));
        else
            out.push_back(c);
    }
    return out;
}

void TerminalSetUp() {
    std::setlocale(LC_CTYPE, "");
    const char* set = nl_langinfo(CODESET);
    if (set != nullptr && std::strcmp(set, "UTF-8") == 0)
        gToUtf8 = iconv_open("UTF-8", "CP949");
}

std::string TerminalName(std::string_view cp949) {
    if (gToUtf8 == reinterpret_cast<iconv_t>(-1))
        return EscapeControls(cp949);
    std::string out;
    out.reserve(cp949.size() + cp949.size() / 2);
    for (size_t i = 0; i < cp949.size();) {
        const unsigned char b = static_cast<unsigned char>(cp949[i]);
        if (b < 0x80) {
            if (IsControl(b))
                AppendHex(&out, b);
            else
                out.push_back(static_cast<char>(b));
            ++i;
        } else if (i + 1 < cp949.size() && AppendUtf8(&out, cp949.data() + i, 2)) {
            i += 2;
        } else {
            AppendHex(&out, b);
            ++i;
        }
    }
    return out;
}
