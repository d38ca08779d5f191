#include "text/str_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

namespace {

constexpr int32_t U = 0x5A5A5A5A; // a destination the scan did not reach

// Patterns whose conversions are all %d: four destinations are always passed;
// the ones the pattern does not name must stay untouched as well.
struct NumberCase {
    const char* input;
    const char* pattern;
    int32_t expected[4];
};

void CheckNumbers(const NumberCase* cases, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const NumberCase& c = cases[k];
        int32_t v[4] = {U, U, U, U};
        StrScan(c.input, c.pattern, &v[0], &v[1], &v[2], &v[3]);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v[i], c.expected[i])
                << "input \"" << c.input << "\" pattern \"" << c.pattern << "\" value " << i;
    }
}

TEST(StrScan, DocumentedExamples) {
    const NumberCase cases[] = {
        {"10 20 300 400", "%d %d %d %d", {10, 20, 300, 400}},
        {"10 20", "%d %d %d %d", {10, 20, U, U}},
        {"10 20 ", "%d %d %d %d", {10, 20, U, U}},
        {"10\t\t20", "%d %d", {10, 20, U, U}},
        {"1020", "%d %d", {1020, U, U, U}},
        {"10 20", "%d%d", {10, 0, U, U}},
        {"12.345", "%.2d", {1235, U, U, U}},
        {"12.344", "%.2d", {1234, U, U, U}},
        {"12.3", "%.2d", {1230, U, U, U}},
        {"12", "%.2d", {1200, U, U, U}},
        {"-12.345", "%.2d", {-1235, U, U, U}},
        {"0.0005", "%.3d", {1, U, U, U}},
        {"0.449", "%.1d", {4, U, U, U}},
        {"-0.45", "%.1d", {-5, U, U, U}},
        {"12.7", "%d", {13, U, U, U}},
        {"-0.5", "%d", {-1, U, U, U}},
        {".5", "%d", {1, U, U, U}},
        {"1.2.3", "%d", {1, U, U, U}},
        {" 5", "%d", {0, U, U, U}},
        {"50%", "%d%%", {50, U, U, U}},
        {"%x7", "%x%d", {7, U, U, U}},
        {"12", "%.2x", {U, U, U, U}},
    };
    CheckNumbers(cases, std::size(cases));
}

TEST(StrScan, StopsAtFirstMismatchOrEnd) {
    const NumberCase cases[] = {
        {"", "%d %d", {U, U, U, U}},
        {"", "", {U, U, U, U}},
        {"5", "", {U, U, U, U}},
        {"120 80 780 560", "%d %d", {120, 80, U, U}}, // trailing input ignored
        {"-50 20 640 480", "%d %d %d %d", {-50, 20, 640, 480}},
        {"10,20", "%d , %d", {10, U, U, U}},    // blank in pattern, none in input
        {"10 , 20", "%d,%d", {10, U, U, U}},    // blank in input, none in pattern
        {"10 \t 20", "%d\t%d", {10, 20, U, U}}, // runs of any length and kind
        {"10 20", "%d  %d", {10, 20, U, U}},
        {"x5", "x%d", {5, U, U, U}},
        {"y5", "x%d", {U, U, U, U}},
        {"1.5.7", "%d.%d", {2, 7, U, U}}, // second dot ends the first number
        {"- 5", "%d %d", {0, 5, U, U}},   // a lone sign reads as 0
        {"+5 -0", "%d %d", {5, 0, U, U}},
        {"abc", "%d%d", {0, 0, U, U}}, // no digit: 0, scan goes on
        {"5", "%D", {U, U, U, U}},     // upper case is not a conversion
        {"%D5", "%D%d", {5, U, U, U}},
        {"%7", "%%d", {U, U, U, U}},       // %% then a literal d
        {"%.2x9", "%.2x%d", {9, U, U, U}}, // the would-be conversion is literal
        {"7", "%", {U, U, U, U}},          // a lone % at the pattern's end
        {"%", "%", {U, U, U, U}},
        {"3 4", "%d%", {3, U, U, U}},
    };
    CheckNumbers(cases, std::size(cases));
}

