#include "hook/windows/elf_symbols.h"

#include <string.h>

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kFileMax = 256u << 20; // no ntdll.so comes near

// The whole file, at most kFileMax bytes; false and `why` when it cannot be
// read or is larger.
bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* why) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *why = path + " cannot be read";
        return false;
    }
    bytes->clear();
    uint8_t chunk[1 << 16];
    size_t n;
    bool whole = true;
    while (whole && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        whole = n <= kFileMax - bytes->size();
        if (whole)
            bytes->insert(bytes->end(), chunk, chunk + n);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok)
        *why = path + " cannot be read";
    else if (!whole)
        *why = path + " is larger than 256 MiB, which no Wine library is";
    return ok && whole;
}

// Little-endian fields read with bounds. Every offset and size the file
// gives is checked against what is left of the file after it, never by
// adding two of them first (a sum can wrap). The first check that fails
// marks the file damaged, with what failed; a field read then is 0.
struct Reader {
    const std::vector<uint8_t>& b;
    const char* damage = nullptr;

    bool Bad() const { return damage != nullptr; }
    void Fail(const char* what) {
        if (damage == nullptr)
            damage = what;
    }
    // Whether the `length` bytes at `at` lie in the file.
    bool Holds(uint64_t at, uint64_t length) const {
        return at <= b.size() && length <= b.size() - at;
    }
    uint64_t U(uint64_t at, int width) {
        if (!Holds(at, static_cast<uint64_t>(width))) {
            Fail("a field lies past the end of the file");
            return 0;
        }
        uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | b[at + i];
        return v;
    }
};

// A table of the file: `count` entries of `entsize` bytes from `at`.
struct Table {
    uint64_t at = 0, entsize = 0, count = 0;
    uint64_t Entry(uint64_t i) const { return at + i * entsize; }
};

// The table, when each entry holds at least `need` bytes and the whole
// table lies in the file; otherwise an empty table, the file marked damaged.
Table TableOf(Reader& r, uint64_t at, uint64_t entsize, uint64_t count, uint64_t need,
              const char* what) {
    if (count == 0)
        return {};
    if (entsize < need || count > UINT64_MAX / entsize || !r.Holds(at, count * entsize)) {
        r.Fail(what);
        return {};
    }
    return {at, entsize, count};
}

// The offsets of the ELF header, section header and symbol fields that
// differ between the classes (the System V ABI's tables), and the sizes of
// a section header, a program header and a symbol.
struct Layout {
    int word;                          // 4 or 8: addresses and offsets
    uint64_t phoff, shoff;             // e_phoff, e_shoff
    uint64_t phentsize, phnum;         // e_phentsize, e_phnum
    uint64_t shentsize, shnum;         // e_shentsize, e_shnum
    uint64_t shType, shOffset, shSize; // in a section header
    uint64_t shLink, shEntsize;
    uint64_t phType, phOffset, phVaddr, phFilesz; // in a program header
    uint64_t stName, stValue, stInfo;             // in a symbol
    uint64_t shBytes, phBytes, stBytes;
};

constexpr Layout kElf32 = {4,  28, 32, 42, 44, 46, 48, 4,  16, 20, 24,
                           36, 0,  4,  8,  16, 0,  4,  12, 40, 32, 16};
constexpr Layout kElf64 = {8,  32, 40, 54, 56, 58, 60, 4, 24, 32, 40,
                           56, 0,  8,  16, 32, 0,  8,  4, 64, 56, 24};

constexpr uint32_t kShtSymtab = 2, kShtDynsym = 11, kPtLoad = 1, kSttFunc = 2;

