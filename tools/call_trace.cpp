#include "tools/call_trace.h"

#include "text/str_prim.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr size_t kPath2Offset = 400;
constexpr size_t kReqOffset = 20;
constexpr size_t kReqSize = 116;

enum class FieldKind { Signed32, Unsigned32, ReqField, ReqBlock, Path, Process };

struct FieldDef {
    std::string_view key;
    FieldKind kind;
    size_t offset; // in the record
    size_t width;  // bytes of a number; most bytes of a path
};

constexpr FieldDef kFields[] = {
    {"fsd", FieldKind::Unsigned32, 0, 4},
    {"func", FieldKind::Signed32, 4, 4},
    {"drive", FieldKind::Signed32, 8, 4},
    {"restype", FieldKind::Unsigned32, 12, 4},
    {"codepage", FieldKind::Unsigned32, 16, 4},
    {"req", FieldKind::ReqBlock, kReqOffset, kReqSize},
    {"length", FieldKind::ReqField, 20, 4},
    {"flags", FieldKind::ReqField, 24, 1},
    {"sfn", FieldKind::ReqField, 26, 2},
    {"data", FieldKind::ReqField, 40, 4},
    {"options", FieldKind::ReqField, 44, 2},
    {"fh", FieldKind::ReqField, 52, 4},
    {"pos", FieldKind::ReqField, 56, 4},
    {"aux2", FieldKind::ReqField, 60, 4},
    {"result", FieldKind::Signed32, 136, 4},
    {"path1", FieldKind::Path, 140, kTracePath1Max},
    {"path2", FieldKind::Path, kPath2Offset, kTracePath2Max},
    // Not in the record: who made the call.
    {"pid", FieldKind::Process, 0, 4},
    {"comm", FieldKind::Path, 0, 64},
};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

constexpr size_t FieldIndex(std::string_view key) {
    size_t i = 0;
    while (i < kFieldCount && kFields[i].key != key)
        ++i;
    return i;
}
constexpr size_t kPath2Field = FieldIndex("path2");
constexpr size_t kPidField = FieldIndex("pid");
constexpr size_t kCommField = FieldIndex("comm");
static_assert(kPath2Field < kFieldCount && kPidField < kFieldCount && kCommField < kFieldCount);

// A value as given on the line, waiting to be written into the record.
struct FieldValue {
    bool given = false;
    uint32_t number = 0;
    std::string bytes; // request block or path
};

// Reads an unsigned decimal or 0x-hexadecimal number; nullopt when the text
// is not one or its value exceeds limit.
std::optional<uint64_t> ReadUnsigned(std::string_view text, uint64_t limit, std::string* what) {
    uint64_t base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        *what = "number expected";
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0 || static_cast<uint64_t>(d) >= base) {
            *what = "bad number";
            return std::nullopt;
        }
        value = value * base + static_cast<uint64_t>(d);
        if (value > limit) {
            *what = "value too wide";
            return std::nullopt;
        }
    }
    return value;
}

bool HasHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// A number field: a '-' only before a decimal value of a signed field.
bool ReadNumber(const FieldDef& f, std::string_view text, FieldValue* v, std::string* what) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        if (f.kind != FieldKind::Signed32) {
            *what = "negative value";
            return false;
        }
        text.remove_prefix(1);
        if (HasHexPrefix(text)) {
            *what = "bad number";
            return false;
        }
    }
    uint64_t limit = (uint64_t{1} << (8 * f.width)) - 1;
    if (f.kind == FieldKind::Signed32 && !HasHexPrefix(text))
        limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    const auto value = ReadUnsigned(text, limit, what);
    if (!value)
        return false;
    const uint32_t number = static_cast<uint32_t>(*value);
    v->number = negative ? 0u - number : number;
    return true;
}

