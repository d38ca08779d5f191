#include "trace/call_trace.h"

#include "event/ifs_call_rec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Record(const std::string& line) {
    const TraceLineResult r = ParseTraceLine(line, 1);
    EXPECT_EQ(r.kind, TraceLineKind::Record) << line << ": " << r.error;
    return r.record;
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t offset, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = offset; i < offset + n && i < bytes.size(); ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

TEST(CallTrace, SkipsEmptyAndCommentLines) {
    for (const char* line :
         {"", "   ", "\t \t", "#", "# func=zz", "  \t# note", "\r", "\r\n", "\n"}) {
        const TraceLineResult r = ParseTraceLine(line, 3);
        EXPECT_EQ(r.kind, TraceLineKind::Skip) << '"' << line << '"';
    }
}

// Each field lands at its record offset, little-endian, in its width.
TEST(CallTrace, FieldsLandAtTheirOffsets) {
    struct Case {
        const char* line;
        size_t offset;
        const char* bytes;
    } cases[] = {
        {"fsd=0x11223344", 0, "44332211"},
        {"func=36", 4, "24000000"},
        {"func=-2", 4, "FEFFFFFF"},
        {"func=0xFFFFFFFF", 4, "FFFFFFFF"},
        {"func=-2147483648", 4, "00000080"},
        {"drive=3", 8, "03000000"},
        {"restype=4294967295", 12, "FFFFFFFF"},
        {"codepage=0X1b5", 16, "B5010000"},
        {"length=0x24000000", 20, "00000024"},
        {"flags=255", 24, "FF00"},
        {"sfn=0xBEEF", 26, "EFBE"},
        {"data=007", 40, "07000000"},
        {"options=0x9003", 44, "0390"},
        {"fh=0x1C3", 52, "C3010000"},
        {"pos=4096", 56, "00100000"},
        {"aux2=0xFFFFFFFF", 60, "FFFFFFFF"},
        {"result=-1", 136, "FFFFFFFF"},
        {"result=2147483647", 136, "FFFFFF7F"},
        {"path1=C:\\A", 140, "433A5C4100"},
        {"path2=a%20b%25c%09%7f%FF", 400, "612062256309 7FFF00"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> rec = Record(c.line);
        std::string want = c.bytes;
        want.erase(std::remove(want.begin(), want.end(), ' '), want.end());
        EXPECT_EQ(Hex(rec, c.offset, want.size() / 2), want) << c.line;
    }
}

TEST(CallTrace, UnnamedFieldsAreZeroAndTheRecordEndsAfterPath2) {
    std::vector<uint8_t> rec = Record("func=1");
    ASSERT_EQ(rec.size(), 401u);
    rec[4] = 0;
    EXPECT_EQ(std::count(rec.begin(), rec.end(), 0), 401);

    rec = Record("path2=C:\\B.TXT path1=C:\\A.TXT");
    ASSERT_EQ(rec.size(), 400u + 8 + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[400])), "C:\\B.TXT");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[140])), "C:\\A.TXT");
    EXPECT_EQ(std::count(rec.begin() + 140, rec.begin() + 400, 0), 260 - 8);
}

TEST(CallTrace, RequestBlockComesFirstWhereverItStands) {
    std::string req;
    for (int i = 0; i < 116; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", i);
        req += b;
    }
    for (const std::string& line :
         {"sfn=0xBEEF req=" + req + " flags=0xAA", "flags=0xAA sfn=0xBEEF req=" + req}) {
        const std::vector<uint8_t> rec = Record(line);
        for (int i = 0; i < 116; ++i) {
            const int at = 20 + i;
            const int want = at == 24 ? 0xAA : at == 26 ? 0xEF : at == 27 ? 0xBE : i;
            EXPECT_EQ(rec[at], want) << "offset " << at;
        }
        EXPECT_EQ(rec[19], 0);
        EXPECT_EQ(rec[136], 0);
    }
}

TEST(CallTrace, BlanksAndLineEndsSeparateFields) {
    const std::vector<uint8_t> rec = Record("\t func=13  \tdrive=3\t path1=x%20y \r\n");
    EXPECT_EQ(Hex(rec, 4, 8), "0D00000003000000");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[140])), "x y");
}

TEST(CallTrace, NamesUpToTheirLimits) {
    const std::vector<uint8_t> rec =
        Record("path1=" + std::string(259, 'a') + " path2=" + std::string(1022, 'b') + "%41");
    EXPECT_EQ(rec.size(), kIfsCallRecMax);
    EXPECT_EQ(rec[398], 'a');
    EXPECT_EQ(rec[399], 0);
    EXPECT_EQ(rec[400 + 1022], 'A');
    EXPECT_EQ(rec[400 + 1023], 0);
    // Bytes above 0x7F stand as they are.
    EXPECT_EQ(Record("path1=\xB0\xA1\x81")[141], 0xA1);
}

// pid= and comm= name the process; the record is the same without them.
TEST(CallTrace, ProcessKeysStayOutOfTheRecord) {
    const std::string call = "func=36 drive=3 sfn=0x5A path1=C:\\A.TXT";
    const TraceLineResult r = ParseTraceLine("pid=4294967295 comm=wine%20x " + call, 1);
    ASSERT_EQ(r.kind, TraceLineKind::Record) << r.error;
    EXPECT_TRUE(r.hasPid);
    EXPECT_EQ(r.pid, 4294967295u);
    EXPECT_EQ(r.comm, "wine x");
    EXPECT_EQ(r.record, Record(call));
    EXPECT_FALSE(ParseTraceLine(call, 1).hasPid);
}

