#include "temp_ini.h"

#include "settings/monitor_settings.h"
#include "text/str_scan.h"

namespace {

// Stand-in for the dialog-unit conversion: distinct for every column's default.
int FakeDluToPixelX(int n) {
    return 1000 + n;
}
constexpr int32_t kDefaultWidths[kListColumnCount] = {1050, 1015, 1020, 1020, 1030, 1600};

constexpr char kPresetText[] = "000000000000000001001010000010"; // files being looked for

// The settings file after some use, as the profile functions write it.
const std::vector<std::string> kUsedFile = {
    "[DlgPos]",
    "ViewNotFndFile=120 80 780 560",
    "SetOption=200 150 540 322",
    "[Config]",
    "IfsFncMonEnaFg=000000000000000001001010000010",
    "MaxViewLineQty=200",
    "ResultMonFg=2",
    "EnaMonitorFg=1",
    "ColWidths=75 22 30 30 45 900 ",
};

// Puts values into the monitoring settings that no load would produce.
void ScrambleMonitorSettings() {
    MaxViewLineQty = -99;
    ResultMonFg = 99;
    EnaMonitorFg = 99;
    std::memset(IfsFncMonEnaFg, 99, sizeof IfsFncMonEnaFg);
}

std::string EnableBytes() {
    std::string s;
    for (int8_t b : IfsFncMonEnaFg)
        s += static_cast<char>('0' + b);
    return s;
}

// The monitoring settings in memory: row limit, result filter, monitoring
// flag and the enable bytes.
std::string SettingsInMemory() {
    return std::to_string(MaxViewLineQty) + " " + std::to_string(ResultMonFg) + " " +
           std::to_string(EnaMonitorFg) + " " + EnableBytes();
}
const std::string kDefaultSettings = "200 0 1 " + std::string(30, '1');
const std::string kUsedSettings = std::string("200 2 1 ") + kPresetText;

using SettingsFile = TempIni;

TEST_F(SettingsFile, FirstStartWithoutFileGivesDefaults) {
    ScrambleMonitorSettings();
    LoadMonitorSettings();
    EXPECT_EQ(SettingsInMemory(), kDefaultSettings);

    int32_t widths[kListColumnCount] = {};
    ReadColWidths(widths, FakeDluToPixelX);
    for (int i = 0; i < kListColumnCount; ++i)
        EXPECT_EQ(widths[i], kDefaultWidths[i]) << "column " << i;

    char record[kIniValueSize];
    std::memset(record, '#', sizeof record);
    IniReadStr(kIniDlgPos, "ViewNotFndFile", record, nullptr);
    EXPECT_STREQ(record, "");
    int32_t x = 30000, y = 30000, w = 640, h = 480;
    StrScan(record, "%d %d %d %d", &x, &y, &w, &h);
    EXPECT_EQ(x, 30000);
    EXPECT_EQ(h, 480);

    EXPECT_EQ(IniReadInt(kIniConfig, "MaxViewLineQty", -5), -5);
    IniReadStr(kIniConfig, "ColWidths", record, "fallback");
    EXPECT_STREQ(record, "fallback");
    EXPECT_FALSE(FileExists()) << "reading must not create the file";
}

TEST_F(SettingsFile, UsedFileReadsBackValueByValue) {
    WriteFileBytes(path_, JoinLines(kUsedFile));
    ScrambleMonitorSettings();
    LoadMonitorSettings();
    EXPECT_EQ(SettingsInMemory(), kUsedSettings);

    int32_t widths[kListColumnCount] = {};
    ReadColWidths(widths, FakeDluToPixelX);
    const int32_t expected[kListColumnCount] = {75, 22, 30, 30, 45, 900};
    for (int i = 0; i < kListColumnCount; ++i)
        EXPECT_EQ(widths[i], expected[i]) << "column " << i;

    char record[kIniValueSize];
    IniReadStr(kIniDlgPos, "ViewNotFndFile", record, nullptr);
    int32_t v[4] = {30000, 30000, 0, 0};
    StrScan(record, "%d %d %d %d", &v[0], &v[1], &v[2], &v[3]);
    EXPECT_EQ(v[0], 120);
    EXPECT_EQ(v[1], 80);
    EXPECT_EQ(v[2], 780);
    EXPECT_EQ(v[3], 560);

    IniReadStr(kIniDlgPos, "SetOption", record, nullptr);
    int32_t p[4] = {30000, 30000, 111, 222};
    StrScan(record, "%d %d", &p[0], &p[1], &p[2], &p[3]);
    EXPECT_EQ(p[0], 200);
    EXPECT_EQ(p[1], 150);
    EXPECT_EQ(p[2], 111) << "the options dialog never takes a stored size";
    EXPECT_EQ(p[3], 222);
}

TEST_F(SettingsFile, WritesInUseOrderProduceTheUsedFile) {
    // Placements as the dialogs open and move, then the options dialog's OK,
    // then the column widths at close.
    IniWriteInts(kIniDlgPos, "ViewNotFndFile", 100, 60, 780, 560);
    IniWriteInts(kIniDlgPos, "ViewNotFndFile", 120, 80, 780, 560);
    IniWriteInts(kIniDlgPos, "SetOption", 200, 150, 540, 322);
    WriteOptionSettings(kPresetText, 200, 2, 1);
    const int32_t widths[kListColumnCount] = {75, 22, 30, 30, 45, 900};
    WriteColWidths(widths);
    EXPECT_EQ(FileLines(path_), kUsedFile);
    EXPECT_EQ(FileBytes(path_), JoinLines(kUsedFile));
}

TEST_F(SettingsFile, OptionWritesRewriteValuesInPlace) {
    WriteFileBytes(path_, JoinLines(kUsedFile));
    WriteOptionSettings("111111111111111111111111111111", -7, -1, 0);
    std::vector<std::string> expected = kUsedFile;
    expected[4] = "IfsFncMonEnaFg=111111111111111111111111111111";
    expected[5] = "MaxViewLineQty=1";
    expected[6] = "ResultMonFg=-1";
    expected[7] = "EnaMonitorFg=0";
    std::vector<std::string> lines = FileLines(path_);
    // The untouched ColWidths line may lose its trailing blank when the file
    // is rewritten; its value reads the same either way.
    ASSERT_EQ(lines.size(), expected.size());
    lines[8] = kUsedFile[8];
    EXPECT_EQ(lines, expected);

    LoadMonitorSettings();
    EXPECT_EQ(MaxViewLineQty, 1);
    EXPECT_EQ(ResultMonFg, -1);
    EXPECT_EQ(EnaMonitorFg, 0);
    EXPECT_EQ(EnableBytes(), std::string(30, '1'));
}

TEST_F(SettingsFile, OptionWritesRaiseRowLimitBelowOne) {
    struct Case {
        int32_t given;
        const char* written;
    } cases[] = {{0, "1"}, {-7, "1"}, {INT32_MIN, "1"}, {1, "1"}, {5000, "5000"}};
    for (const Case& c : cases) {
        WriteOptionSettings(kPresetText, c.given, 0, 1);
        char text[kIniValueSize];
        IniReadStr(kIniConfig, "MaxViewLineQty", text, nullptr);
        EXPECT_STREQ(text, c.written) << c.given;
    }
}

// Each case writes one [Config] file by hand and loads it.
struct LoadCase {
    const char* lines; // the [Config] lines, CR LF separated
    int32_t maxViewLineQty;
    int8_t resultMonFg;
    int8_t enaMonitorFg;
    const char* enables; // the 30 bytes as '0' + value
};

TEST_F(SettingsFile, LoadAppliesLimitsAndKeepsLowBytes) {
    const std::string all1(30, '1');
    const std::string zeros35(35, '0');
    const std::string zeros30(30, '0');
    const std::string tail27(27, '1');
    const std::string tail29(29, '1');
    const std::string t35 = "IfsFncMonEnaFg=" + zeros35;
    const std::string t101 = "IfsFncMonEnaFg=101";
    const std::string e101 = "101" + tail27;
    const std::string e2 = "2" + tail29;
    const LoadCase cases[] = {
        {"MaxViewLineQty=0", 1, 0, 1, all1.c_str()},
        {"MaxViewLineQty=-7", 1, 0, 1, all1.c_str()},
        {"MaxViewLineQty=1", 1, 0, 1, all1.c_str()},
        {"MaxViewLineQty=5000", 5000, 0, 1, all1.c_str()},
        {"MaxViewLineQty=abc", 1, 0, 1, all1.c_str()},
        {"ResultMonFg=258", 200, 2, 1, all1.c_str()},
        {"ResultMonFg=255", 200, -1, 1, all1.c_str()},
        {"ResultMonFg=-1", 200, -1, 1, all1.c_str()},
        {"ResultMonFg=5", 200, 5, 1, all1.c_str()},
        {"EnaMonitorFg=0", 200, 0, 0, all1.c_str()},
        {"EnaMonitorFg=256", 200, 0, 0, all1.c_str()},
        {"EnaMonitorFg=7", 200, 0, 7, all1.c_str()},
        {t101.c_str(), 200, 0, 1, e101.c_str()},
        {t35.c_str(), 200, 0, 1, zeros30.c_str()},
        {"IfsFncMonEnaFg=2", 200, 0, 1, e2.c_str()},
        {"IfsFncMonEnaFg=", 200, 0, 1, all1.c_str()},
    };
    int n = 0;
    for (const LoadCase& c : cases) {
        // A file of its own per case: the profile functions cache files by name.
        const std::string file = path_ + "." + std::to_string(n++);
        WriteFileBytes(file, std::string("[Config]\r\n") + c.lines + "\r\n");
        PointIniPathAt(file);
        ScrambleMonitorSettings();
        LoadMonitorSettings();
        EXPECT_EQ(MaxViewLineQty, c.maxViewLineQty) << c.lines;
        EXPECT_EQ(ResultMonFg, c.resultMonFg) << c.lines;
        EXPECT_EQ(EnaMonitorFg, c.enaMonitorFg) << c.lines;
        EXPECT_EQ(EnableBytes(), c.enables) << c.lines;
        DeleteFileA(file.c_str());
    }
}

TEST_F(SettingsFile, ColWidthsFallBackToDefaultsPerColumn) {
    struct Case {
        const char* value;
        int32_t expected[kListColumnCount];
    } cases[] = {
        {"75 22 30", {75, 22, 30, 1020, 1030, 1600}},
        {"80 -5 abc", {80, 1015, 1020, 1020, 1030, 1600}},
        {"-1 -1 -1 -1 -1 -1 ", {1050, 1015, 1020, 1020, 1030, 1600}},
        {"1 2 3 4 5 6 7", {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        IniWriteStr(kIniConfig, "ColWidths", c.value);
        int32_t widths[kListColumnCount] = {};
        ReadColWidths(widths, FakeDluToPixelX);
        for (int i = 0; i < kListColumnCount; ++i)
            EXPECT_EQ(widths[i], c.expected[i]) << '"' << c.value << "\" column " << i;
    }
}

TEST_F(SettingsFile, ColWidthsWriteEachValueWithABlank) {
    struct Case {
        int32_t widths[kListColumnCount];
        const char* line;
    } cases[] = {
        {{75, 22, 30, 30, 45, 900}, "ColWidths=75 22 30 30 45 900 "},
        {{-1, -1, -1, -1, -1, -1}, "ColWidths=-1 -1 -1 -1 -1 -1 "},
        {{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
         "ColWidths=-2147483648 -2147483648 -2147483648 -2147483648 -2147483648 -2147483648 "},
    };
    for (const auto& c : cases) {
        WriteColWidths(c.widths);
        const std::vector<std::string> lines = FileLines(path_);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "[Config]");
        EXPECT_EQ(lines[1], c.line);
    }
    // Values of full width read back whole: all below 1, so all defaults.
    int32_t widths[kListColumnCount] = {};
    ReadColWidths(widths, FakeDluToPixelX);
    for (int i = 0; i < kListColumnCount; ++i)
        EXPECT_EQ(widths[i], kDefaultWidths[i]) << "column " << i;
}

TEST_F(SettingsFile, WriteIntsLeavesOutTrailingAbsentValues) {
    constexpr int32_t A = kIniAbsent;
    struct Case {
        int32_t v[4];
        const char* text;
    } cases[] = {
        {{5, A, A, A}, "5"},
        {{1, 2, A, A}, "1 2"},
        {{1, 2, 3, A}, "1 2 3"},
        {{1, 2, 3, 4}, "1 2 3 4"},
        {{1, A, 3, A}, "1 2147483647 3"},
        {{A, A, 3, 4}, "2147483647 2147483647 3 4"},
        {{A, A, A, A}, "2147483647"},
        {{-1, A, A, A}, "-1"},
        {{0, 0, 0, 0}, "0 0 0 0"},
        {{-50, -20, 640, 480}, "-50 -20 640 480"},
        {{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
         "-2147483648 -2147483648 -2147483648 -2147483648"},
        {{INT32_MIN, INT32_MAX - 1, INT32_MIN, INT32_MIN},
         "-2147483648 2147483646 -2147483648 -2147483648"},
    };
    for (const auto& c : cases) {
        IniWriteInts(kIniDlgPos, "Key", c.v[0], c.v[1], c.v[2], c.v[3]);
        const std::vector<std::string> lines = FileLines(path_);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], std::string("Key=") + c.text);
        char text[kIniValueSize];
        IniReadStr(kIniDlgPos, "Key", text, nullptr);
        EXPECT_STREQ(text, c.text);
    }
}

TEST_F(SettingsFile, ReadStrKeepsAtMost79Characters) {
    const std::string longValue(100, 'v');
    WriteFileBytes(path_, "[Config]\r\nK=" + longValue + "\r\n");
    char text[kIniValueSize + 8];
    std::memset(text, '#', sizeof text);
    IniReadStr(kIniConfig, "K", text, nullptr);
    EXPECT_EQ(std::string(text), std::string(kIniValueSize - 1, 'v'));
    for (size_t i = kIniValueSize; i < sizeof text; ++i)
        EXPECT_EQ(text[i], '#') << i;
}

TEST_F(SettingsFile, ReadOnlyFileIgnoresWrites) {
    const std::string before = JoinLines(kUsedFile);
    WriteFileBytes(path_, before);
    ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    // A process with the superuser's rights may still write a read-only file
    // here; a handle that shares reading only makes the file read-only to
    // every writer.
    const HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    // The options dialog changes the values in memory, then writes them.
    MaxViewLineQty = 50;
    ResultMonFg = 1;
    EnaMonitorFg = 0;
    WriteOptionSettings("111111111111111111111111111111", 50, 1, 0);
    const int32_t widths[kListColumnCount] = {1, 2, 3, 4, 5, 6};
    WriteColWidths(widths);
    IniWriteInts(kIniDlgPos, "ViewNotFndFile", 1, 2, 3, 4);
    IniWriteStr(kIniConfig, "New", "value");

    EXPECT_EQ(FileBytes(path_), before);
    EXPECT_EQ(MaxViewLineQty, 50) << "a failed write leaves the values in memory";
    EXPECT_EQ(ResultMonFg, 1);
    EXPECT_EQ(EnaMonitorFg, 0);

    // The next start reads what the file still holds.
    LoadMonitorSettings();
    EXPECT_EQ(SettingsInMemory(), kUsedSettings);
    CloseHandle(reader);
}

TEST_F(SettingsFile, MissingFolderIgnoresWritesAndReadsDefaults) {
    const std::string missing = ScratchDir() + "\\no such folder\\TALVEK.INI";
    PointIniPathAt(missing);
    WriteOptionSettings(kPresetText, 10, 2, 0);
    const int32_t widths[kListColumnCount] = {1, 2, 3, 4, 5, 6};
    WriteColWidths(widths);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    ScrambleMonitorSettings();
    LoadMonitorSettings();
    EXPECT_EQ(SettingsInMemory(), kDefaultSettings);
}

} // namespace
