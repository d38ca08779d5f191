// The /proc texts the hook reads (proc_text.h).
#include "hook/proc_text.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p, const char* end) {
    while (p < end && IsBlank(*p))
        ++p;
    return p;
}

unsigned DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    return 99;
}

// The number in `base` at *p (before end), at most max; *p moves past it.
// false, *p unchanged, when there is no digit or the value exceeds max.
bool TakeNumber(const char** p, const char* end, unsigned base, uint64_t max, uint64_t* value) {
    const char* q = *p;
    uint64_t v = 0;
    for (; q < end && DigitValue(*q) < base; ++q) {
        const unsigned digit = DigitValue(*q);
        if (digit > max || v > (max - digit) / base)
            return false;
        v = v * base + digit;
    }
    if (q == *p)
        return false;
    *p = q;
    *value = v;
    return true;
}

// A whole value: one number, blanks around it.
bool WholeNumber(const std::string& text, unsigned base, uint64_t max, uint64_t* value) {
    const char* end = text.data() + text.size();
    const char* p = SkipBlanks(text.data(), end);
    return TakeNumber(&p, end, base, max, value) && SkipBlanks(p, end) == end;
}

// Calls take(begin, end, whole) for each line, whole when a newline ended
// it; stops when take returns false.
template <typename Take> void ForEachLine(const char* text, size_t n, Take take) {
    const char* p = text;
    const char* end = text + n;
    while (p < end) {
        const auto* newline =
            static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!take(p, newline != nullptr ? newline : end, newline != nullptr))
            return;
        p = newline != nullptr ? newline + 1 : end;
    }
}

// A mountinfo field with the kernel's escapes ("\040" for a space, "\134"
// for a backslash) undone.
std::string Unescaped(const char* p, const char* end) {
    std::string out;
    while (p < end) {
        const char* q = p + 1;
        uint64_t byte = 0;
        if (*p == '\\' && end - q >= 3 && TakeNumber(&q, q + 3, 8, 255, &byte) && q == p + 4) {
            out.push_back(static_cast<char>(byte));
            p = q;
        } else {
            out.push_back(*p++);
        }
    }
    return out;
}

// One mountinfo line: "id parent major:minor root point options [optional
// fields...] - type source super-options".
bool ParseMountLine(const char* p, const char* end, MountLine* mount) {
    std::vector<std::pair<const char*, const char*>> fields;
    while (p < end) {
        const auto* space = static_cast<const char*>(memchr(p, ' ', static_cast<size_t>(end - p)));
        const char* fieldEnd = space != nullptr ? space : end;
        if (fieldEnd != p)
            fields.emplace_back(p, fieldEnd);
        p = space != nullptr ? space + 1 : end;
    }
    for (size_t i = 6; i + 1 < fields.size(); ++i) {
        if (fields[i].second - fields[i].first == 1 && *fields[i].first == '-') {
            mount->point = Unescaped(fields[4].first, fields[4].second);
            mount->type = Unescaped(fields[i + 1].first, fields[i + 1].second);
            return true;
        }
    }
    return false;
}

} // namespace

