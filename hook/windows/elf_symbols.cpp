#include "hook/windows/elf_symbols.h"

#include <string.h>

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kFileMax = 256u << 20; // no ntdll.so comes near

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bytes->clear();
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes->size() < kFileMax)
        bytes->insert(bytes->end(), chunk, chunk + n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// Little-endian fields read with bounds: a field past the end reads as 0 and
// marks the file bad.
struct Reader {
    const std::vector<uint8_t>& b;
    bool bad = false;
    uint64_t U(uint64_t at, int width) {
        if (at > b.size() || b.size() - at < static_cast<uint64_t>(width)) {
            bad = true;
            return 0;
        }
        uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | b[at + i];
        return v;
    }
};

// The offsets of the ELF header, section header and symbol fields that
// differ between the classes (the System V ABI's tables).
struct Layout {
    int word;                          // 4 or 8: addresses and offsets
    uint64_t phoff, shoff;             // e_phoff, e_shoff
    uint64_t phentsize, phnum;         // e_phentsize, e_phnum
    uint64_t shentsize, shnum;         // e_shentsize, e_shnum
    uint64_t shType, shOffset, shSize; // in a section header
    uint64_t shLink, shEntsize;
    uint64_t phType, phOffset, phVaddr, phFilesz; // in a program header
    uint64_t stName, stValue, stInfo;             // in a symbol
};

constexpr Layout kElf32 = {4, 28, 32, 42, 44, 46, 48, 4, 16, 20, 24, 36, 0, 4, 8, 16, 0, 4, 12};
constexpr Layout kElf64 = {8, 32, 40, 54, 56, 58, 60, 4, 24, 32, 40, 56, 0, 8, 16, 32, 0, 8, 4};

constexpr uint32_t kShtSymtab = 2, kShtDynsym = 11, kPtLoad = 1, kSttFunc = 2;

// The symbol's value in the table of type `type`, or 0.
uint64_t SymbolValue(Reader& r, const Layout& l, uint32_t type, const char* name) {
    const uint64_t shoff = r.U(l.shoff, l.word);
    const uint64_t shentsize = r.U(l.shentsize, 2), shnum = r.U(l.shnum, 2);
    for (uint64_t i = 0; i < shnum && !r.bad; ++i) {
        const uint64_t sh = shoff + i * shentsize;
        if (r.U(sh + l.shType, 4) != type)
            continue;
        const uint64_t symOff = r.U(sh + l.shOffset, l.word);
        const uint64_t symSize = r.U(sh + l.shSize, l.word);
        const uint64_t entsize = r.U(sh + l.shEntsize, l.word);
        const uint64_t strSh = shoff + r.U(sh + l.shLink, 4) * shentsize;
        const uint64_t strOff = r.U(strSh + l.shOffset, l.word);
        const uint64_t strSize = r.U(strSh + l.shSize, l.word);
        if (entsize == 0 || r.bad)
            return 0;
        const size_t nameLength = strlen(name);
        for (uint64_t s = symOff; s + entsize <= symOff + symSize && !r.bad; s += entsize) {
            const uint64_t at = r.U(s + l.stName, 4);
            const uint64_t info = r.U(s + l.stInfo, 1);
            if ((info & 15) != kSttFunc || at + nameLength >= strSize ||
                strOff + at + nameLength >= r.b.size())
                continue;
            if (memcmp(&r.b[strOff + at], name, nameLength + 1) == 0)
                return r.U(s + l.stValue, l.word);
        }
    }
    return 0;
}

} // namespace

bool ElfFunctionOffsets(const std::string& path, const std::vector<const char*>& names,
                        std::vector<uint64_t>* offsets, std::string* why) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes)) {
        *why = path + " cannot be read";
        return false;
    }
    Reader r{bytes};
    if (bytes.size() < 64 ||
        memcmp(bytes.data(),
               "\x7f"
               "ELF",
               4) != 0 ||
        bytes[5] != 1 || (bytes[4] != 1 && bytes[4] != 2)) {
        *why = path + " is no little-endian ELF file";
        return false;
    }
    const Layout& l = bytes[4] == 1 ? kElf32 : kElf64;
    offsets->clear();
    for (const char* name : names) {
        uint64_t value = SymbolValue(r, l, kShtDynsym, name);
        if (value == 0)
            value = SymbolValue(r, l, kShtSymtab, name);
        if (value == 0 || r.bad) {
            *why = path + " has no function " + name;
            return false;
        }
        const uint64_t phoff = r.U(l.phoff, l.word);
        const uint64_t phentsize = r.U(l.phentsize, 2), phnum = r.U(l.phnum, 2);
        bool found = false;
        for (uint64_t i = 0; i < phnum && !r.bad && !found; ++i) {
            const uint64_t ph = phoff + i * phentsize;
            const uint64_t vaddr = r.U(ph + l.phVaddr, l.word);
            const uint64_t filesz = r.U(ph + l.phFilesz, l.word);
            if (r.U(ph + l.phType, 4) == kPtLoad && value >= vaddr && value - vaddr < filesz) {
                offsets->push_back(r.U(ph + l.phOffset, l.word) + (value - vaddr));
                found = !r.bad;
            }
        }
        if (!found) {
            *why = path + ": " + name + " lies in no loaded segment";
            return false;
        }
    }
    return true;
}

bool ElfFunctionOffset(const std::string& path, const char* name, uint64_t* offset,
                       std::string* why) {
    std::vector<uint64_t> offsets;
    if (!ElfFunctionOffsets(path, {name}, &offsets, why))
        return false;
    *offset = offsets[0];
    return true;
}

size_t ElfReadAt(const std::string& path, uint64_t offset, uint8_t* out, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    size_t n = 0;
    if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0)
        n = std::fread(out, 1, size, f);
    std::fclose(f);
    return n;
}

std::string ElfFindVersionText(const std::string& path, const char* prefix) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes))
        return "";
    const size_t n = strlen(prefix);
    for (size_t at = 0; at + n < bytes.size(); ++at) {
        if ((at == 0 || bytes[at - 1] == 0) && memcmp(&bytes[at], prefix, n) == 0 &&
            bytes[at + n] >= '0' && bytes[at + n] <= '9') {
            size_t end = at;
            while (end < bytes.size() && bytes[end] != 0 && end - at < 256)
                ++end;
            return std::string(reinterpret_cast<const char*>(&bytes[at]), end - at);
        }
    }
    return "";
}
