// The ELF reader on a small 64-bit library and on copies of it whose header
// fields point past the file or wrap when added to another: each is refused
// in its one line, and nothing outside the file's bytes is read (the
// sanitizers of the host build see to the latter).
#include "hook/windows/elf_symbols.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// The library's layout: ELF header, one PT_LOAD program header, .dynstr,
// .dynsym (a null symbol and NtClose), NtClose's code, then the section
// headers (null, .dynsym, .dynstr).
constexpr uint64_t kPhdr = 64, kDynstr = 120, kDynsym = 136, kCode = 200, kShdrs = 216;
constexpr uint64_t kFileSize = kShdrs + 3 * 64, kVaddr = 0x1000;
constexpr uint64_t kDynsymSh = kShdrs + 64, kDynstrSh = kShdrs + 128, kSymbol = kDynsym + 24;
constexpr uint8_t kCodeBytes[] = {0xF3, 0x0F, 0x1E, 0xFA, 0x8D, 0x47, 0x0F};

void Put(std::vector<uint8_t>* b, uint64_t at, int width, uint64_t value) {
    for (int i = 0; i < width; ++i)
        (*b)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> Library() {
    std::vector<uint8_t> b(kFileSize, 0);
    memcpy(b.data(),
           "\x7f"
           "ELF\x02\x01\x01",
           7);
    const struct {
        uint64_t at;
        int width;
        uint64_t value;
    } fields[] = {
        {16, 2, 3},
        {18, 2, 62},
        {20, 4, 1},
        {32, 8, kPhdr},
        {40, 8, kShdrs},
        {52, 2, 64},
        {54, 2, 56},
        {56, 2, 1},
        {58, 2, 64},
        {60, 2, 3},
        {kPhdr, 4, 1},
        {kPhdr + 16, 8, kVaddr},
        {kPhdr + 32, 8, kFileSize},
        {kSymbol, 4, 1},
        {kSymbol + 4, 1, 0x12},
        {kSymbol + 8, 8, kVaddr + kCode},
        {kDynsymSh + 4, 4, 11},
        {kDynsymSh + 24, 8, kDynsym},
        {kDynsymSh + 32, 8, 48},
        {kDynsymSh + 40, 4, 2},
        {kDynsymSh + 56, 8, 24},
        {kDynstrSh + 4, 4, 3},
        {kDynstrSh + 24, 8, kDynstr},
        {kDynstrSh + 32, 8, 9},
    };
    for (const auto& f : fields)
        Put(&b, f.at, f.width, f.value);
    memcpy(&b[kDynstr], "\0NtClose", 9);
    memcpy(&b[kCode], kCodeBytes, sizeof kCodeBytes);
    return b;
}

struct LibraryFile {
    char path[32] = "/tmp/talvek-elf-XXXXXX";
    explicit LibraryFile(const std::vector<uint8_t>& bytes) {
        const int fd = mkstemp(path);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~LibraryFile() { unlink(path); }
};

TEST(ElfSymbols, FindsTheFunctionInAWholeLibrary) {
    const LibraryFile lib(Library());
    uint64_t offset = 0;
    std::string why;
    ASSERT_TRUE(ElfFunctionOffset(lib.path, "NtClose", &offset, &why)) << why;
    EXPECT_EQ(offset, kCode);
    uint8_t code[sizeof kCodeBytes];
    ASSERT_EQ(ElfReadAt(lib.path, offset, code, sizeof code), sizeof code);
    EXPECT_EQ(memcmp(code, kCodeBytes, sizeof code), 0);
}

TEST(ElfSymbols, OffsetsAndSizesThatWrapOrPointPastTheFileAreRefused) {
    constexpr uint64_t kTop = ~uint64_t{0};
    const struct {
        const char* what;
        uint64_t at;
        int width;
        uint64_t value;
        const char* why; // what the refusal says after the path
    } cases[] = {
        {"section headers wrap", 40, 8, kTop - 63, " is a damaged ELF file: the section headers"},
        {"section headers past the end", 40, 8, kFileSize - 100, " is a damaged ELF file"},
        {"section header too small", 58, 2, 8, " is a damaged ELF file: the section headers"},
        {"too many sections", 60, 2, 0xFFFF, " is a damaged ELF file: the section headers"},
        {"symbols wrap", kDynsymSh + 24, 8, kTop - 7, " is a damaged ELF file: a symbol table"},
        {"symbols' end wraps", kDynsymSh + 32, 8, kTop - 7, " is a damaged ELF file: a symbol"},
        {"symbols link past the sections", kDynsymSh + 40, 4, 0xFFFFFFFF,
         " is a damaged ELF file: a symbol table links"},
        {"symbol size wraps the step", kDynsymSh + 56, 8, kTop - 7, " has no function NtClose"},
        {"symbol size too small", kDynsymSh + 56, 8, 1, " is a damaged ELF file: a symbol"},
        {"strings wrap before the buffer", kDynstrSh + 24, 8, kTop - 3,
         " is a damaged ELF file: a string table"},
        {"strings past the end", kDynstrSh + 32, 8, kTop, " is a damaged ELF file: a string"},
        {"name past the strings", kSymbol, 4, 0xFFFFFFFF, " has no function NtClose"},
        {"program headers wrap", 32, 8, kTop - 7, " is a damaged ELF file: the program headers"},
        {"too many program headers", 56, 2, 0xFFFF, " is a damaged ELF file: the program"},
        {"segment offset wraps", kPhdr + 8, 8, kTop - 99, " is a damaged ELF file: a loaded"},
        {"segment past the end", kPhdr + 32, 8, kTop, " is a damaged ELF file: a loaded"},
        {"address below the segment", kPhdr + 16, 8, kTop - 15, ": NtClose lies in no loaded"},
        {"address wraps past it", kSymbol + 8, 8, kTop, ": NtClose lies in no loaded"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = Library();
        Put(&bytes, c.at, c.width, c.value);
        const LibraryFile lib(bytes);
        uint64_t offset = 0;
        std::string why;
        EXPECT_FALSE(ElfFunctionOffset(lib.path, "NtClose", &offset, &why)) << c.what;
        EXPECT_EQ(why.rfind(std::string(lib.path) + c.why, 0), 0u) << c.what << ": " << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << c.what;
    }
}

} // namespace