bool ReadReqBlock(std::string_view text, FieldValue* v, std::string* what) {
    if (text.size() != 2 * kReqSize) {
        *what = "expected 232 hex digits";
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigitValue(text[i]);
        const int lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) {
            *what = "expected 232 hex digits";
            return false;
        }
        v->bytes.push_back(static_cast<char>(hi << 4 | lo));
    }
    return true;
}

bool ReadPath(const FieldDef& f, std::string_view text, FieldValue* v, std::string* what) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        if (b == '%') {
            const int hi = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
            const int lo = hi >= 0 ? HexDigitValue(text[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                *what = "bad escape";
                return false;
            }
            b = static_cast<uint8_t>(hi << 4 | lo);
            if (b == 0) {
                *what = "NUL byte";
                return false;
            }
            i += 2;
        } else if (b < 0x20 || b == 0x7F) {
            *what = "unescaped control byte";
            return false;
        }
        if (v->bytes.size() == f.width) {
            *what = "path too long";
            return false;
        }
        v->bytes.push_back(static_cast<char>(b));
    }
    return true;
}

bool ReadField(const FieldDef& f, std::string_view text, FieldValue* v, std::string* what) {
    switch (f.kind) {
    case FieldKind::ReqBlock:
        return ReadReqBlock(text, v, what);
    case FieldKind::Path:
        return ReadPath(f, text, v, what);
    case FieldKind::Process: {
        if (!text.empty() && text[0] == '-') {
            *what = "negative value";
            return false;
        }
        const auto value = ReadUnsigned(text, 0xFFFFFFFFu, what);
        v->number = value ? static_cast<uint32_t>(*value) : 0;
        return value.has_value();
    }
    default:
        return ReadNumber(f, text, v, what);
    }
}

TraceLineResult Error(int lineNumber, std::string_view field, std::string_view what) {
    TraceLineResult r{TraceLineKind::Error, {}, {}, false, 0, {}};
    r.error =
        "line " + std::to_string(lineNumber) + ": " + std::string(field) + ": " + std::string(what);
    return r;
}

} // namespace

TraceLineResult ParseTraceLine(std::string_view line, int lineNumber) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    if (start == line.size() || line[start] == '#')
        return {TraceLineKind::Skip, {}, {}, false, 0, {}};

    std::array<FieldValue, kFieldCount> values;
    for (size_t pos = start; pos < line.size();) {
        size_t end = pos;
        while (end < line.size() && !IsBlank(line[end]))
            ++end;
        const std::string_view token = line.substr(pos, end - pos);
        pos = end;
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;

        const size_t eq = token.find('=');
        if (eq == std::string_view::npos)
            return Error(lineNumber, token, "expected key=value");
        const std::string_view key = token.substr(0, eq);
        const size_t index = FieldIndex(key);
        if (index == kFieldCount)
            return Error(lineNumber, key, "unknown key");
        FieldValue& v = values[index];
        if (v.given)
            return Error(lineNumber, key, "given twice");
        v.given = true;
        std::string what;
        if (!ReadField(kFields[index], token.substr(eq + 1), &v, &what))
            return Error(lineNumber, key, what);
    }

    const FieldValue& path2 = values[kPath2Field];
    TraceLineResult r{
        TraceLineKind::Record,   {}, {}, values[kPidField].given, values[kPidField].number,
        values[kCommField].bytes};
    r.record.assign(kPath2Offset + path2.bytes.size() + 1, 0);
    // The whole request block first, the named fields over it.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < kFieldCount; ++i) {
            const FieldDef& f = kFields[i];
            const FieldValue& v = values[i];
            if (!v.given || (f.kind == FieldKind::ReqBlock) != (pass == 0) || i == kPidField ||
                i == kCommField)
                continue;
            if (f.kind == FieldKind::ReqBlock || f.kind == FieldKind::Path) {
                std::copy(v.bytes.begin(), v.bytes.end(), r.record.begin() + f.offset);
            } else {
                for (size_t b = 0; b < f.width; ++b)
                    r.record[f.offset + b] = static_cast<uint8_t>(v.number >> (8 * b));
            }
        }
    }
    return r;
}
