// Settings files of garbage: the monitor window starts with sound values
// (defaults where a value is missing or unusable), shows rows, closes
// normally, and its writes (ColWidths at close, its placement) leave every
// other line of the file as it was.
#include "monitor_fixture.h"

#include <algorithm>
#include <cstring>

#include "settings/monitor_settings.h"
#include "settings/settings_values.h"
#include "simdriver/sim_driver.h"
#include "ui/dlg_frame.h"

namespace {

using GarbageSettingsTest = MonitorTest;

constexpr int32_t kDefault = -1;  // the column's default width
constexpr int32_t kAnyValue = -2; // platform-defined, checked only to be at least 1

struct Case {
    const char* name;
    std::string text;
    int32_t maxViewLineQty; // or kAnyValue
    int8_t resultMonFg;
    int8_t enaMonitorFg;
    const char* enables;              // expected enable bytes as '0' + value; null: all 1
    int32_t widths[kListColumnCount]; // pixels, kDefault or kAnyValue
    bool linesKept; // false: the platform's profile writer rewrites some lines (below)
};

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

std::vector<Case> Cases() {
    const std::string longLine(10000, 'x');
    return {
        {"keys outside their section",
         "ViewNotFndFile=1 2 3 4\r\nMaxViewLineQty=7\r\n[Other]\r\nMaxViewLineQty=9\r\n"
         "ColWidths=1 1 1 1 1 1\r\nConfig\r\n[Configs]\r\nEnaMonitorFg=0\r\n",
         200,
         0,
         1,
         nullptr,
         {kDefault, kDefault, kDefault, kDefault, kDefault, kDefault},
         true},
        {"negative, wrapping and out-of-range numbers",
         "[Config]\r\nMaxViewLineQty=-7\r\nResultMonFg=-300\r\nEnaMonitorFg=258\r\n"
         "IfsFncMonEnaFg=2/0\r\nColWidths=-1 99999999999 0 2147483648 -2147483648 12\r\n",
         1,
         -44,
         2,
         "2/0111111111111111111111111111",
         {kDefault, 1215752191, kDefault, kDefault, kDefault, 12},
         true},
        {"numbers beyond 32 bits",
         "[Config]\r\nMaxViewLineQty=99999999999999999999\r\nColWidths=0x1FFFFFFFF 5\r\n",
         kAnyValue,
         0,
         1,
         nullptr,
         {kDefault, 5, kDefault, kDefault, kDefault, kDefault},
         true},
        {"10,000-byte lines",
         "[Config]\r\nIfsFncMonEnaFg=" + std::string(10000, '0') + "\r\nMaxViewLineQty=50\r\n" +
             "ColWidths=" + Repeat("7 ", 5000) + "\r\n[Junk]\r\n" + longLine + "\r\nk=" + longLine +
             "\r\n",
         50,
         0,
         1,
         "000000000000000000000000000000",
         {7, 7, 7, 7, 7, 7},
         true},
        {"control bytes and double-byte text",
         "[Config]\r\n\x01\x02\xB0\xA1=\x7F\xC7\xD1\r\nMaxViewLineQty=\x7F\x05\r\n"
         "ResultMonFg=\xB0\xA1\r\n\x1B\x1C\r\nColWidths=\xB0\xA1 \t 9\r\n"
         "IfsFncMonEnaFg=\x01\x02\r\n",
         1,
         0,
         1,
         "\x01\x02"
         "1111111111111111111111111111",
         {kDefault, 9, kDefault, kDefault, kDefault, kDefault},
         true},
        // Wine's profile functions rewrite the whole file through Unicode on
        // every write: a byte that is no character of code page 949 becomes
        // '?' and an end-of-file byte (0x1A) is dropped, in every line (they
        // also drop blanks at the end of every value).
        {"bytes that are no characters",
         "[Config]\r\n\xFF\xFE=\x80\x81\r\nMaxViewLineQty=\xFE\r\n\x1A\r\n"
         "IfsFncMonEnaFg=\xFF\r\n",
         1,
         0,
         1,
         "\xFF"
         "11111111111111111111111111111",
         {kDefault, kDefault, kDefault, kDefault, kDefault, kDefault},
         false},
        {"no file contents at all but a byte order mark and NULs",
         std::string("\xEF\xBB\xBF\0\0\0\r\n", 8),
         200,
         0,
         1,
         nullptr,
         {kDefault, kDefault, kDefault, kDefault, kDefault, kDefault},
         false},
    };
}

// The file's lines without those that the monitor window writes: [Config]
// ColWidths, [DlgPos] ViewNotFndFile, and the headers of those two sections
// when they hold nothing else. Empty lines, which the profile functions put
// between sections, do not count.
std::vector<std::string> LinesBesideOwnWrites(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string section;
    size_t header = std::string::npos; // index in lines of the current header
    bool headerNeeded = true;
    auto closeSection = [&] {
        const bool own = section == "[Config]" || section == "[DlgPos]";
        if (header != std::string::npos && own && !headerNeeded)
            lines.erase(lines.begin() + static_cast<long>(header));
    };
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '[') {
            closeSection();
            section = line;
            header = lines.size();
            headerNeeded = false;
            lines.push_back(line);
            continue;
        }
        if ((section == "[Config]" && line.rfind("ColWidths=", 0) == 0) ||
            (section == "[DlgPos]" && line.rfind("ViewNotFndFile=", 0) == 0))
            continue;
        headerNeeded = true;
        lines.push_back(line);
    }
    closeSection();
    return lines;
}

