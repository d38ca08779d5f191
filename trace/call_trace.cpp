#include "trace/call_trace.h"

#include "event/ifs_call_rec.h"
#include "text/str_prim.h"

#include <algorithm>
#include <array>
#include <optional>
#include <type_traits>
#include <utility>

namespace {

enum class FieldKind { Signed32, Unsigned, ReqBlock, Path, Process };

// A value as given on the line, waiting to be set in the call.
struct FieldValue {
    bool given = false;
    uint32_t number = 0;
    std::string bytes; // request block or path
};

template <auto Member> void SetNumber(IfsCall& call, const FieldValue& v) {
    using Field = std::remove_reference_t<decltype(call.*Member)>;
    call.*Member = static_cast<Field>(v.number);
}
template <auto Member> void SetText(IfsCall& call, const FieldValue& v) {
    call.*Member = v.bytes;
}
void SetReq(IfsCall& call, const FieldValue& v) {
    SetIfsCallReq(&call, v.bytes);
}

struct FieldDef {
    std::string_view key;
    FieldKind kind;
    size_t width;                             // bytes of a number; most bytes of a path
    void (*set)(IfsCall&, const FieldValue&); // nullptr: not in the call
};

// A number field of the call, as wide as its member.
template <auto Member> constexpr FieldDef Number(std::string_view key, FieldKind kind) {
    return {key, kind, sizeof(std::declval<IfsCall&>().*Member), SetNumber<Member>};
}

constexpr FieldDef kFields[] = {
    Number<&IfsCall::fsd>("fsd", FieldKind::Unsigned),
    Number<&IfsCall::func>("func", FieldKind::Signed32),
    Number<&IfsCall::drive>("drive", FieldKind::Signed32),
    Number<&IfsCall::resType>("restype", FieldKind::Unsigned),
    Number<&IfsCall::codePage>("codepage", FieldKind::Unsigned),
    {"req", FieldKind::ReqBlock, kIfsReqSize, SetReq},
    Number<&IfsCall::length>("length", FieldKind::Unsigned),
    Number<&IfsCall::flags>("flags", FieldKind::Unsigned),
    Number<&IfsCall::sfn>("sfn", FieldKind::Unsigned),
    Number<&IfsCall::data>("data", FieldKind::Unsigned),
    Number<&IfsCall::options>("options", FieldKind::Unsigned),
    Number<&IfsCall::fh>("fh", FieldKind::Unsigned),
    Number<&IfsCall::pos>("pos", FieldKind::Unsigned),
    Number<&IfsCall::aux2>("aux2", FieldKind::Unsigned),
    Number<&IfsCall::result>("result", FieldKind::Signed32),
    {"path1", FieldKind::Path, kIfsCallPath1Max, SetText<&IfsCall::path1>},
    {"path2", FieldKind::Path, kIfsCallPath2Max, SetText<&IfsCall::path2>},
    // Not in the record: who made the call.
    {"pid", FieldKind::Process, 4, nullptr},
    {"comm", FieldKind::Path, 64, nullptr},
};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

constexpr size_t FieldIndex(std::string_view key) {
    size_t i = 0;
    while (i < kFieldCount && kFields[i].key != key)
        ++i;
    return i;
}
constexpr size_t kPidField = FieldIndex("pid");
constexpr size_t kCommField = FieldIndex("comm");
static_assert(kPidField < kFieldCount && kCommField < kFieldCount);
static_assert(sizeof(IfsCall::func) == 4 && sizeof(IfsCall::drive) == 4 &&
              sizeof(IfsCall::result) == 4);

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
        // Checked before it is computed: value * base + d may wrap.
        if (static_cast<uint64_t>(d) > limit || value > (limit - static_cast<uint64_t>(d)) / base) {
            *what = "value too wide";
            return std::nullopt;
        }
        value = value * base + static_cast<uint64_t>(d);
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
    if (text.size() != 2 * static_cast<size_t>(kIfsReqSize)) {
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

    TraceLineResult r{
        TraceLineKind::Record,   {}, {}, values[kPidField].given, values[kPidField].number,
        values[kCommField].bytes};
    // The whole request block first, the named fields over it.
    IfsCall call;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < kFieldCount; ++i) {
            const FieldDef& f = kFields[i];
            if (values[i].given && f.set != nullptr &&
                (f.kind == FieldKind::ReqBlock) == (pass == 0))
                f.set(call, values[i]);
        }
    }
    BuildIfsCallRec(call, &r.record); // the paths' lengths were checked as they were read
    return r;
}

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
    if (c.codePage != 0)
        AppendNumber(out, "codepage", c.codePage, true);
    if (c.fsd != 0)
        AppendNumber(out, "fsd", c.fsd, true);
    if (c.result != 0)
        AppendSigned(out, "result", c.result);
    if (!c.req.empty()) {
        static const char hex[] = "0123456789ABCDEF";
        AppendKey(out, "req");
        for (const char ch : c.req) {
            out->push_back(hex[static_cast<uint8_t>(ch) >> 4]);
            out->push_back(hex[static_cast<uint8_t>(ch) & 15]);
        }
    }
    const struct {
        const char* key;
        uint32_t value;
    } fields[] = {{"length", c.length},   {"flags", c.flags}, {"sfn", c.sfn}, {"data", c.data},
                  {"options", c.options}, {"fh", c.fh},       {"pos", c.pos}, {"aux2", c.aux2}};
    // Over a request block, a field of 0 is 0 only when it is given.
    for (const auto& f : fields) {
        if (f.value != 0 || !c.req.empty())
            AppendNumber(out, f.key, f.value, true);
    }
    if (!c.path1.empty())
        AppendText(out, "path1", c.path1.data(), c.path1.size());
    if (!c.path2.empty())
        AppendText(out, "path2", c.path2.data(), c.path2.size());
    out->push_back('\n');
}

bool IsTraceEndLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line == kTraceEndLine;
}
