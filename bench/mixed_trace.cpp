#include "mixed_trace.h"

#include <cstdio>
#include <cstdlib>

#include "event/ifs_vocab.h"
#include "trace/call_trace.h"

namespace {

constexpr int kVariants = 6;

// Bit patterns that together set every bit of each flag set.
constexpr uint32_t kResTypes[kVariants] = {0x10, 0x01, 0x08, 0x80, 0x99, 0x00};
constexpr uint32_t kRwOptions[kVariants] = {0x0100, 0x1000, 0x8000, 0x9100, 0x0000, 0x9100};
constexpr uint32_t kLowOptions[kVariants] = {0x01, 0x02, 0x04, 0x03, 0x05, 0x07};
constexpr uint32_t kDirFlags[kVariants] = {0x20, 0x10, 0x08, 0x04, 0x3C, 0x00};
constexpr int32_t kResults[kVariants] = {0, 2, 18, 5, 183, -1};

// Names as a program would pass them: short and long, with double-byte
// (code page 949) folder and file names.
const char* const kPath1s[kVariants] = {
    "C:\\WINDOWS\\SYSTEM\\MFC42.DLL",
    "C:\\\xB3\xBB%20\xB9\xAE\xBC\xAD\\\xBA\xB8\xB0\xED\xBC\xAD.HWP",
    "C:\\PROGRAM%20FILES\\ACCESSORIES\\WORDPAD.EXE",
    "\\\\SERVER\\SHARE\\DATA\\REPORT.DOC",
    "C:\\WINDOWS\\TEMP\\~DF1A2B.TMP",
    "D:\\GAMES\\\xB9\xD9\xB5\xCF\\SAVE\\SLOT01.SAV",
};
const char* const kPath2s[kVariants] = {
    "C:\\WINDOWS\\SYSTEM\\MFC42.BAK",
    "C:\\\xB3\xBB%20\xB9\xAE\xBC\xAD\\\xBA\xB8\xB0\xED\xBC\xAD.BAK",
    "C:\\BACKUP\\WORDPAD.EXE",
    "\\\\SERVER\\SHARE\\OLD\\REPORT.DOC",
    "C:\\WINDOWS\\TEMP\\~DF1A2C.TMP",
    "D:\\GAMES\\\xB9\xD9\xB5\xCF\\SAVE\\SLOT02.SAV",
};

std::string Line(int code, int v) {
    const bool rw = code == IFSFN_READ || code == IFSFN_WRITE;
    const uint32_t length = code == IFSFN_DIR ? kDirFlags[v] << 24 : 0x200u << v;
    char fields[400];
    std::snprintf(fields, sizeof fields,
                  "func=%d drive=%d restype=0x%X codepage=%d result=%d sfn=0x%X length=0x%X "
                  "flags=%d data=0x%X options=0x%X fh=0x%X pos=0x%X aux2=0x%X",
                  code, 1 + (v * 7 + code) % 26, kResTypes[v], v % 2,
                  kResults[(v + code) % kVariants], 0x10 + 0x111 * v, length,
                  v + (code == IFSFN_FILETIMES ? 3 : 0), 0x00400000u + 0x1000u * v,
                  rw ? kRwOptions[v] : kLowOptions[v], 0x1C3u + 17u * v, 0x1000u * v, 0x10u << v);
    std::string line = fields;
    const int paths = v % 3; // none, Path1, both
    if (paths >= 1)
        line += std::string(" path1=") + kPath1s[v];
    if (paths >= 2)
        line += std::string(" path2=") + kPath2s[v];
    return line;
}

} // namespace

std::vector<std::string> MixedTraceLines() {
    std::vector<std::string> lines;
    for (int position = 0; position < kIfsFuncCount; ++position)
        for (int v = 0; v < kVariants; ++v)
            lines.push_back(Line(IfsFuncTable.Codes[position], v));
    return lines;
}

std::vector<std::vector<uint8_t>> MixedRecords() {
    std::vector<std::vector<uint8_t>> records;
    int number = 0;
    for (const std::string& line : MixedTraceLines()) {
        TraceLineResult r = ParseTraceLine(line, ++number);
        if (r.kind != TraceLineKind::Record) {
            std::fprintf(stderr, "mixed trace: %s\n", r.error.c_str());
            std::abort();
        }
        records.push_back(std::move(r.record));
    }
    return records;
}