// "" when the two are equal, otherwise the first differing line of each,
// shortened (some lines are 10,000 bytes long).
std::string FirstDifference(const std::vector<std::string>& before,
                            const std::vector<std::string>& after) {
    for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
        const std::string b = i < before.size() ? before[i].substr(0, 60) : "(none)";
        const std::string a = i < after.size() ? after[i].substr(0, 60) : "(none)";
        if (i >= before.size() || i >= after.size() || before[i] != after[i])
            return "line " + std::to_string(i) + ": was '" + b + "', now '" + a + "'";
    }
    return "";
}

// Records of SeqRecords(0, count) that the pushed enables let through.
uint32_t EnabledCount(int count) {
    uint32_t n = 0;
    for (int i = 0; i < count; ++i)
        if (IfsFncMonEnaFg[i % kIfsFuncCount] != 0)
            ++n;
    return n;
}

TEST_F(GarbageSettingsTest, StartsWithSoundValuesAndClosesWithoutTouchingOtherLines) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        SimReset();
        ASSERT_NE(Open(c.text), nullptr);
        if (c.maxViewLineQty == kAnyValue)
            EXPECT_GE(MaxViewLineQty, 1);
        else
            EXPECT_EQ(MaxViewLineQty, c.maxViewLineQty);
        EXPECT_EQ(ResultMonFg, c.resultMonFg);
        EXPECT_EQ(EnaMonitorFg, c.enaMonitorFg);
        for (int j = 0; j < kIfsFuncCount; ++j) {
            const int8_t want = c.enables ? static_cast<int8_t>(c.enables[j] - '0') : 1;
            EXPECT_EQ(IfsFncMonEnaFg[j], want) << "function " << j;
        }
        for (int i = 0; i < kListColumnCount; ++i) {
            const int got = ListColumnWidth(window_, 100, i);
            if (c.widths[i] == kDefault)
                EXPECT_EQ(got, DluToPixelX(kColWidthDlu[i])) << "column " << i;
            else
                EXPECT_EQ(got, c.widths[i]) << "column " << i;
        }
        // Rows of the enabled functions arrive and go back.
        SimStartEvents(SeqRecords(0, 60), 0, false);
        ASSERT_TRUE(PumpUntil([] { return SimIsIdle(); }, 30000));
        EXPECT_EQ(SimGetCounters().released, EnabledCount(60));
        EXPECT_EQ(ListRows(window_), static_cast<int>(std::min<uint32_t>(
                                         EnabledCount(60), static_cast<uint32_t>(MaxViewLineQty))));

        ASSERT_TRUE(Close());
        window_ = nullptr;
        const std::string after = FileBytes(iniPath_);
        if (c.linesKept) {
            EXPECT_EQ(FirstDifference(LinesBesideOwnWrites(c.text), LinesBesideOwnWrites(after)),
                      "");
        }
        EXPECT_NE(after.find("ColWidths="), std::string::npos);
    }
}

} // namespace