bool ReadProcText(const char* path, std::string* text, size_t limit) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    text->clear();
    char chunk[4096];
    bool ok = true;
    while (text->size() < limit) {
        const size_t want = std::min(sizeof chunk, limit - text->size());
        const ssize_t got = read(fd, chunk, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text->append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    return ok;
}

bool ProcLinkName(const char* text, ssize_t n, size_t capacity, std::string* name) {
    if (n <= 0 || static_cast<size_t>(n) >= capacity || text[0] != '/')
        return false;
    name->assign(text, static_cast<size_t>(n));
    return true;
}

bool ReadProcLink(const std::string& link, std::string* name) {
    char buffer[PATH_MAX];
    return ProcLinkName(buffer, readlink(link.c_str(), buffer, sizeof buffer), sizeof buffer, name);
}

bool ParseProcStat(const char* text, size_t n, ProcStat* stat) {
    const char* end = text + n;
    const char* p = text;
    uint64_t pid = 0;
    if (!TakeNumber(&p, end, 10, INT32_MAX, &pid) || pid == 0 || end - p < 2 || p[0] != ' ' ||
        p[1] != '(')
        return false;
    const char* name = p + 2;
    const char* close = end;
    while (close > name && close[-1] != ')')
        --close;
    if (close == name)
        return false; // no ')' after the '('
    p = close;        // just past the last ')'
    uint64_t ppid = 0;
    if (end - p < 4 || p[0] != ' ' || IsBlank(p[1]) || p[1] == '\n' || p[2] != ' ')
        return false;
    const char state = p[1];
    p += 3;
    if (!TakeNumber(&p, end, 10, INT32_MAX, &ppid))
        return false;
    stat->pid = static_cast<int32_t>(pid);
    stat->comm.assign(name, static_cast<size_t>(close - 1 - name));
    stat->state = state;
    stat->ppid = static_cast<int32_t>(ppid);
    return true;
}

std::string ParseProcComm(const char* text, size_t n) {
    if (n > 0 && text[n - 1] == '\n')
        --n;
    return std::string(text, n);
}

bool ParseStatusField(const char* text, size_t n, const char* key, std::string* value) {
    const size_t keyLength = strlen(key);
    bool found = false;
    ForEachLine(text, n, [&](const char* line, const char* end, bool whole) {
        if (!whole || static_cast<size_t>(end - line) <= keyLength ||
            memcmp(line, key, keyLength) != 0 || line[keyLength] != ':')
            return true;
        const char* first = SkipBlanks(line + keyLength + 1, end);
        while (end > first && IsBlank(end[-1]))
            --end;
        value->assign(first, static_cast<size_t>(end - first));
        found = true;
        return false;
    });
    return found;
}

bool ParseStatusTgid(const char* text, size_t n, int32_t* tgid) {
    std::string value;
    uint64_t v = 0;
    if (!ParseStatusField(text, n, "Tgid", &value) || !WholeNumber(value, 10, INT32_MAX, &v) ||
        v == 0)
        return false;
    *tgid = static_cast<int32_t>(v);
    return true;
}

bool ParseStatusMask(const char* text, size_t n, const char* key, uint64_t* mask) {
    std::string value;
    return ParseStatusField(text, n, key, &value) && WholeNumber(value, 16, UINT64_MAX, mask);
}

FdInfo ParseFdInfo(const char* text, size_t n) {
    FdInfo info;
    ForEachLine(text, n, [&](const char* line, const char* end, bool whole) {
        uint64_t v = 0;
        if (!whole)
            return false;
        if (!info.hasPos && end - line > 4 && memcmp(line, "pos:", 4) == 0) {
            const char* p = SkipBlanks(line + 4, end);
            const bool negative = p < end && *p == '-';
            p += negative ? 1 : 0;
            if (TakeNumber(&p, end, 10, negative ? uint64_t{1} << 63 : UINT64_MAX, &v)) {
                info.pos = negative ? 0 - v : v;
                info.hasPos = true;
            }
        } else if (!info.hasFlags && end - line > 6 && memcmp(line, "flags:", 6) == 0) {
            const char* p = SkipBlanks(line + 6, end);
            if (TakeNumber(&p, end, 8, UINT32_MAX, &v)) {
                info.flags = static_cast<uint32_t>(v);
                info.hasFlags = true;
            }
        }
        return !(info.hasPos && info.hasFlags);
    });
    return info;
}

std::vector<int32_t> ParseProcChildren(const char* text, size_t n) {
    std::vector<int32_t> children;
    const char* end = text + n;
    const char* p = text;
    for (;;) {
        while (p < end && (IsBlank(*p) || *p == '\n'))
            ++p;
        uint64_t pid = 0;
        if (!TakeNumber(&p, end, 10, INT32_MAX, &pid) || pid == 0 || p == end ||
            (!IsBlank(*p) && *p != '\n'))
            return children;
        children.push_back(static_cast<int32_t>(pid));
    }
}

std::vector<MountLine> ParseMountInfo(const char* text, size_t n) {
    std::vector<MountLine> mounts;
    ForEachLine(text, n, [&](const char* line, const char* end, bool whole) {
        MountLine mount;
        if (whole && ParseMountLine(line, end, &mount))
            mounts.push_back(std::move(mount));
        return true;
    });
    return mounts;
}
