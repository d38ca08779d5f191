// The row texts are formatted by the program's own routines; here they are
// held against wsprintfA with the very format strings of each text.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "event/call_row_texts.h"
#include "text/text_format.h"

namespace {

std::string Wsprintf(const char* format, ...) {
    char buf[1100];
    va_list args;
    va_start(args, format);
    wvsprintfA(buf, format, args);
    va_end(args);
    return buf;
}

std::vector<uint32_t> SampleValues() {
    std::vector<uint32_t> v = {0, 1, 9, 10, 0xF, 0x10, 0xFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    std::mt19937 rng(949);
    for (int i = 0; i < 500; ++i)
        v.push_back(rng() >> (rng() % 32));
    return v;
}

TEST(WsprintfMatch, NumberConversions) {
    for (uint32_t v : SampleValues()) {
        char got[16];
        FmtHex(got, v);
        EXPECT_EQ(got, Wsprintf("%X", v));
        FmtHex8(got, v);
        EXPECT_EQ(got, Wsprintf("%8.8X", v));
        FmtDec(got, static_cast<int32_t>(v));
        EXPECT_EQ(got, Wsprintf("%d", static_cast<int32_t>(v)));
    }
}

void SetU16(IfsCallRec* rec, int off, uint32_t v) {
    reinterpret_cast<uint8_t*>(rec)[off] = static_cast<uint8_t>(v);
    reinterpret_cast<uint8_t*>(rec)[off + 1] = static_cast<uint8_t>(v >> 8);
}
void SetU32(IfsCallRec* rec, int off, uint32_t v) {
    SetU16(rec, off, v & 0xFFFF);
    SetU16(rec, off + 2, v >> 16);
}

std::string Column(const IfsCallRec* rec, int column) {
    char scratch[kRowScratchSize];
    return CallColumnText(rec, column, scratch);
}

TEST(WsprintfMatch, FormattedColumnTexts) {
    static IfsCallRec rec;
    const std::vector<uint32_t> values = SampleValues();
    for (size_t i = 0; i + 3 < values.size(); ++i) {
        const uint32_t a = values[i], b = values[i + 1], c = values[i + 2], d = values[i + 3];
        const uint32_t sfn = a & 0xFFFF;
        rec = IfsCallRec{};
        SetU16(&rec, kOffSfn, sfn);
        SetU32(&rec, kOffLength, b & 0x00FFFFFF); // no DIR bits for the other functions
        SetU32(&rec, kOffPos, c);
        SetU32(&rec, kOffData, d);
        SetU32(&rec, kOffAux2, b);
        SetU32(&rec, kOffFh, d);

        rec.Func = 0;
        EXPECT_EQ(Column(&rec, kColData),
                  Wsprintf("%X %X bytes at %X %s %8.8X", sfn, b & 0x00FFFFFF, c, "into", d));
        rec.Func = 1;
        EXPECT_EQ(Column(&rec, kColData),
                  Wsprintf("%X %X bytes at %X %s %8.8X", sfn, b & 0x00FFFFFF, c, "from", d));
        rec.Func = 10;
        EXPECT_EQ(Column(&rec, kColData), Wsprintf("%X to %X from %s", sfn, c, "BEGIN"));
        rec.Func = 13;
        EXPECT_EQ(Column(&rec, kColData), Wsprintf("LOCK, %X %X at %X", sfn, b, c));
        rec.Func = 18;
        EXPECT_EQ(Column(&rec, kColData), Wsprintf("%8.8X", d));
        rec.Func = 36;
        EXPECT_EQ(Column(&rec, kColData), Wsprintf("%X", sfn));

        rec.Func = static_cast<int32_t>(a | 0x100); // never a table code
        EXPECT_EQ(Column(&rec, kColFunction), Wsprintf("%d<unknown>", rec.Func));
        rec.Result = static_cast<int32_t>(b);
        if (rec.Result >= 40) {
            EXPECT_EQ(Column(&rec, kColResult), Wsprintf("UnknownError-%d", rec.Result));
        }
    }
}

TEST(WsprintfMatch, DriveLetterOfEveryByte) {
    static IfsCallRec rec;
    for (int drive = -64; drive < 192; ++drive) {
        rec.Drive = drive;
        EXPECT_EQ(Column(&rec, kColDrive), Wsprintf("%c:", (drive + 64) & 0xFF)) << drive;
    }
}

} // namespace