TEST(CallTrace, MalformedLinesNameLineAndField) {
    struct Case {
        std::string line;
        const char* error;
    } cases[] = {
        {"func=36 bogus=1", "line 7: bogus: unknown key"},
        {"func=1 func=2", "line 7: func: given twice"},
        {"path1=a path1=b", "line 7: path1: given twice"},
        {"func=36 sfn", "line 7: sfn: expected key=value"},
        {"=5", "line 7: : unknown key"},
        {"FUNC=1", "line 7: FUNC: unknown key"},
        {"func=", "line 7: func: number expected"},
        {"func=0x", "line 7: func: number expected"},
        {"func=-", "line 7: func: number expected"},
        {"func=12a", "line 7: func: bad number"},
        {"func=+5", "line 7: func: bad number"},
        {"func=0x1G", "line 7: func: bad number"},
        {"func=-0x10", "line 7: func: bad number"},
        {"func=2147483648", "line 7: func: value too wide"},
        {"result=-2147483649", "line 7: result: value too wide"},
        {"drive=0x100000000", "line 7: drive: value too wide"},
        {"func=99999999999999999999999", "line 7: func: value too wide"},
        {"restype=-1", "line 7: restype: negative value"},
        {"codepage=4294967296", "line 7: codepage: value too wide"},
        {"flags=256", "line 7: flags: value too wide"},
        {"flags=-1", "line 7: flags: negative value"},
        {"sfn=0x10000", "line 7: sfn: value too wide"},
        {"options=65536", "line 7: options: value too wide"},
        {"pos=0x1FFFFFFFF", "line 7: pos: value too wide"},
        {"req=00", "line 7: req: expected 232 hex digits"},
        {"req=" + std::string(230, '0') + "0G", "line 7: req: expected 232 hex digits"},
        {"req=" + std::string(234, '0'), "line 7: req: expected 232 hex digits"},
        {"path1=a%2", "line 7: path1: bad escape"},
        {"path1=a%", "line 7: path1: bad escape"},
        {"path1=a%zz", "line 7: path1: bad escape"},
        {"path2=%00", "line 7: path2: NUL byte"},
        {"path1=a\x01", "line 7: path1: unescaped control byte"},
        {"path1=a\x7F", "line 7: path1: unescaped control byte"},
        {"path1=a\rb", "line 7: path1: unescaped control byte"},
        {"path1=" + std::string(260, 'a'), "line 7: path1: path too long"},
        {"path1=" + std::string(258, 'a') + "%41%42", "line 7: path1: path too long"},
        {"path2=" + std::string(1024, 'b'), "line 7: path2: path too long"},
        {"pid=-1", "line 7: pid: negative value"},
        {"pid=4294967296", "line 7: pid: value too wide"},
        {"pid=1 pid=2", "line 7: pid: given twice"},
        {"comm=" + std::string(65, 'c'), "line 7: comm: path too long"},
    };
    for (const Case& c : cases) {
        const TraceLineResult r = ParseTraceLine(c.line, 7);
        EXPECT_EQ(r.kind, TraceLineKind::Error) << c.line.substr(0, 40);
        EXPECT_EQ(r.error, c.error) << c.line.substr(0, 40);
    }
}

// The writer's line read back gives the record the builder makes of the call.
TEST(CallTrace, WrittenLinesReadBackAsTheBuiltRecord) {
    std::string allBytes; // every byte but NUL, the ones the writer escapes included
    for (int b = 1; b < 256; ++b)
        allBytes += static_cast<char>(b);
    const auto call = [](auto set) {
        IfsCall c;
        set(c);
        return c;
    };
    const struct {
        const char* what;
        IfsCall call;
    } cases[] = {
        {"nothing given", IfsCall{}},
        {"an open as the hook writes it", call([](IfsCall& c) {
             c.func = IFSFN_OPEN;
             c.drive = 3;
             c.resType = kResTypeLocal;
             c.result = 2;
             c.sfn = 0x5A;
             c.flags = kAccessReadWrite | kShareDenyNone;
             c.path1 = "C:\\My Documents\\\xBA\xB8\xB0\xED\xBC\xAD 100%.HWP";
         })},
        {"signed fields at their ends, every other field full", call([&](IfsCall& c) {
             c.fsd = 0xFFFFFFFF;
             c.func = -1;
             c.drive = INT32_MIN;
             c.result = INT32_MIN;
             c.resType = c.codePage = c.length = c.data = c.fh = c.pos = c.aux2 = 0xFFFFFFFF;
             c.flags = 0xFF;
             c.sfn = c.options = 0xFFFF;
             std::string many;
             while (many.size() < kIfsCallPath2Max)
                 many += allBytes;
             c.path1 = many.substr(0, kIfsCallPath1Max);
             c.path2 = many.substr(0, kIfsCallPath2Max);
         })},
        {"a request block under fields of 0 and others", call([](IfsCall& c) {
             c.func = INT32_MAX;
             c.result = -2;
             std::string block;
             for (int i = 0; i < kIfsReqSize; ++i)
                 block += static_cast<char>(0xFF - i);
             SetIfsCallReq(&c, block);
             c.length = 0;
             c.sfn = 0;
             c.pos = 0x12345678;
             c.path2 = "C:\\B";
         })},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> built;
        ASSERT_TRUE(BuildIfsCallRec(c.call, &built)) << c.what;
        std::string line;
        AppendTraceLine(c.call, 4242, "a b%", &line);
        ASSERT_EQ(line.back(), '\n') << c.what;
        const TraceLineResult r = ParseTraceLine(line, 1);
        ASSERT_EQ(r.kind, TraceLineKind::Record) << c.what << ": " << r.error;
        EXPECT_EQ(r.record, built) << c.what;
        EXPECT_EQ(r.pid, 4242u) << c.what;
        EXPECT_EQ(r.comm, "a b%") << c.what;
    }
}

} // namespace
