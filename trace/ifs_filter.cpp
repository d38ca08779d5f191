#include "trace/ifs_filter.h"

#include <ctype.h>

#include "driver/driver_ctl.h"
#include "event/ifs_vocab.h"

namespace {

constexpr const char* kResultWords[] = {"all", "ok", "failed"};

// The name at position i of IfsFuncNames.
std::string_view FuncName(int i) {
    const char* name = IfsFuncNames;
    for (; i > 0; --i)
        name += std::char_traits<char>::length(name) + 1;
    return name;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (toupper(static_cast<unsigned char>(a[i])) != toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

int FuncPositionOfName(std::string_view name) {
    for (int i = 0; i < kIfsFuncCount; ++i) {
        if (SameWord(name, FuncName(i)))
            return i;
    }
    return -1;
}

bool Refuse(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what;
    return false;
}

} // namespace

bool IfsFunctionEnabled(const IfsFilter& f, int32_t func) {
    return func >= 0 && func <= 0xFFFF && !f.disabled[static_cast<size_t>(func)];
}

bool IfsFilterPasses(const IfsFilter& f, int32_t func, int32_t result) {
    if (!f.monitoring || !IfsFunctionEnabled(f, func))
        return false;
    if (f.results == RESULTS_OK)
        return result == 0;
    if (f.results == RESULTS_FAILED)
        return result != 0;
    return true;
}

uint32_t IfsFilterPositions(const IfsFilter& f) {
    uint32_t mask = 0;
    for (int i = 0; i < kIfsFuncCount; ++i) {
        if (IfsFunctionEnabled(f, IfsFuncTable.Codes[i]))
            mask |= 1u << i;
    }
    return mask;
}

bool IfsFilterControl(IfsFilter* f, uint32_t code, uint32_t value) {
    switch (code) {
    case CTL_ENABLE:
        f->monitoring = value != 0;
        return true;
    case CTL_RESULT_FILTER:
        f->results = static_cast<int32_t>(value);
        return true;
    case CTL_FUNC_ENABLE:
        f->disabled[value & 0xFFFF] = (value >> 16) == 0;
        return true;
    default:
        return false;
    }
}

bool IfsFilterParseMonitoring(std::string_view word, IfsFilter* f, std::string* error) {
    if (word != "on" && word != "off")
        return Refuse(error, "monitoring is on or off, not '" + std::string(word) + "'");
    f->monitoring = word == "on";
    return true;
}

bool IfsFilterParseResults(std::string_view word, IfsFilter* f, std::string* error) {
    for (int32_t i = 0; i < 3; ++i) {
        if (word == kResultWords[i]) {
            f->results = i;
            return true;
        }
    }
    return Refuse(error, "results are all, ok or failed, not '" + std::string(word) + "'");
}

bool IfsFilterParseFunctions(std::string_view list, IfsFilter* f, std::string* error) {
    uint32_t enabled = 0;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        const int position = FuncPositionOfName(name);
        if (position < 0)
            return Refuse(error, "no function is called '" + std::string(name) + "'");
        enabled |= 1u << position;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (comma != std::string_view::npos && list.empty())
            return Refuse(error, "a function list ends with a comma");
    }
    for (int i = 0; i < kIfsFuncCount; ++i)
        f->disabled[IfsFuncTable.Codes[i]] = (enabled & (1u << i)) == 0;
    return true;
}

bool IfsFilterParseLine(std::string_view line, IfsFilter* f, std::string* error) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    IfsFilter next = *f;
    while (!line.empty()) {
        const size_t blank = line.find(' ');
        const std::string_view field = line.substr(0, blank);
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        if (field.empty())
            continue;
        const size_t equals = field.find('=');
        const std::string_view key = field.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
        bool ok;
        if (equals == std::string_view::npos)
            ok = Refuse(error, "'" + std::string(field) + "' is not key=value");
        else if (key == "monitoring")
            ok = IfsFilterParseMonitoring(value, &next, error);
        else if (key == "results")
            ok = IfsFilterParseResults(value, &next, error);
        else if (key == "functions")
            ok = IfsFilterParseFunctions(value, &next, error);
        else
            ok = Refuse(error, "unknown key '" + std::string(key) + "'");
        if (!ok)
            return false;
    }
    *f = next;
    return true;
}

std::string IfsFilterLine(const IfsFilter& f) {
    std::string line = f.monitoring ? "monitoring=on" : "monitoring=off";
    line += " results=";
    line +=
        f.results == RESULTS_OK || f.results == RESULTS_FAILED ? kResultWords[f.results] : "all";
    line += " functions=";
    bool first = true;
    for (int i = 0; i < kIfsFuncCount; ++i) {
        if (!IfsFunctionEnabled(f, IfsFuncTable.Codes[i]))
            continue;
        if (!first)
            line += ',';
        line += FuncName(i);
        first = false;
    }
    return line;
}
