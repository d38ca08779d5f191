#include "hook/ifs_call.h"

namespace {

// Numbers are formatted by hand: snprintf was the hook's largest cost.
void AppendDigits(std::string* out, uint32_t value, bool hex) {
    char digits[10];
    int n = 0;
    const uint32_t base = hex ? 16 : 10;
    do {
        digits[n++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    if (hex)
        out->append("0x");
    while (n > 0)
        out->push_back(digits[--n]);
}

void AppendKey(std::string* out, const char* key) {
    out->push_back(' ');
    out->append(key);
    out->push_back('=');
}

void AppendNumber(std::string* out, const char* key, uint32_t value, bool hex) {
    AppendKey(out, key);
    AppendDigits(out, value, hex);
}

void AppendSigned(std::string* out, const char* key, int32_t value) {
    AppendKey(out, key);
    if (value < 0)
        out->push_back('-');
    AppendDigits(out, value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value),
                 false);
}

// A name's bytes with %HH for the bytes a trace cannot hold as they are.
void AppendText(std::string* out, const char* key, const char* text, size_t length) {
    static const char hex[] = "0123456789ABCDEF";
    AppendKey(out, key);
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b <= 0x20 || b == '%' || b == 0x7F) {
            out->push_back('%');
            out->push_back(hex[b >> 4]);
            out->push_back(hex[b & 15]);
        } else {
            out->push_back(static_cast<char>(b));
        }
    }
}

} // namespace

void AppendTraceLine(const IfsCall& c, uint32_t pid, const char* comm, std::string* out) {
    out->append("pid=");
    AppendDigits(out, pid, false);
    size_t commLength = 0;
    while (comm[commLength] != '\0' && commLength < 64)
        ++commLength;
    if (commLength > 0)
        AppendText(out, "comm", comm, commLength);
    AppendSigned(out, "func", c.func);
    AppendSigned(out, "drive", c.drive);
    if (c.resType != 0)
        AppendNumber(out, "restype", c.resType, true);
    if (c.result != 0)
        AppendSigned(out, "result", c.result);
    const struct {
        const char* key;
        uint32_t value;
    } fields[] = {{"length", c.length},   {"flags", c.flags}, {"sfn", c.sfn}, {"data", c.data},
                  {"options", c.options}, {"fh", c.fh},       {"pos", c.pos}, {"aux2", c.aux2}};
    for (const auto& f : fields) {
        if (f.value != 0)
            AppendNumber(out, f.key, f.value, true);
    }
    if (!c.path1.empty())
        AppendText(out, "path1", c.path1.data(), c.path1.size());
    if (!c.path2.empty())
        AppendText(out, "path2", c.path2.data(), c.path2.size());
    out->push_back('\n');
}
