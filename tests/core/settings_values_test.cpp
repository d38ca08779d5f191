#include "settings/settings_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Stand-in for the dialog-unit conversion: distinct for every column's default.
int FakeDluToPixelX(int n) {
    return 1000 + n;
}

constexpr int32_t D0 = 1050, D1 = 1015, D2 = 1020, D3 = 1020, D4 = 1030, D5 = 1600;

TEST(ParseColWidths, NumbersBelowOneAndNonNumbersTakeColumnDefaults) {
    struct Case {
        const char* text;
        int32_t expected[kListColumnCount];
    } cases[] = {
        {"", {D0, D1, D2, D3, D4, D5}},
        {"75 22 30 30 45 900 ", {75, 22, 30, 30, 45, 900}},
        {"75 22 30 30 45 900", {75, 22, 30, 30, 45, 900}},
        {"75 22 30", {75, 22, 30, D3, D4, D5}},
        {"80 -5 abc", {80, D1, D2, D3, D4, D5}},
        {"-1 -1 -1 -1 -1 -1 ", {D0, D1, D2, D3, D4, D5}},
        {"0 1 2 3 4 5", {D0, 1, 2, 3, 4, 5}},
        {"1 2 3 4 5 6 7 8", {1, 2, 3, 4, 5, 6}},
        {"10\t\t20   30", {10, 20, 30, D3, D4, D5}},
        {"0x20 10", {32, 10, D2, D3, D4, D5}},
        {"'a b' 7", {D0, 7, D2, D3, D4, D5}},
        {"12px 8", {12, 8, D2, D3, D4, D5}},
        {"-2147483648 2147483647", {D0, INT32_MAX, D2, D3, D4, D5}},
        {"4294967297", {1, D1, D2, D3, D4, D5}},
    };
    for (const auto& c : cases) {
        int32_t widths[kListColumnCount] = {};
        ParseColWidths(c.text, widths, FakeDluToPixelX);
        for (int i = 0; i < kListColumnCount; ++i)
            EXPECT_EQ(widths[i], c.expected[i]) << '"' << c.text << "\" column " << i;
    }
}

TEST(ParseEnableText, CharactersGiveTheirCodeMinus48) {
    const std::string all35(35, '0');
    struct Case {
        std::string text;
        std::string expected; // one char per byte: the value + '0'
    } cases[] = {
        {"", std::string(30, '1')},
        {"101", "101" + std::string(27, '1')},
        {all35, std::string(30, '0')},
        {"000000000000000001001010000010", "000000000000000001001010000010"},
        {"2", "2" + std::string(29, '1')},
        {"0a", "0a" + std::string(28, '1')},
    };
    for (const auto& c : cases) {
        int8_t enables[kIfsFuncCount + 2];
        std::memset(enables, 0x77, sizeof enables);
        ParseEnableText(c.text.c_str(), enables);
        for (int j = 0; j < kIfsFuncCount; ++j)
            EXPECT_EQ(enables[j], c.expected[j] - '0') << '"' << c.text << "\" position " << j;
        EXPECT_EQ(enables[kIfsFuncCount], 0x77) << "wrote past 30 bytes for \"" << c.text << '"';
        EXPECT_EQ(enables[kIfsFuncCount + 1], 0x77);
    }
}

TEST(ParseEnableText, KeepsValuesTo8Bits) {
    const char text[] = {' ', '\x7F', '\xB0', '/', '\0'};
    int8_t enables[kIfsFuncCount];
    ParseEnableText(text, enables);
    EXPECT_EQ(enables[0], -16);  // 0x20 - 0x30
    EXPECT_EQ(enables[1], 79);   // 0x7F - 0x30
    EXPECT_EQ(enables[2], -128); // 0xB0 - 0x30 = 0x80
    EXPECT_EQ(enables[3], -1);
    EXPECT_EQ(enables[4], 1);
}

TEST(ViewLineQtyAtLeastOne, RaisesOnlyValuesBelowOne) {
    const int32_t cases[][2] = {{200, 200}, {1, 1},         {0, 1},
                                {-7, 1},    {INT32_MIN, 1}, {INT32_MAX, INT32_MAX}};
    for (const auto& c : cases)
        EXPECT_EQ(ViewLineQtyAtLeastOne(c[0]), c[1]) << c[0];
}

// A path of the given total length: a folder name of filler, then the file name.
std::string PathOfLength(size_t length, const std::string& fileName) {
    const std::string head = "C:\\";
    return head + std::string(length - head.size() - 1 - fileName.size(), 'd') + "\\" + fileName;
}

TEST(SettingsPathFromModule, ReplacesTheFileNamesExtension) {
    struct Case {
        const char* module;
        const char* expected;
    } cases[] = {
        {"C:\\TALVEK\\TALVEK.EXE", "C:\\TALVEK\\TALVEK.INI"},
        {"C:\\Program Files\\My.Tools\\talvek.v2.final.exe",
         "C:\\Program Files\\My.Tools\\talvek.INI"},
        {"C:\\My.Dir\\TALVEK", "C:\\My.Dir\\TALVEK.INI"},
        {"Z:\\a.b\\c.d\\e.f.g", "Z:\\a.b\\c.d\\e.INI"},
    };
    for (const auto& c : cases) {
        char dest[120] = "TALVEK.INI";
        EXPECT_TRUE(SettingsPathFromModule(dest, sizeof dest, c.module)) << c.module;
        EXPECT_STREQ(dest, c.expected);
    }
}

TEST(SettingsPathFromModule, KeepsTheOldPathWhenTheResultWouldNotFit) {
    struct Case {
        std::string module;
        bool fits;
        size_t derivedLength;
    } cases[] = {
        {PathOfLength(119, "TALVEK.EXE"), true, 119},
        {PathOfLength(120, "TALVEK.EXE"), false, 0},
        {PathOfLength(115, "TALVEK"), true, 119}, // ".INI" appended
        {PathOfLength(116, "TALVEK"), false, 0},
        {PathOfLength(117, "TALVEK.E"), true, 119}, // the result grows by two
        {PathOfLength(118, "TALVEK.E"), false, 0},
        {PathOfLength(200, "T.EXE"), false, 0},
        {PathOfLength(259, "T.EXE"), false, 0},
        {PathOfLength(400, "T.EXE"), false, 0},
        {"C:\\T." + std::string(150, 'x'), true, 8},  // long name, short result
        {"C:\\T." + std::string(300, 'x'), false, 0}, // longer than any module path
    };
    for (const auto& c : cases) {
        char dest[120 + 8];
        std::memset(dest, '#', sizeof dest);
        std::strcpy(dest, "TALVEK.INI");
        const bool fits = SettingsPathFromModule(dest, 120, c.module.c_str());
        EXPECT_EQ(fits, c.fits) << "module path of " << c.module.size() << " bytes";
        if (c.fits) {
            EXPECT_EQ(std::strlen(dest), c.derivedLength);
            EXPECT_STREQ(dest + c.derivedLength - 4, ".INI");
        } else {
            EXPECT_STREQ(dest, "TALVEK.INI");
        }
        for (size_t i = 120; i < sizeof dest; ++i)
            ASSERT_EQ(dest[i], '#') << "wrote past the buffer for " << c.module.size() << " bytes";
    }
}

} // namespace
