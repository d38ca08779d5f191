#include "event/call_row_texts.h"
#include "trace/call_trace.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kDataMax = kRowScratchSize - 1;

std::vector<uint8_t> Record(const std::string& line) {
    const TraceLineResult r = ParseTraceLine(line, 1);
    EXPECT_EQ(r.kind, TraceLineKind::Record) << r.error;
    return r.record;
}

// The Data text, built in a heap block of exactly the scratch size so that
// the sanitizer sees any write past it.
std::string DataText(const std::vector<uint8_t>& rec) {
    std::unique_ptr<char[]> scratch(new char[kRowScratchSize]);
    return CallColumnText(reinterpret_cast<const IfsCallRec*>(rec.data()), kColData, scratch.get());
}

std::string DataText(const std::string& line) {
    return DataText(Record(line));
}

bool EndsInLoneLeadByte(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b >= 0x81 && b <= 0xFE) {
            if (i + 1 == text.size())
                return true;
            ++i;
        }
    }
    return false;
}

const std::string kGa = "\xB0\xA1"; // one double-byte character

std::string Repeat(const std::string& s, size_t n) {
    std::string r;
    for (size_t i = 0; i < n; ++i)
        r += s;
    return r;
}

TEST(DataTextCut, LongSecondNameIsCutWithinTheScratch) {
    const std::string a259(259, 'A');
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        // Exactly the room: nothing is cut.
        {"func=31 path1=" + a259 + " path2=" + std::string(518, 'C'),
         a259 + ", " + std::string(518, 'C')},
        // One byte over.
        {"func=31 path1=" + a259 + " path2=" + std::string(519, 'C'),
         a259 + ", " + std::string(518, 'C')},
        {"func=31 path1=" + a259 + " path2=" + std::string(1023, 'C'),
         a259 + ", " + std::string(518, 'C')},
        // A double-byte character that would straddle the end is left out whole.
        {"func=31 path1=" + std::string(258, 'A') + " path2=" + Repeat(kGa, 300),
         std::string(258, 'A') + ", " + Repeat(kGa, 259)},
        // One that ends at the last byte stays.
        {"func=31 path1=" + a259 + " path2=" + Repeat(kGa, 300), a259 + ", " + Repeat(kGa, 259)},
        // The widest READ items behind a 448-byte name just fit.
        {"func=0 sfn=0xFFFF length=0xFFFFFFFF pos=0xFFFFFFFF data=0xFFFFFFFF options=0x9100 "
         "path1=" +
             a259 + " path2=" + std::string(448, 'C'),
         a259 + ", " + std::string(448, 'C') +
             ", FFFF FFFFFFFF bytes at FFFFFFFF into FFFFFFFF, NO_CACHE, SWAPPER, MM"},
        // One byte more and the items lose their last byte.
        {"func=0 sfn=0xFFFF length=0xFFFFFFFF pos=0xFFFFFFFF data=0xFFFFFFFF options=0x9100 "
         "path1=" +
             a259 + " path2=" + std::string(449, 'C'),
         a259 + ", " + std::string(449, 'C') +
             ", FFFF FFFFFFFF bytes at FFFFFFFF into FFFFFFFF, NO_CACHE, SWAPPER, M"},
        // Cut inside the name: no item follows.
        {"func=13 flags=1 path1=" + a259 + " path2=" + std::string(600, 'C'),
         a259 + ", " + std::string(518, 'C')},
        // OPEN's handle comes first and counts.
        {"func=36 sfn=0xABCD path1=" + a259 + " path2=" + std::string(1000, 'C'),
         "ABCD, " + a259 + ", " + std::string(512, 'C')},
    };
    for (const Case& c : cases) {
        const std::string text = DataText(c.line);
        EXPECT_LE(text.size(), kDataMax);
        EXPECT_EQ(text, c.expected) << c.line.substr(0, 60);
    }
}

// For names of every length around the room's end, the text is the longest
// prefix of the whole text that fits and ends on a character boundary.
TEST(DataTextCut, CutTextIsTheLongestWholeCharacterPrefix) {
    const std::string path1 = "C:\\" + Repeat(kGa + "x", 60); // odd and even offsets
    for (int func : {0, 31, 32, 13}) {
        const std::string noNames = DataText("func=" + std::to_string(func) +
                                             " flags=1 sfn=0x5A length=0x3C000000 options=0x9100");
        for (size_t len = 380; len <= 700; ++len) {
            std::string path2 = Repeat("y" + kGa + kGa, len / 5 + 1).substr(0, len);
            if (static_cast<uint8_t>(path2.back()) == 0xB0)
                path2.back() = 'z'; // keep the name itself well formed
            const std::string line =
                "func=" + std::to_string(func) +
                " flags=1 sfn=0x5A length=0x3C000000 options=0x9100 path1=" + path1 +
                " path2=" + path2;
            const std::string whole =
                path1 + ", " + path2 + (noNames.empty() ? "" : ", " + noNames);
            const std::string text = DataText(line);
            ASSERT_LE(text.size(), kDataMax) << func << " " << len;
            ASSERT_EQ(whole.compare(0, text.size(), text), 0) << func << " " << len;
            ASSERT_FALSE(EndsInLoneLeadByte(text)) << func << " " << len;
            if (whole.size() <= kDataMax)
                ASSERT_EQ(text.size(), whole.size()) << func << " " << len;
            else
                ASSERT_GE(text.size(), kDataMax - 1) << func << " " << len;
        }
    }
}

// The first name field holds 260 bytes; a driver that leaves no NUL in it
// must not make the text run on into the second name.
TEST(DataTextCut, FirstNameIsReadOnlyWithinItsField) {
    struct Case {
        const char* line;
        const char* before;
        const char* after;
    } cases[] = {
        {"func=31", "", ", C:\\X"},
        {"func=36 sfn=0x5A", "5A, ", ", C:\\X"},
        {"func=2 fh=1", "", ", C:\\X, 00000001"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> rec = Record(std::string(c.line) + " path2=C:\\X");
        for (size_t i = 140; i < 400; ++i)
            rec[i] = 'B';
        EXPECT_EQ(DataText(rec), c.before + std::string(260, 'B') + c.after) << c.line;
    }
}

} // namespace
