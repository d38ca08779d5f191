#include "event/call_row_texts.h"
#include "trace/call_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Record(const std::string& line) {
    const TraceLineResult r = ParseTraceLine(line, 1);
    EXPECT_EQ(r.kind, TraceLineKind::Record) << r.error;
    return r.record;
}

const IfsCallRec* AsRec(const std::vector<uint8_t>& bytes) {
    return reinterpret_cast<const IfsCallRec*>(bytes.data());
}

std::string Text(const std::string& line, int column) {
    const std::vector<uint8_t> rec = Record(line);
    char scratch[kRowScratchSize];
    return CallColumnText(AsRec(rec), column, scratch);
}

// Every column at once, as the list shows them.
TEST(CallRowTexts, SampleCallsGiveTheirSixTexts) {
    struct Case {
        const char* line;
        const char* texts[kCallColumnCount];
    } cases[] = {
        {"func=0 drive=3 restype=0x10 sfn=0x5A length=0x200 pos=0x1000 data=0x4000 options=0x100",
         {"READ", "C:", "LCL", "ANSI", "Ok", "5A 200 bytes at 1000 into 00004000, NO_CACHE"}},
        {"func=1 drive=3 restype=0x10 sfn=0x5A length=0x10 data=0x2F4 options=0x9000",
         {"WRITE", "C:", "LCL", "ANSI", "Ok", "5A 10 bytes at 0 from 000002F4, SWAPPER, MM"}},
        {"func=36 drive=3 restype=0x10 sfn=0x5A result=2 path1=C:\\DATA\\A.TXT",
         {"OPEN", "C:", "LCL", "ANSI", "FileNotFound", "5A, C:\\DATA\\A.TXT"}},
        {"func=13 drive=3 restype=0x10 flags=1 sfn=0x5A aux2=0x10 pos=0x200 options=3",
         {"FILELOCKS", "C:", "LCL", "ANSI", "Ok", "UNLOCK, 5A 10 at 200, RD, NW"}},
        {"func=10 drive=3 restype=0x10 flags=2 sfn=0x5A",
         {"SEEK", "C:", "LCL", "ANSI", "Ok", "5A to 0 from END"}},
        {"func=32 drive=3 restype=0x10 length=0x24000000 path1=C:\\NEW",
         {"DIR", "C:", "LCL", "ANSI", "Ok", "C:\\NEW, CREATE_DIR, LONG_PATH, IS_LFN"}},
        {"func=2 drive=3 restype=0x10 fh=0x1C3 result=18 path1=C:\\DATA\\A.TXT",
         {"FINDNEXT", "C:", "LCL", "ANSI", "NoMoreFiles", "C:\\DATA\\A.TXT, 000001C3"}},
        {"func=14 drive=3 restype=0x10 flags=5 sfn=0x5A",
         {"FILETIMES", "C:", "LCL", "ANSI", "Ok", "5A GET_LAST_ACCESS_DATETIME"}},
        {"func=12 drive=3 restype=0x10 sfn=0x5A options=5",
         {"COMMIT", "C:", "LCL", "ANSI", "Ok", "5A, NO_LAST_ACCESS_DATE, COMMIT_ASNYNC"}},
        {"func=37 drive=3 restype=0x10 result=5 path1=C:\\A.TXT path2=C:\\B.TXT",
         {"RENAME", "C:", "LCL", "ANSI", "AccessDenied", "C:\\A.TXT, C:\\B.TXT"}},
        {"func=5 drive=3 restype=0x10 result=40",
         {"5<unknown>", "C:", "LCL", "ANSI", "UnknownError-40", ""}},
        {"func=33 drive=-1 restype=9 codepage=1",
         {"FILEATTRIB", "?:", "UNC, NET", "OEM", "Ok", ""}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> rec = Record(c.line);
        const char* texts[kCallColumnCount];
        char scratch[kCallColumnCount][kRowScratchSize];
        CallRowTexts(AsRec(rec), texts, scratch);
        for (int column = 0; column < kCallColumnCount; ++column)
            EXPECT_STREQ(texts[column], c.texts[column]) << c.line << " column " << column;
    }
}

struct ColumnCase {
    const char* line;
    const char* text;
};

void ExpectColumn(int column, const ColumnCase* cases, size_t n) {
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(Text(cases[i].line, column), cases[i].text) << cases[i].line;
}

TEST(CallColumnText, FunctionNamesOnlyByteSizedCodesOfTheTable) {
    const ColumnCase cases[] = {
        {"func=0", "READ"},
        {"func=3", "FCNNEXT"},
        {"func=15", "PIPEREQUEST"},
        {"func=16", "HANDLEINFO"},
        {"func=17", "ENUMHANDLE"},
        {"func=18", "FINDCLOSE"},
        {"func=19", "FCNCLOSE"},
        {"func=30", "CONNECT"},
        {"func=31", "DELETE"},
        {"func=34", "FLUSH"},
        {"func=35", "GETDISKINFO"},
        {"func=38", "SEARCH"},
        {"func=39", "QUERY"},
        {"func=40", "DISCONNECT"},
        {"func=41", "UNCPIPEREQ"},
        {"func=42", "IOCTL16DRIVE"},
        {"func=43", "GETDISKPARMS"},
        {"func=44", "FINDOPEN"},
        {"func=45", "DASDIO"},
        {"func=11", "CLOSE"},
        {"func=292", "292<unknown>"}, // low byte is OPEN's
        {"func=256", "256<unknown>"}, // low byte is READ's
        {"func=-1", "-1<unknown>"},
        {"func=-220", "-220<unknown>"},
        {"func=4", "4<unknown>"},
        {"func=29", "29<unknown>"},
        {"func=46", "46<unknown>"},
        {"func=255", "255<unknown>"},
        {"func=2147483647", "2147483647<unknown>"},
        {"func=-2147483648", "-2147483648<unknown>"},
    };
    ExpectColumn(kColFunction, cases, std::size(cases));
}

TEST(CallColumnText, DriveIsTheLowByteOfDrivePlus64) {
    const ColumnCase cases[] = {
        {"drive=1", "A:"},     {"drive=3", "C:"},          {"drive=26", "Z:"},
        {"drive=-1", "?:"},    {"drive=255", "?:"},        {"drive=0", "@:"},
        {"drive=0x101", "A:"}, {"drive=0x7FFFFFFF", "?:"}, {"drive=-64", ""}, // NUL character
    };
    ExpectColumn(kColDrive, cases, std::size(cases));
}

TEST(CallColumnText, ResTypeWordsFromTheLowByteInOrder) {
    const ColumnCase cases[] = {
        {"restype=0x98", "NET, LCL, CFSD"},
        {"restype=0x06", ""},
        {"restype=0", ""},
        {"restype=0xFF", "UNC, NET, LCL, CFSD"},
        {"restype=0x81", "UNC, CFSD"},
        {"restype=0xFFFFFF00", ""},
        {"restype=0x110", "LCL"},
    };
    ExpectColumn(kColResType, cases, std::size(cases));
}

TEST(CallColumnText, CodePageWordComparesAllBits) {
    const ColumnCase cases[] = {
        {"codepage=0", "ANSI"},    {"codepage=1", "OEM"},          {"codepage=2", "OEM"},
        {"codepage=0x100", "OEM"}, {"codepage=0x80000000", "OEM"},
    };
    ExpectColumn(kColCodePage, cases, std::size(cases));
}

TEST(CallColumnText, ResultNamesAndUnknownErrors) {
    const char* names[40] = {
        "Ok",
        "InvalidFunction",
        "FileNotFound",
        "PathNotFound",
        "TooManyOpenFiles",
        "AccessDenied",
        "InvalidHandle",
        "ArenaTrashed",
        "NotEnoughMemory",
        "InvalidBlock",
        "ErrorBadEnvironment",
        "BadFormat",
        "InvalidAccess",
        "InvalidData",
        "reserved",
        "InvalidDrive",
        "CurrentDirectory",
        "NotSameDevice",
        "NoMoreFiles",
        "WriteProtect",
        "BadUnit",
        "NotReady",
        "BadCommand",
        "CRC_Error",
        "BadLength",
        "SeekError",
        "NotDosDisk",
        "SectorNotFound",
        "OutOfPaper",
        "WriteFault",
        "ReadFault",
        "GenFailure",
        "SharingViolation",
        "LockViolation",
        "WrongDisk",
        "FCB_Unavailable",
        "SharingBufferExceeded",
        "CodePageMismatched",
        "HandleEOF",
        "HandleDiskFull",
    };
    for (int code = 0; code < 40; ++code)
        EXPECT_EQ(Text("result=" + std::to_string(code), kColResult), names[code]) << code;
    const ColumnCase cases[] = {
        {"result=40", "UnknownError-40"},
        {"result=183", "UnknownError-183"},
        {"result=2147483647", "UnknownError-2147483647"},
        {"result=-1", ""},
        {"result=-2147483648", ""},
        {"result=0xFFFFFFFF", ""},
    };
    ExpectColumn(kColResult, cases, std::size(cases));
}

TEST(CallColumnText, DataOfEachFunction) {
    const ColumnCase cases[] = {
        // READ and WRITE: every number at its widest, option words from offset 45 only.
        {"func=0 sfn=0xFFFF length=0xFFFFFFFF pos=0xFFFFFFFF data=0xFFFFFFFF options=0xFFFF",
         "FFFF FFFFFFFF bytes at FFFFFFFF into FFFFFFFF, NO_CACHE, SWAPPER, MM"},
        {"func=0 options=0x00FF", "0 0 bytes at 0 into 00000000"},
        {"func=1 sfn=0x8000 options=0x1000 path1=C:\\A path2=C:\\B",
         "C:\\A, C:\\B, 8000 0 bytes at 0 from 00000000, SWAPPER"},
        // FINDNEXT, FINDCLOSE: the find handle, eight digits.
        {"func=18 fh=0xABCDEF12 path1=C:\\*.*", "C:\\*.*, ABCDEF12"},
        {"func=2", "00000000"},
        // SEEK: a position past the list leaves "from" and a blank.
        {"func=10 flags=7 sfn=0x5A pos=0x40", "5A to 40 from "},
        {"func=10 flags=3 sfn=1", "1 to 0 from "},
        {"func=10 flags=0 sfn=1 pos=0xFFFFFFFF", "1 to FFFFFFFF from BEGIN"},
        {"func=10 flags=1 sfn=1", "1 to 0 from CURRENT"},
        // CLOSE and COMMIT each read their own bits of offset 44.
        {"func=11 sfn=0x5A options=3", "5A, NO_LAST_ACCESS_DATE, CLOSE_FOR_LEVEL4_LOCK"},
        {"func=11 sfn=0x5A options=4", "5A"},
        {"func=12 sfn=0x5A options=2", "5A"},
        {"func=12 sfn=0x5A options=0xFF04", "5A, COMMIT_ASNYNC"},
        // FILELOCKS: lock word first, then the region, then the lock options.
        {"func=13 flags=0 sfn=7 aux2=0xFFFFFFFF pos=1 options=2", "LOCK, 7 FFFFFFFF at 1, NW"},
        {"func=13 flags=0xFF sfn=7 options=0x100", "UNLOCK, 7 0 at 0"},
        {"func=13 path1=C:\\L.DAT", "C:\\L.DAT, LOCK, 0 0 at 0"},
        // FILETIMES: past the list only the blank remains.
        {"func=14 flags=9 sfn=0x5A", "5A "},
        {"func=14 flags=2 sfn=0x5A", "5A unknown"},
        {"func=14 flags=8 sfn=0x5A", "5A SET_CREATION_DATETIME"},
        // DIR: an operation past the list is an empty item.
        {"func=32 flags=9 length=0x20000000 path1=C:\\X", "C:\\X, , LONG_PATH"},
        {"func=32 flags=9", ""},
        {"func=32 flags=9 length=0x04000000", "IS_LFN"},
        {"func=32 flags=4 length=0x3C000000",
         "QUERYLONG_DIR, LONG_PATH, KEEP_CASE, HAS_DOT, IS_LFN"},
        {"func=32 flags=1 length=0xC3FFFFFF", "DELETE_DIR"},
        // OPEN: the handle leads, alone when there are no names.
        {"func=36 sfn=0x5A", "5A"},
        {"func=36 sfn=0", "0"},
        {"func=36 sfn=0xBEEF path2=D:\\B", "BEEF, D:\\B"},
        {"func=33", ""},
        {"func=37 path2=C:\\ONLY2", "C:\\ONLY2"},
        // Only the whole function number chooses the items.
        {"func=292 sfn=0x5A path1=C:\\X", "C:\\X"},
        {"func=256 sfn=0x5A", ""},
        {"func=-1 sfn=0x5A", ""},
        {"func=5 result=40", ""},
        // Names are taken byte for byte whatever the code page.
        {"func=31 codepage=1 path1=C:\\%B0%A1.TXT", "C:\\\xB0\xA1.TXT"},
    };
    ExpectColumn(kColData, cases, std::size(cases));
}

// Functions without items of their own show only their names, whatever the
// request block holds.
TEST(CallColumnText, DataOfOtherFunctionsIsTheNamesAlone) {
    const std::string allOnes = " req=" + std::string(232, 'F') + " path1=P1 path2=P2";
    for (int func : {3,  15, 16, 17, 19, 30, 31, 33, 34, 35,  37,  38,  39,  40,  41,
                     42, 43, 44, 45, 4,  9,  20, 29, 46, 255, 256, 258, 266, -256}) {
        EXPECT_EQ(Text("func=" + std::to_string(func) + allOnes, kColData), "P1, P2") << func;
    }
    EXPECT_EQ(Text("func=36 sfn=0x5A" + allOnes, kColData), "5A, P1, P2");
}

} // namespace