TEST(StrScan, RoundsAndScalesByPrecision) {
    const std::string zeros43(43, '0');
    const std::string tiny = "0." + zeros43 + "15"; // 44th fraction digit 1, then a 5
    const NumberCase cases[] = {
        {"12.35", "%.1d", {124, U, U, U}},
        {"12.3549", "%.1d", {124, U, U, U}}, // only the first dropped digit counts
        {"9.96", "%.1d", {100, U, U, U}},    // rounding carries into the integer part
        {"-9.5", "%d", {-10, U, U, U}},      // halves away from zero
        {"0.4", "%d", {0, U, U, U}},
        {"5.", "%.2d", {500, U, U, U}},
        {"+1.25", "%.1d", {13, U, U, U}},
        {"1.5x", "%.3dx", {1500, U, U, U}},
        {tiny.c_str(), "%.44d", {2, U, U, U}},
        {tiny.c_str(), "%.300d", {2, U, U, U}}, // precision kept modulo 256
        {tiny.c_str(), "%.45d", {15, U, U, U}},
        {"7", "%.256d", {7, U, U, U}},
        {"7", "%.d", {7, U, U, U}}, // no digits: precision 0
    };
    CheckNumbers(cases, std::size(cases));
}

TEST(StrScan, KeepsLow32BitsOfLargeNumbers) {
    const NumberCase cases[] = {
        {"2147483647", "%d", {INT32_MAX, U, U, U}},
        {"2147483648", "%d", {INT32_MIN, U, U, U}},
        {"-2147483648", "%d", {INT32_MIN, U, U, U}},
        {"4294967295", "%d", {-1, U, U, U}},
        {"4294967296", "%d", {0, U, U, U}},
        {"-4294967297", "%d", {-1, U, U, U}},
        {"99999999999", "%d", {1215752191, U, U, U}},
        {"1", "%.10d", {1410065408, U, U, U}}, // 10^10 mod 2^32
        {"4294967295.5", "%d", {0, U, U, U}},  // the rounding step wraps too
        {"1", "%.255d", {0, U, U, U}},
    };
    CheckNumbers(cases, std::size(cases));
}

// Patterns made only of %c and %s: both take a byte buffer, so four buffers
// can always be passed. %c writes one byte over the buffer's first byte.
struct TextCase {
    const char* input;
    const char* pattern;
    const char* expected[4];
};

TEST(StrScan, ReadsBytesAndWords) {
    const TextCase cases[] = {
        {"'q r' z", "%s %c", {"q r", "z", "~", "~"}},
        {"'q r", "%s", {"q r", "~", "~", "~"}}, // unterminated quote runs to the end
        {"\"a'b\" c", "%s %c", {"a'b", "c", "~", "~"}},
        {"x'y z", "%s %s", {"x'y", "z", "~", "~"}}, // a later quote is ordinary
        {" x", "%c%c", {" ", "x", "~", "~"}},       // %c takes a blank
        {" x", "%s%c%c", {"", " ", "x", "~"}},      // %s at a blank: empty word
        {"''z", "%s%c", {"", "z", "~", "~"}},
        {"''", "%s%c", {"", "~", "~", "~"}},
        {"ab", "%.5c%c", {"a", "b", "~", "~"}}, // precision read and ignored
        {"one\ttwo", "%s %s", {"one", "two", "~", "~"}},
        {"a", "%c%c", {"a", "~", "~", "~"}},
        {"ab", "%S", {"~", "~", "~", "~"}},
    };
    for (const TextCase& c : cases) {
        char b[4][32];
        for (auto& buf : b)
            std::strcpy(buf, "~");
        StrScan(c.input, c.pattern, b[0], b[1], b[2], b[3]);
        for (int i = 0; i < 4; ++i)
            EXPECT_STREQ(b[i], c.expected[i])
                << "input \"" << c.input << "\" pattern \"" << c.pattern << "\" value " << i;
    }
}

TEST(StrScan, MixedConversionsInPatternOrder) {
    int32_t n = U;
    char word1[16] = "~";
    char word2[16] = "~";
    char ch = '~';
    StrScan("5 abc 'q r' z", "%d %s %s %c", &n, word1, word2, &ch);
    EXPECT_EQ(n, 5);
    EXPECT_STREQ(word1, "abc");
    EXPECT_STREQ(word2, "q r");
    EXPECT_EQ(ch, 'z');

    // Values stored before a mismatch stay; later ones are untouched.
    n = U;
    std::strcpy(word1, "~");
    ch = '~';
    StrScan("7 abc;x", "%d %s,%c", &n, word1, &ch);
    EXPECT_EQ(n, 7);
    EXPECT_STREQ(word1, "abc;x");
    EXPECT_EQ(ch, '~');

    n = U;
    ch = '~';
    StrScan("12.5ab", "%.1d%c", &n, &ch);
    EXPECT_EQ(n, 125);
    EXPECT_EQ(ch, 'a');
}

TEST(StrScan, NeverWritesPastTheWord) {
    // The word's terminator is the only byte written after its characters.
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    StrScan("abc def", "%s", buf);
    EXPECT_EQ(std::string(buf, 5), std::string("abc\0#", 5));
}

} // namespace
