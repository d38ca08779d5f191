#include "text/text_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// The formatters must give the C library's bytes for the same conversions.
TEST(TextFormat, NumbersMatchPrintfConversions) {
    std::vector<uint32_t> values = {0,
                                    1,
                                    9,
                                    10,
                                    15,
                                    16,
                                    0xFF,
                                    0x100,
                                    0xFFFF,
                                    0x10000,
                                    0x7FFFFFFF,
                                    0x80000000,
                                    0x80000001,
                                    0xFFFFFFFE,
                                    0xFFFFFFFF,
                                    999999999,
                                    1000000000,
                                    0x0ABCDEF0,
                                    4294967295u / 10};
    std::mt19937 rng(1234);
    for (int i = 0; i < 2000; ++i)
        values.push_back(rng() >> (rng() % 32));
    for (uint32_t v : values) {
        char got[16];
        char want[16];
        const int32_t s = static_cast<int32_t>(v);

        char* end = FmtHex(got, v);
        std::snprintf(want, sizeof want, "%X", v);
        EXPECT_STREQ(got, want);
        EXPECT_EQ(end, got + std::string(want).size());

        end = FmtHex8(got, v);
        std::snprintf(want, sizeof want, "%8.8X", v);
        EXPECT_STREQ(got, want);
        EXPECT_EQ(end, got + 8);

        end = FmtDec(got, s);
        std::snprintf(want, sizeof want, "%d", s);
        EXPECT_STREQ(got, want);
        EXPECT_EQ(end, got + std::string(want).size());
    }
}

TEST(TextFormat, CopiesChainWithoutSearching) {
    char buf[32];
    char* end = FmtCopy(buf, "");
    EXPECT_EQ(end, buf);
    end = FmtCopy(FmtCopy(end, "ab"), "\xB0\xA1");
    end = FmtDec(FmtCopy(end, "-"), -5);
    EXPECT_STREQ(buf, "ab\xB0\xA1--5");
    EXPECT_EQ(end, buf + 7);
}

} // namespace
