#include "hook/dos_name.h"

#include <dirent.h>
#include <iconv.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

std::string NormaliseUnixName(std::string_view name) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t end = name.find('/', pos);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view part = name.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

std::string ParentFolder(std::string_view name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(name.substr(0, slash));
}

namespace {

// Whether name is root or lies under it, at a component boundary.
bool IsUnder(std::string_view name, std::string_view root) {
    if (root.empty())
        return true;
    return name.size() >= root.size() && name.compare(0, root.size(), root) == 0 &&
           (name.size() == root.size() || name[root.size()] == '/');
}

std::string AbsoluteName(const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return NormaliseUnixName(name);
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return NormaliseUnixName("/" + name);
    return NormaliseUnixName(std::string(cwd) + "/" + name);
}

} // namespace

bool IsWinePrefixFolder(const std::string& folder) {
    struct stat st;
    return stat((folder + "/dosdevices").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DriveTable LoadWinePrefixDrives(const std::string& prefix) {
    DriveTable table;
    table.isWinePrefix = IsWinePrefixFolder;
    if (prefix.empty())
        return table;
    const std::string dir = AbsoluteName(prefix) + "/dosdevices";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return table;
    bool rootSeen = false;
    while (const dirent* e = readdir(d)) {
        const char* n = e->d_name;
        const char letter = static_cast<char>(n[0] & ~0x20);
        if (letter < 'A' || letter > 'Z' || n[1] != ':' || n[2] != '\0')
            continue;
        const std::string link = dir + "/" + n;
        char target[PATH_MAX];
        if (realpath(link.c_str(), target) == nullptr)
            continue;
        table.roots.push_back({letter, link});
        if (std::strcmp(target, "/") == 0) {
            if (!rootSeen || letter == 'Z')
                table.rootLetter = letter;
            rootSeen = true;
        } else {
            table.roots.push_back({letter, target});
        }
    }
    closedir(d);
    return table;
}

namespace {

bool IsWinePrefix(const DriveTable& drives, std::string_view folder) {
    if (!drives.isWinePrefix)
        return false;
    for (const auto& [name, isPrefix] : drives.prefixesSeen) {
        if (name == folder)
            return isPrefix;
    }
    std::string name(folder);
    const bool isPrefix = drives.isWinePrefix(name);
    drives.prefixesSeen.emplace_back(std::move(name), isPrefix);
    return isPrefix;
}

// The drive root a name has by its form inside a Wine prefix, when it is
// longer than *rootLength: ".../dosdevices/x:" or "<prefix>/drive_c".
void PrefixDriveRoot(const DriveTable& drives, std::string_view name, char* letter,
                     size_t* rootLength) {
    const auto endsComponent = [&](size_t at) { return at == name.size() || name[at] == '/'; };
    constexpr std::string_view kLinks = "/dosdevices/";
    for (size_t at = name.find(kLinks); at != std::string_view::npos;
         at = name.find(kLinks, at + 1)) {
        const size_t l = at + kLinks.size();
        const char c = static_cast<char>(l < name.size() ? name[l] & ~0x20 : 0);
        if (c >= 'A' && c <= 'Z' && l + 1 < name.size() && name[l + 1] == ':' &&
            endsComponent(l + 2) && l + 2 > *rootLength) {
            *letter = c;
            *rootLength = l + 2;
        }
    }
    constexpr std::string_view kDriveC = "/drive_c";
    for (size_t at = name.find(kDriveC); at != std::string_view::npos;
         at = name.find(kDriveC, at + 1)) {
        const size_t end = at + kDriveC.size();
        if (endsComponent(end) && end > *rootLength && IsWinePrefix(drives, name.substr(0, at))) {
            *letter = 'C';
            *rootLength = end;
        }
    }
}

} // namespace

std::string DosNameOf(const DriveTable& drives, std::string_view unixName, int32_t* drive) {
    char letter = drives.rootLetter;
    size_t rootLength = 0;
    size_t best = 0;
    for (const DriveRoot& r : drives.roots) {
        if (r.unixRoot.size() >= best && IsUnder(unixName, r.unixRoot)) {
            best = r.unixRoot.size();
            letter = r.letter;
            rootLength = r.unixRoot.size();
        }
    }
    PrefixDriveRoot(drives, unixName, &letter, &rootLength);
    std::string out;
    out.reserve(unixName.size() + 3);
    out += letter;
    out += ':';
    for (size_t i = rootLength; i < unixName.size(); ++i)
        out += unixName[i] == '/' ? '\\' : unixName[i];
    if (out.size() == 2)
        out += '\\';
    *drive = letter - 'A' + 1;
    return out;
}

namespace {

// Length of the UTF-8 sequence that starts with lead, or 0 for a byte that
// cannot start one.
size_t SequenceLength(uint8_t lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// One character through iconv; false when code page 949 has no such character
// or the sequence is malformed.
bool ConvertOne(std::string_view sequence, char out[4], size_t* outLength) {
    static iconv_t cd = iconv_open("CP949", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[4];
    std::memcpy(in, sequence.data(), sequence.size());
    char* inPtr = in;
    size_t inLeft = sequence.size();
    char* outPtr = out;
    size_t outLeft = 4;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return false;
    *outLength = 4 - outLeft;
    return *outLength > 0;
}

} // namespace

std::string Utf8ToCp949(std::string_view utf8, size_t maxBytes) {
    std::string out;
    out.reserve(std::min(utf8.size(), maxBytes));
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t lead = static_cast<uint8_t>(utf8[i]);
        char bytes[4];
        size_t length = 1;
        size_t used = SequenceLength(lead);
        for (size_t k = 1; k < used; ++k) {
            if (i + k >= utf8.size() || (static_cast<uint8_t>(utf8[i + k]) & 0xC0) != 0x80)
                used = 0; // truncated or not followed by continuation bytes
        }
        if (used == 1) {
            bytes[0] = static_cast<char>(lead);
        } else if (used == 0 || !ConvertOne(utf8.substr(i, used), bytes, &length)) {
            bytes[0] = '?';
            length = 1;
            if (used == 0)
                used = 1; // a malformed byte: one '?' each
        }
        if (out.size() + length > maxBytes)
            break;
        out.append(bytes, length);
        i += used;
    }
    return out;
}

namespace {

// A byte that may stand in a short name on its own: ASCII without blanks,
// wildcards, separators and the characters that only long names may hold.
bool IsShortNameByte(uint8_t b) {
    return b > 0x20 && b < 0x7F && std::strchr("\"*+,/:;<=>?[\\]|", b) == nullptr;
}

// Whether a part of a name (base or extension) is at most maxBytes bytes of
// code page 949: ASCII of a short name, or double-byte characters (a lead
// byte 0x81-0xFE and its trail byte) counted as two bytes each.
bool IsShortPart(std::string_view part, size_t maxBytes) {
    if (part.size() > maxBytes)
        return false;
    for (size_t i = 0; i < part.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(part[i]);
        if (b >= 0x81 && b <= 0xFE) {
            if (i + 1 >= part.size())
                return false; // a lead byte without its trail
            ++i;
        } else if (!IsShortNameByte(b)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsShortName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    // As Korean Windows 98 measures it: the name's bytes in code page 949
    // (a character it lacks becomes '?', which no short name holds).
    const std::string bytes = Utf8ToCp949(name, SIZE_MAX);
    const std::string_view n(bytes);
    const size_t dot = n.find('.');
    if (dot == std::string_view::npos)
        return !n.empty() && IsShortPart(n, 8);
    const std::string_view ext = n.substr(dot + 1);
    return dot > 0 && !ext.empty() && ext.find('.') == std::string_view::npos &&
           IsShortPart(n.substr(0, dot), 8) && IsShortPart(ext, 3);
}

std::string Utf16ToUtf8(const uint16_t* units, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
