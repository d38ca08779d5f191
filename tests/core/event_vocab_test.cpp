#include "event/ifs_vocab.h"
#include "text/str_prim.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(IfsFuncPosition, FindsEachCodeAtItsPositionByLowByte) {
    struct Case {
        int32_t code;
        int32_t position;
    } cases[] = {
        {0, 0},   {1, 1},   {2, 2},   {3, 3},   {10, 4},   {13, 7},   {19, 13},    {30, 14},
        {32, 16}, {36, 20}, {44, 28}, {45, 29}, {292, 20}, {256, 0},  {0x12D, 29}, {-220, 20},
        {4, -1},  {9, -1},  {20, -1}, {29, -1}, {46, -1},  {255, -1}, {-1, -1},    {0x7FFFFF00, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IfsFuncPosition(c.code), c.position) << c.code;
}

TEST(IfsFuncPosition, CodesOutsideTheTableAreNotFound) {
    const std::set<int> inTable = {0,  1,  2,  3,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 30,
                                   31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};
    for (int code = 0; code < 256; ++code) {
        if (inTable.count(code) == 0)
            EXPECT_EQ(IfsFuncPosition(code), -1) << code;
        else
            EXPECT_EQ(IfsFuncTable.Codes[IfsFuncPosition(code)], code);
    }
}

TEST(NameLists, ReadAsTheRowTextsNeedThem) {
    struct Case {
        const char* list;
        int32_t index;
        const char* name;
    } cases[] = {
        {IfsFuncTable.Names, 0, "READ"},
        {IfsFuncTable.Names, 9, "PIPEREQUEST"},
        {IfsFuncTable.Names, 20, "OPEN"},
        {IfsFuncTable.Names, 29, "DASDIO"},
        {ResultNames, 0, "Ok"},
        {ResultNames, 14, "reserved"},
        {ResultNames, 23, "CRC_Error"},
        {ResultNames, 39, "HandleDiskFull"},
        {ResultNames, 40, ""},
        {ResultNames, 41, ""},
        {ResultNames, -1, ""},
        {SeekFromNames, 0, "BEGIN"},
        {SeekFromNames, 2, "END"},
        {SeekFromNames, 3, ""},
        {SeekFromNames, 255, ""},
        {FileTimeOpNames, 1, "SET_MODIFY_DATETIME"},
        {FileTimeOpNames, 2, "unknown"},
        {FileTimeOpNames, 3, "unknown"},
        {FileTimeOpNames, 4, "unknown"},
        {FileTimeOpNames, 5, "GET_LAST_ACCESS_DATETIME"},
        {FileTimeOpNames, 8, "SET_CREATION_DATETIME"},
        {FileTimeOpNames, 9, ""},
        {FileTimeOpNames, 200, ""},
        {DirOpNames, 3, "QUERY83_DIR"},
        {DirOpNames, 4, "QUERYLONG_DIR"},
        {DirOpNames, 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(MszEntry(c.list, c.index), c.name) << c.index;
}

// The indexed reads of the two hot lists give MszEntry's entry everywhere.
TEST(NameListIndex, ReadsWhatMszEntryReads) {
    for (int32_t position = 0; position < kIfsFuncCount; ++position)
        EXPECT_EQ(IfsFuncName(position), MszEntry(IfsFuncTable.Names, position)) << position;
    for (int32_t code : {0, 1, 14, 38, 39, 40, 41, 255, 256, 1000, INT32_MAX, -1, -40, INT32_MIN})
        EXPECT_EQ(ResultName(code), MszEntry(ResultNames, code)) << code;
}

} // namespace