// The symbol's value in the table of type `type`, or 0. A symbol whose name
// lies outside its string table names nothing.
uint64_t SymbolValue(Reader& r, const Layout& l, uint32_t type, const char* name) {
    const Table sections = TableOf(r, r.U(l.shoff, l.word), r.U(l.shentsize, 2), r.U(l.shnum, 2),
                                   l.shBytes, "the section headers lie outside the file");
    const size_t nameLength = strlen(name);
    for (uint64_t i = 0; i < sections.count && !r.Bad(); ++i) {
        const uint64_t sh = sections.Entry(i);
        if (r.U(sh + l.shType, 4) != type)
            continue;
        const uint64_t link = r.U(sh + l.shLink, 4);
        if (link >= sections.count) {
            r.Fail("a symbol table links to no section");
            return 0;
        }
        const uint64_t symOff = r.U(sh + l.shOffset, l.word);
        const uint64_t symSize = r.U(sh + l.shSize, l.word);
        const uint64_t entsize = r.U(sh + l.shEntsize, l.word);
        if (entsize < l.stBytes) {
            r.Fail("a symbol table's entries are too small");
            return 0;
        }
        const Table symbols = TableOf(r, symOff, entsize, symSize / entsize, l.stBytes,
                                      "a symbol table lies outside the file");
        const uint64_t strSh = sections.Entry(link);
        const uint64_t strOff = r.U(strSh + l.shOffset, l.word);
        const uint64_t strSize = r.U(strSh + l.shSize, l.word);
        if (!r.Holds(strOff, strSize))
            r.Fail("a string table lies outside the file");
        for (uint64_t s = 0; s < symbols.count && !r.Bad(); ++s) {
            const uint64_t sym = symbols.Entry(s);
            const uint64_t at = r.U(sym + l.stName, 4);
            const uint64_t info = r.U(sym + l.stInfo, 1);
            // The name and its NUL within the string table.
            if ((info & 15) != kSttFunc || at >= strSize || nameLength >= strSize - at)
                continue;
            if (memcmp(&r.b[strOff + at], name, nameLength + 1) == 0)
                return r.U(sym + l.stValue, l.word);
        }
    }
    return 0;
}

// The file offset of address `value` through the loaded segment that maps
// it; false when none does (or the file is damaged).
bool FileOffsetOf(Reader& r, const Layout& l, uint64_t value, uint64_t* offset) {
    const Table segments = TableOf(r, r.U(l.phoff, l.word), r.U(l.phentsize, 2), r.U(l.phnum, 2),
                                   l.phBytes, "the program headers lie outside the file");
    for (uint64_t i = 0; i < segments.count && !r.Bad(); ++i) {
        const uint64_t ph = segments.Entry(i);
        const uint64_t vaddr = r.U(ph + l.phVaddr, l.word);
        const uint64_t filesz = r.U(ph + l.phFilesz, l.word);
        if (r.U(ph + l.phType, 4) != kPtLoad || value < vaddr || value - vaddr >= filesz)
            continue;
        const uint64_t segment = r.U(ph + l.phOffset, l.word);
        if (!r.Holds(segment, filesz)) {
            r.Fail("a loaded segment lies outside the file");
            return false;
        }
        *offset = segment + (value - vaddr); // below segment + filesz, within the file
        return !r.Bad();
    }
    return false;
}

} // namespace

bool ElfFunctionOffsets(const std::string& path, const std::vector<const char*>& names,
                        std::vector<uint64_t>* offsets, std::string* why) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes, why))
        return false;
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
        if (value == 0 && !r.Bad())
            value = SymbolValue(r, l, kShtSymtab, name);
        uint64_t offset = 0;
        const bool found = value != 0 && !r.Bad() && FileOffsetOf(r, l, value, &offset);
        if (r.Bad()) {
            *why = path + " is a damaged ELF file: " + r.damage;
            return false;
        }
        if (value == 0) {
            *why = path + " has no function " + name;
            return false;
        }
        if (!found) {
            *why = path + ": " + name + " lies in no loaded segment";
            return false;
        }
        offsets->push_back(offset);
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
    std::string why;
    if (!ReadFile(path, &bytes, &why))
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
