#include "text/str_prim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A name list is written here as one string literal with explicit NULs.
constexpr char kHeaders[] = "Function\0Drive\0ResType\0CodePage\0Result\0Data\0";
constexpr char kWithEnd[] = "A\0BB\0CCC\0";

TEST(MszEntry, ReadsByPositionAndEndsInEmptyEntry) {
    EXPECT_STREQ(MszEntry(kHeaders, 0), "Function");
    EXPECT_STREQ(MszEntry(kHeaders, 5), "Data");
    EXPECT_STREQ(MszEntry(kWithEnd, 2), "CCC");
    for (int32_t past : {3, 4, 100, -1, INT32_MIN}) {
        const char* e = MszEntry(kWithEnd, past);
        EXPECT_STREQ(e, "") << past;
        EXPECT_EQ(e, kWithEnd + 9) << "stops at the end entry for " << past;
    }
}

TEST(StrSkipTokens, SkipsTokensAndTheirBlanks) {
    struct Case {
        const char* text;
        int32_t count;
        int offset; // -1: the terminating NUL
    } cases[] = {
        {"10 20 30", 0, 0},
        {"10 20 30", 1, 3},
        {"10 20 30", 2, 6},
        {"10 20 30", 3, -1},
        {"10 20 30", 7, -1},
        {"10 20 30", -1, -1},
        {"1 2 3 4", INT32_MIN, -1},
        {"  5 6", 1, 2},        // leading blanks spend one count
        {"'a b' c", 1, 6},      // quoted token holds blanks
        {"\"a 'b\" c", 1, 7},   // the other quote is an ordinary byte
        {"'a b c", 1, -1},      // unterminated quote runs to the end
        {"'a'b c", 1, 3},       // text right after a closing quote is the next token
        {"a'b c", 1, 4},        // a later quote is ordinary
        {"80\t\t-5 abc", 1, 4}, // tabs are blanks
        {"", 1, -1},
    };
    for (const Case& c : cases) {
        const char* r = StrSkipTokens(c.text, c.count);
        const long expected =
            c.offset < 0 ? static_cast<long>(std::string(c.text).size()) : c.offset;
        EXPECT_EQ(r - c.text, expected) << '"' << c.text << "\" count " << c.count;
    }
}

TEST(StrFindChar, FindsFirstOccurrenceOnly) {
    EXPECT_EQ(StrFindChar("a.b.c", '.'), 1);
    EXPECT_EQ(StrFindChar("", '.'), -1);
    EXPECT_EQ(StrFindChar("abc", '\0'), -1);
    EXPECT_EQ(StrFindChar("abc", 'x'), -1);
    EXPECT_EQ(StrFindChar("IFS - a - b", '-'), 4);
}

TEST(MemFindByte, CountsNulAsOrdinaryByte) {
    const char bytes[] = {'a', '\0', 'b', 'c'};
    EXPECT_EQ(MemFindByte(bytes, 0, 'a'), -1);
    EXPECT_EQ(MemFindByte(bytes, 4, 'b'), 2);
    EXPECT_EQ(MemFindByte(bytes, 2, 'b'), -1);
    EXPECT_EQ(MemFindByte(bytes, 4, 0), 1);
    const unsigned char high[] = {0x10, 0xFF};
    EXPECT_EQ(MemFindByte(high, 2, 0xFF), 1);
}

TEST(PathSetExt, ReplacesFromTheFirstDotOfTheFileName) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\TALVEK\\TALVEK.EXE", "C:\\TALVEK\\TALVEK.INI"},
        {"C:\\MY.DIR\\TALVEK", "C:\\MY.DIR\\TALVEK.INI"},
        {"C:\\X\\a.b.exe", "C:\\X\\a.INI"},
        {"a.b.exe", "a.INI"},
        {"NAME", "NAME.INI"},
        {"C:\\DIR\\", "C:\\DIR\\.INI"},
        {"C:\\DIR\\.hidden", "C:\\DIR\\.INI"},
    };
    for (const Case& c : cases) {
        char buf[64];
        std::string(c.path).copy(buf, sizeof buf);
        buf[std::string(c.path).size()] = '\0';
        PathSetExt(buf, "INI");
        EXPECT_STREQ(buf, c.expected) << c.path;
    }
}

TEST(StrToNum, ReadsDecimalAndHexWithWrapAround) {
    struct Case {
        const char* text;
        int32_t value;
        int32_t consumed;
    } cases[] = {
        {"123", 123, 3},
        {"  -42xyz", -42, 5},
        {"0x1F", 31, 4},
        {"0X1f", 31, 4},
        {"-0x10", 0, 2},
        {"0x", 0, 0},
        {"- 5", 0, 0},
        {"+-5", 0, 0},
        {"+7", 7, 2},
        {"0", 0, 1},
        {"4294967295", -1, 10},
        {"2147483648", INT32_MIN, 10},
        {"0x123456789", 0x23456789, 11},
        {"0xFFFFFFFF", -1, 10},
        {"\t9 8", 9, 2},
        {"", 0, 0},
        {"abc", 0, 0},
        {"12abc", 12, 2},
    };
    for (const Case& c : cases) {
        int32_t consumed = -99;
        EXPECT_EQ(StrToNum(c.text, &consumed), c.value) << '"' << c.text << '"';
        EXPECT_EQ(consumed, c.consumed) << '"' << c.text << '"';
        EXPECT_EQ(StrToNum(c.text, nullptr), c.value);
    }
}

TEST(StrAppendItem, JoinsWithCommaBlank) {
    char list[32] = "";
    StrAppendItem(list, "");
    EXPECT_STREQ(list, "");
    StrAppendItem(list, "A");
    EXPECT_STREQ(list, "A");
    StrAppendItem(list, "B");
    EXPECT_STREQ(list, "A, B");
    StrAppendItem(list, "");
    EXPECT_STREQ(list, "A, B, ");
}

TEST(StrAppendChar, AppendsOneByte) {
    char t[8] = "ab";
    StrAppendChar(t, '-');
    EXPECT_STREQ(t, "ab-");
    char e[4] = "";
    StrAppendChar(e, 'x');
    EXPECT_STREQ(e, "x");
}

TEST(MemFill, WritesExactlyCountBytes) {
    unsigned char b[6] = {9, 9, 9, 9, 9, 9};
    MemFill(b + 1, 0, 1);
    EXPECT_EQ(b[1], 9);
    MemFill(b + 1, 3, 1);
    MemZero(b + 4, 1);
    const unsigned char expected[6] = {9, 1, 1, 1, 0, 9};
    EXPECT_EQ(0, memcmp(b, expected, 6));
}

} // namespace
