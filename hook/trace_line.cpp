#include "hook/ifs_call.h"

#include <cstdio>

namespace {

void AppendNumber(std::string* out, const char* key, uint32_t value, bool hex) {
    char text[32];
    std::snprintf(text, sizeof text, hex ? " %s=0x%X" : " %s=%u", key, value);
    out->append(text);
}

void AppendSigned(std::string* out, const char* key, int32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, " %s=%d", key, value);
    out->append(text);
}

// A name's bytes with %HH for the bytes a trace cannot hold as they are.
void AppendText(std::string* out, const char* key, const char* text, size_t length) {
    static const char hex[] = "0123456789ABCDEF";
    out->push_back(' ');
    out->append(key);
    out->push_back('=');
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
    char head[24];
    std::snprintf(head, sizeof head, "pid=%u", pid);
    out->append(head);
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
