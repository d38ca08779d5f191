// The Windows view's mapping: one sequence of recorded NT calls of a Windows
// program through one mapper, so that the handle table and positions carry
// from row to row as in a real run.
#include "hook/windows/nt_map.h"
#include "hook/windows/nt_status.h"
#include "hook/windows/wine_libs.h"
#include "trace/call_trace.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

// A recorded call, built field by field.
struct Nt {
    ntev e{};
    explicit Nt(uint16_t call, uint32_t pid = 100) {
        e.call = call;
        e.pid = e.tid = pid;
        std::strcpy(e.comm, "t");
    }
    Nt& H(uint64_t handle) { return e.handle = handle, *this; }
    Nt& Root(uint64_t root) { return e.root = root, *this; }
    Nt& St(uint32_t status) { return e.status = static_cast<int32_t>(status), *this; }
    Nt& Open(uint32_t access, uint32_t disposition, uint32_t options) {
        e.access = access, e.disposition = disposition, e.options = options;
        return *this;
    }
    Nt& Class(uint32_t c) { return e.info_class = c, *this; }
    Nt& Io(uint64_t buffer, uint64_t asked, uint64_t done) {
        e.buffer = buffer, e.length = asked, e.information = done;
        return *this;
    }
    Nt& IoStatus(uint32_t status) {
        return e.io_status = static_cast<int32_t>(status), e.flags |= NTEV_IO_STATUS, *this;
    }
    Nt& Flags(uint8_t flags) { return e.flags |= flags, *this; }
    Nt& At(int64_t offset) { return e.offset = offset, e.flags |= NTEV_HAS_OFFSET, *this; }
    Nt& Span(int64_t offset, uint64_t length) {
        return e.offset = offset, e.length = length, *this;
    }
    Nt& A(uint64_t a0, uint64_t a1) { return e.a[0] = a0, e.a[1] = a1, *this; }
    Nt& Info(size_t at, const void* bytes, size_t n) {
        std::memcpy(e.info + at, bytes, n);
        return *this;
    }
    Nt& Name(const std::u16string& s) {
        e.name_bytes = static_cast<uint16_t>(2 * std::min<size_t>(s.size(), NTEV_NAME_UNITS));
        std::memcpy(e.name, s.data(), e.name_bytes);
        return *this;
    }
    Nt& Name2(const std::u16string& s) {
        e.name2_bytes = static_cast<uint16_t>(2 * s.size());
        std::memcpy(e.name2, s.data(), e.name2_bytes);
        return *this;
    }
};

constexpr uint32_t kOk = 0, kNameNotFound = 0xC0000034, kPathNotFound = 0xC000003A,
                   kNoSuchFile = 0xC000000F, kNoMoreFiles = 0x80000006, kEof = 0xC0000011,
                   kPending = 0x103, kLockNotGranted = 0xC0000054, kDenied = 0xC0000022;
// Access, disposition and options as Wine's kernelbase passes them.
constexpr uint32_t kCreateRw = 0xC0100080, kFind = 0x100001, kMove = 0x110000, kDeleteDisp = 1,
                   kCreate = 2, kOpenIf = 3, kOverwriteIf = 5;
const int64_t kOne = 1, kPos = 0x3E8, kTime = 0x1D0000000000000;
const uint32_t kAttr = 0x20;

const std::string L = "pid=100 comm=t ";

// The lines one record gives, as the reporter writes them: the held rows it
// settles first, then its own.
std::string MapLines(NtMapper& mapper, const ntev& e) {
    std::string lines;
    for (const NtHeldRow& held : mapper.Settle(e)) {
        if (!held.none)
            AppendTraceLine(held.call, held.pid, held.comm, &lines);
    }
    IfsCall call;
    if (mapper.Map(e, &call) == NtOutcome::Reported)
        AppendTraceLine(call, e.pid, e.comm, &lines);
    return lines;
}

// "pid=100 comm=t " before each line of rows ("a\nb" for two).
std::string Lines(const char* rows) {
    std::string out;
    for (const char* at = rows; *at != 0;) {
        const char* end = std::strchr(at, '\n');
        const size_t n = end == nullptr ? std::strlen(at) : static_cast<size_t>(end - at);
        out += L + std::string(at, n) + "\n";
        at += n + (end == nullptr ? 0 : 1);
    }
    return out;
}

TEST(NtMap, RecordedCallsBecomeTraceLines) {
    DriveTable drives;
    drives.roots = {{'C', "/p/drive_c"}, {'N', "/mnt/net"}};
    NtMapper mapper(drives, [](char letter) { return letter == 'N'; });
    std::u16string korean;
    for (int i = 0; i < 140; ++i)
        korean += u"가";
    const struct {
        Nt ev;
        const char* line; // "" when not reported
    } rows[] = {
        // A missing file, as the program wrote it; then one in a missing folder.
        {Nt(NTEV_OPEN_FILE)
             .Open(kCreateRw, 1, 0x60)
             .St(kNameNotFound)
             .Name(u"\\??\\C:\\T\\없는파일.txt"),
         "func=36 drive=3 restype=0x10 result=2 path1=C:\\T\\\xBE\xF8\xB4\xC2\xC6\xC4\xC0\xCF.txt"},
        {Nt(NTEV_CREATE_FILE)
             .Open(kCreateRw, 1, 0x60)
             .St(kPathNotFound)
             .Name(u"\\??\\C:\\no\\x.txt"),
         "func=36 drive=3 restype=0x10 result=3 path1=C:\\no\\x.txt"},
        {Nt(NTEV_QUERY_ATTRIBUTES).St(kNameNotFound).Name(u"\\??\\c:\\Missing.TXT"),
         "func=33 drive=3 restype=0x10 result=2 path1=c:\\Missing.TXT"},
        // Folders: created, made current, listed.
        {Nt(NTEV_CREATE_FILE)
             .H(0x40)
             .Open(0x80100000, kCreate, 0x21)
             .Name(u"\\??\\C:\\T\\Long Folder"),
         "func=32 drive=3 restype=0x10 length=0x4000000 path1=C:\\T\\Long%20Folder"},
        {Nt(NTEV_CLOSE).H(0x40), ""},
        {Nt(NTEV_OPEN_FILE).H(0x44).Open(0x100020, 1, 0x21).Name(u"\\??\\C:\\T\\"),
         "func=32 drive=3 restype=0x10 flags=0x2 path1=C:\\T\\"},
        {Nt(NTEV_OPEN_FILE).H(0x48).Open(kFind, 1, 0x4021).Name(u"\\??\\C:\\T"), ""},
        {Nt(NTEV_QUERY_DIRECTORY).H(0x48).St(kNoSuchFile).Name(u"*.none"),
         "func=44 drive=3 restype=0x10 result=2 fh=0x48 path1=C:\\T\\*.none"},
        {Nt(NTEV_CLOSE).H(0x48), ""},
        {Nt(NTEV_OPEN_FILE).H(0x48).Open(kFind, 1, 0x4021).Name(u"\\??\\C:\\T"), ""},
        {Nt(NTEV_QUERY_DIRECTORY).H(0x48).Name(u"*"),
         "func=44 drive=3 restype=0x10 fh=0x48 path1=C:\\T\\*"},
        {Nt(NTEV_QUERY_DIRECTORY).H(0x48).St(kNoMoreFiles),
         "func=2 drive=3 restype=0x10 result=18 fh=0x48 path1=C:\\T\\*"},
        {Nt(NTEV_CLOSE).H(0x48), "func=18 drive=3 restype=0x10 fh=0x48"},
        {Nt(NTEV_OPEN_FILE).Open(kFind, 1, 0x4021).St(kNameNotFound).Name(u"\\??\\C:\\nodir"),
         "func=44 drive=3 restype=0x10 result=3 path1=C:\\nodir"},
        // A file: created relative to the folder handle, written at an
        // offset, read at the tracked position, locked, flushed, closed.
        {Nt(NTEV_CREATE_FILE).H(0x4C).Root(0x44).Open(kCreateRw, kOverwriteIf, 0x60).Name(u"a.dat"),
         "func=36 drive=3 restype=0x10 sfn=0x4C path1=C:\\T\\a.dat"},
        {Nt(NTEV_WRITE).H(0x4C).Io(0x12345678ABCD, 200, 200).At(kPos),
         "func=1 drive=3 restype=0x10 length=0xC8 sfn=0x4C data=0x5678ABCD pos=0x3E8"},
        {Nt(NTEV_SET_INFORMATION).H(0x4C).Class(14), "func=10 drive=3 restype=0x10 sfn=0x4C"},
        {Nt(NTEV_READ).H(0x4C).Io(0x1000, 100, 100).At(-2),
         "func=0 drive=3 restype=0x10 length=0x64 sfn=0x4C data=0x1000"},
        {Nt(NTEV_READ).H(0x4C).Io(0x1000, 0x1000, 0x20),
         "func=0 drive=3 restype=0x10 length=0x20 sfn=0x4C data=0x1000 pos=0x64"},
        {Nt(NTEV_READ).H(0x4C).Io(0x1000, 0x1000, 0).St(kEof),
         "func=0 drive=3 restype=0x10 sfn=0x4C data=0x1000 pos=0x84"},
        {Nt(NTEV_WRITE).H(0x4C).Io(0x2000, 16, 0).St(kPending),
         "func=1 drive=3 restype=0x10 length=0x10 sfn=0x4C data=0x2000 pos=0x84"},
        {Nt(NTEV_WRITE).H(0x4C).Io(0x2000, 16, 0).St(kDenied),
         "func=1 drive=3 restype=0x10 result=5 length=0x10 sfn=0x4C data=0x2000 pos=0x84"},
        {Nt(NTEV_LOCK).H(0x4C).Span(0x10, 0x20).A(1, 1),
         "func=13 drive=3 restype=0x10 sfn=0x4C options=0x2 pos=0x10 aux2=0x20"},
        {Nt(NTEV_LOCK).H(0x4C).Span(0x10, 0x20).A(0, 0).St(kLockNotGranted),
         "func=13 drive=3 restype=0x10 result=33 sfn=0x4C options=0x1 pos=0x10 aux2=0x20"},
        {Nt(NTEV_UNLOCK).H(0x4C).Span(0x10, 0x20),
         "func=13 drive=3 restype=0x10 flags=0x1 sfn=0x4C pos=0x10 aux2=0x20"},
        {Nt(NTEV_FLUSH).H(0x4C), "func=12 drive=3 restype=0x10 sfn=0x4C"},
        {Nt(NTEV_SET_INFORMATION).H(0x4C).Class(4).Info(16, &kTime, 8),
         "func=14 drive=3 restype=0x10 flags=0x1 sfn=0x4C path1=C:\\T\\a.dat"},
        {Nt(NTEV_CLOSE).H(0x4C), "func=11 drive=3 restype=0x10 sfn=0x4C"},
        {Nt(NTEV_READ).H(0x4C).Io(0x1000, 1, 1), ""}, // closed: no longer tracked
        // Calls by name through helper opens: attributes, rename, delete.
        {Nt(NTEV_OPEN_FILE).H(0x50).Open(0x100100, 1, 0x60).Name(u"\\??\\C:\\T\\a.dat"), ""},
        {Nt(NTEV_SET_INFORMATION).H(0x50).Class(4).Info(32, &kAttr, 4),
         "func=33 drive=3 restype=0x10 flags=0x1 path1=C:\\T\\a.dat"},
        {Nt(NTEV_CLOSE).H(0x50), ""},
        {Nt(NTEV_OPEN_FILE).H(0x54).Open(kMove, 1, 0x20).Name(u"\\??\\C:\\T\\a.dat"), ""},
        {Nt(NTEV_SET_INFORMATION).H(0x54).Class(10).Name2(u"\\??\\C:\\T\\b.dat"),
         "func=37 drive=3 restype=0x10 path1=C:\\T\\a.dat path2=C:\\T\\b.dat"},
        {Nt(NTEV_CLOSE).H(0x54), ""},
        // MoveFile of a missing source: RENAME, with no destination (Wine's
        // ntdll never sees it).
        {Nt(NTEV_OPEN_FILE).Open(kMove, 1, 0x20).St(kNameNotFound).Name(u"\\??\\C:\\T\\gone"),
         "func=37 drive=3 restype=0x10 result=2 path1=C:\\T\\gone"},
        {Nt(NTEV_CREATE_FILE).H(0x58).Open(kMove, kDeleteDisp, 0x1040).Name(u"\\??\\C:\\T\\b.dat"),
         ""},
        {Nt(NTEV_CLOSE).H(0x58), "func=31 drive=3 restype=0x10 path1=C:\\T\\b.dat"},
        {Nt(NTEV_CREATE_FILE)
             .Open(kMove, kDeleteDisp, 0x1040)
             .St(kNameNotFound)
             .Name(u"\\??\\C:\\T\\b.dat"),
         "func=31 drive=3 restype=0x10 result=2 path1=C:\\T\\b.dat"},
        {Nt(NTEV_DELETE_FILE).Name(u"\\??\\C:\\T\\c.dat"),
         "func=31 drive=3 restype=0x10 path1=C:\\T\\c.dat"},
        {Nt(NTEV_OPEN_FILE).H(0x5C).Open(kMove, 1, 0x21).Name(u"\\??\\C:\\T\\Long Folder"), ""},
        {Nt(NTEV_SET_INFORMATION).H(0x5C).Class(13).Info(0, &kOne, 1),
         "func=32 drive=3 restype=0x10 length=0x4000000 flags=0x1 path1=C:\\T\\Long%20Folder"},
        {Nt(NTEV_CLOSE).H(0x5C), ""},
        {Nt(NTEV_OPEN_FILE).Open(kMove, 1, 0x21).St(kNameNotFound).Name(u"\\??\\C:\\T\\NoDir"),
         "func=32 drive=3 restype=0x10 result=2 flags=0x1 path1=C:\\T\\NoDir"},
        // Free space through a folder opened for its attributes.
        {Nt(NTEV_OPEN_FILE).H(0x60).Open(0x100080, 1, 0x4021).Name(u"\\??\\C:\\"), ""},
        {Nt(NTEV_QUERY_VOLUME).H(0x60).Class(7), "func=35 drive=3 restype=0x10"},
        {Nt(NTEV_QUERY_VOLUME).H(0x60).Class(1), ""},
        // UNC, Wine's unix names, a network drive, devices, unknown bases.
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\UNC\\srv\\share\\x"),
         "func=33 drive=-1 restype=0x9 path1=\\\\srv\\share\\x"},
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\unix\\p\\drive_c\\win.ini"),
         "func=33 drive=3 restype=0x10 path1=C:\\win.ini"},
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\unix\\home\\u\\..\\x"),
         "func=33 drive=26 restype=0x10 path1=Z:\\home\\x"},
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\N:\\f"),
         "func=33 drive=14 restype=0x8 path1=N:\\f"},
        {Nt(NTEV_OPEN_FILE).H(0x64).Open(kCreateRw, 1, 0x60).Name(u"\\??\\pipe\\wine"), ""},
        {Nt(NTEV_READ).H(0x64).Io(0x1000, 1, 1), ""},
        {Nt(NTEV_OPEN_FILE).H(0x68).Open(kCreateRw, 1, 0x60).Name(u"\\??\\CONIN$"), ""},
        {Nt(NTEV_OPEN_FILE).H(0x6C).Open(kCreateRw, 1, 0x60).Name(u"\\Device\\Null"), ""},
        {Nt(NTEV_OPEN_FILE).H(0x70).Root(0x999).Open(kCreateRw, 1, 0x60).Name(u"x"), ""},
        // Code page 949: a character it lacks and an unpaired surrogate are
        // '?'; a name longer than the record holds (3 + 140 x 2 bytes) is
        // lost, never shown cut to another name; so is one the kernel side cut.
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\C:\\\U0001F600\xD800"),
         "func=33 drive=3 restype=0x10 path1=C:\\??"},
        {Nt(NTEV_QUERY_ATTRIBUTES).Name(u"\\??\\C:\\" + korean), nullptr},
        {[] {
             Nt cut(NTEV_QUERY_ATTRIBUTES);
             cut.Name(u"\\??\\C:\\x").e.flags |= NTEV_NAME_CUT;
             return cut;
         }(),
         nullptr},
        // A second process has handles of its own; a process's end drops them.
        {Nt(NTEV_CLOSE, 200).H(0x60), ""},
        {Nt(NTEV_PROCESS_EXIT).H(0), ""},
        {Nt(NTEV_QUERY_VOLUME).H(0x60).Class(7), ""},
    };
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(i++);
        IfsCall call;
        const NtOutcome outcome = mapper.Map(row.ev.e, &call);
        if (row.line == nullptr) {
            EXPECT_EQ(outcome, NtOutcome::LostLongName);
            continue;
        }
        std::string line;
        if (outcome == NtOutcome::Reported)
            AppendTraceLine(call, row.ev.e.pid, row.ev.e.comm, &line);
        EXPECT_EQ(line, *row.line ? L + row.line + "\n" : "");
    }
    EXPECT_EQ(mapper.HandleCount(100), 0u);
}

// Calls whose rows say what the program asked and what it got, in the
// sequences Wine's kernelbase makes (recorded under Wine 8).
TEST(NtMap, RowsAsTheProgramMadeThem) {
    NtMapper mapper(DriveTable{}, nullptr);
    const int64_t kEnd = 0x400;
    const struct {
        Nt ev;
        const char* line;
    } rows[] = {
        // CreateFile(CREATE_NEW) on an existing file got ERROR_FILE_EXISTS;
        // CreateDirectory on an existing folder ERROR_ALREADY_EXISTS.
        {Nt(NTEV_CREATE_FILE).Open(kCreateRw, kCreate, 0x60).St(0xC0000035).Name(u"\\??\\C:\\a"),
         "func=36 drive=3 restype=0x10 result=80 path1=C:\\a"},
        {Nt(NTEV_CREATE_FILE).Open(0x100001, kCreate, 0x21).St(0xC0000035).Name(u"\\??\\C:\\d"),
         "func=32 drive=3 restype=0x10 result=183 path1=C:\\d"},
        // A temporary file with FILE_FLAG_DELETE_ON_CLOSE: opened, written, closed.
        {Nt(NTEV_CREATE_FILE).H(0x80).Open(kCreateRw, kCreate, 0x1060).Name(u"\\??\\C:\\t.tmp"),
         "func=36 drive=3 restype=0x10 sfn=0x80 path1=C:\\t.tmp"},
        {Nt(NTEV_WRITE).H(0x80).Io(0x10, 6, 6),
         "func=1 drive=3 restype=0x10 length=0x6 sfn=0x80 data=0x10"},
        // SetEndOfFile at 0x400; SetFileTime of the creation time only, then
        // of the access time only.
        {Nt(NTEV_SET_INFORMATION).H(0x80).Class(20).Info(0, &kEnd, 8),
         "func=1 drive=3 restype=0x10 sfn=0x80 pos=0x400"},
        {Nt(NTEV_SET_INFORMATION).H(0x80).Class(4).Info(0, &kTime, 8),
         "func=14 drive=3 restype=0x10 flags=0x8 sfn=0x80 path1=C:\\t.tmp"},
        {Nt(NTEV_SET_INFORMATION).H(0x80).Class(4).Info(8, &kTime, 8),
         "func=14 drive=3 restype=0x10 flags=0x6 sfn=0x80 path1=C:\\t.tmp"},
        // DuplicateHandle: the copy writes to the same file; with
        // DUPLICATE_CLOSE_SOURCE the old value is gone, and a pipe that gets
        // it later is no file.
        {Nt(NTEV_DUPLICATE).Root(0x80).H(0x90).A(0, NTEV_DUP_FROM_SELF | NTEV_DUP_TO_SELF), ""},
        {Nt(NTEV_WRITE).H(0x90).Io(0x10, 2, 2),
         "func=1 drive=3 restype=0x10 length=0x2 sfn=0x90 data=0x10 pos=0x6"},
        {Nt(NTEV_DUPLICATE).Root(0x90).H(0x94).A(1, NTEV_DUP_FROM_SELF | NTEV_DUP_TO_SELF), ""},
        {Nt(NTEV_OPEN_FILE).H(0x90).Open(kCreateRw, 1, 0x60).Name(u"\\??\\pipe\\p"), ""},
        {Nt(NTEV_READ).H(0x90).Io(0x10, 9, 9), ""},
        {Nt(NTEV_CLOSE).H(0x94), "func=11 drive=3 restype=0x10 sfn=0x94"},
        // Overlapped reads that Wine completed at once: STATUS_PENDING, the
        // outcome in the IO_STATUS_BLOCK (a short read; the end of the file).
        {Nt(NTEV_READ).H(0x80).Io(0x10, 64, 6).At(0).St(kPending).IoStatus(0),
         "func=0 drive=3 restype=0x10 length=0x6 sfn=0x80 data=0x10"},
        {Nt(NTEV_READ).H(0x80).Io(0x10, 64, 0).At(100).St(kPending).IoStatus(kEof),
         "func=0 drive=3 restype=0x10 result=38 sfn=0x80 data=0x10 pos=0x64"},
        // GetFileTime; the other queries of a handle (its size, its position) are no row.
        {Nt(NTEV_QUERY_INFORMATION).H(0x80).Class(4),
         "func=14 drive=3 restype=0x10 sfn=0x80 path1=C:\\t.tmp"},
        {Nt(NTEV_QUERY_INFORMATION).H(0x80).Class(5), ""},
        {Nt(NTEV_CLOSE).H(0x80), "func=11 drive=3 restype=0x10 sfn=0x80"},
        // FindFirstFile("C:\\nodir\\*.txt"): the folder's open fails; the mask
        // follows the folder's name in its buffer.
        {[] {
             Nt find(NTEV_OPEN_FILE);
             find.Open(kFind, 1, 0x4021).St(kPathNotFound).Name(u"\\??\\C:\\nodir\\*.txt");
             find.e.name_bytes = 2 * 13; // "\\??\\C:\\nodir\\"
             find.e.name_tail_bytes = 2 * 5 + 2;
             return find;
         }(),
         "func=44 drive=3 restype=0x10 result=3 path1=C:\\nodir\\*.txt"},
        // SetFileAttributes opens with SYNCHRONIZE alone: no OPEN or CLOSE
        // row, FILEATTRIB from the call through it, or from the failed open.
        {Nt(NTEV_OPEN_FILE).H(0x88).Open(0x100000, 1, 0x20).Name(u"\\??\\C:\\t.tmp"), ""},
        {Nt(NTEV_SET_INFORMATION).H(0x88).Class(4).Info(32, &kAttr, 4),
         "func=33 drive=3 restype=0x10 flags=0x1 path1=C:\\t.tmp"},
        {Nt(NTEV_CLOSE).H(0x88), ""},
        {Nt(NTEV_OPEN_FILE).Open(0x100000, 1, 0x20).St(kNameNotFound).Name(u"\\??\\C:\\none"),
         "func=33 drive=3 restype=0x10 result=2 flags=0x1 path1=C:\\none"},
        // GetDiskFreeSpace of a missing drive: its root opened with
        // SYNCHRONIZE alone, as GetDriveType opens it; the next call tells.
        {Nt(NTEV_OPEN_FILE).Open(0x100000, 1, 0x21).St(kPathNotFound).Name(u"\\??\\Q:\\"), ""},
        {Nt(NTEV_QUERY_ATTRIBUTES).St(kNameNotFound).Name(u"\\??\\C:\\m"),
         "func=35 drive=17 restype=0x10 result=3\n"
         "func=33 drive=3 restype=0x10 result=2 path1=C:\\m"},
        // SetCurrentDirectory("C:\\"): a drive's root is no long name.
        {Nt(NTEV_OPEN_FILE).H(0x84).Open(0x100020, 1, 0x21).Name(u"\\??\\C:\\"),
         "func=32 drive=3 restype=0x10 flags=0x2 path1=C:\\"},
    };
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(i++);
        EXPECT_EQ(MapLines(mapper, row.ev.e), Lines(row.line));
    }
    EXPECT_TRUE(mapper.SettleAll().empty());
}

// Drive and volume calls, UNC, Korean names and devices, as Wine 8 and 10
// make them (WINEDEBUG=+file of GetVolumeInformation, GetDriveType,
// GetDiskFreeSpace, GetFileAttributes, CreateDirectoryW and CreateFile).
TEST(NtMap, DrivesVolumesAndDevices) {
    NtMapper mapper(DriveTable{}, nullptr);
    constexpr uint32_t kVolume = 0x80100000, kRoot = 0x100000, kMountManager = 0x80100080;
    const struct {
        Nt ev;
        const char* lines;
    } rows[] = {
        // GetVolumeInformation("C:\\"): the bare volume read, then queried.
        {Nt(NTEV_CREATE_FILE).H(0x30).Open(kVolume, 1, 0x60).Name(u"\\??\\C:"),
         "func=39 drive=3 restype=0x10"},
        {Nt(NTEV_QUERY_VOLUME).H(0x30).Class(1), ""},
        {Nt(NTEV_QUERY_VOLUME).H(0x30).Class(5), ""},
        {Nt(NTEV_CLOSE).H(0x30), ""},
        // GetVolumeInformation("Q:\\"), a missing drive: the volume, then its root.
        {Nt(NTEV_CREATE_FILE).Open(kVolume, 1, 0x60).St(kNameNotFound).Name(u"\\??\\Q:"), ""},
        {Nt(NTEV_CREATE_FILE).Open(kRoot, 1, 0x21).St(kPathNotFound).Name(u"\\??\\Q:\\"),
         "func=39 drive=17 restype=0x10 result=3"},
        // GetDriveType("Q:\\"): the root, then the mount manager asked: no row.
        {Nt(NTEV_CREATE_FILE).Open(kRoot, 1, 0x21).St(kPathNotFound).Name(u"\\??\\Q:\\"), ""},
        {Nt(NTEV_CREATE_FILE).H(0x30).Open(kMountManager, 1, 0x60).Name(u"\\??\\MountPointManager"),
         ""},
        {Nt(NTEV_CLOSE).H(0x30), ""},
        // GetDriveType("C:\\") and GetDiskFreeSpace("C:\\"): the query on the root tells.
        {Nt(NTEV_CREATE_FILE).H(0x34).Open(kRoot, 1, 0x21).Name(u"\\??\\C:\\"), ""},
        {Nt(NTEV_QUERY_VOLUME).H(0x34).Class(4), ""},
        {Nt(NTEV_CLOSE).H(0x34), ""},
        {Nt(NTEV_CREATE_FILE).H(0x34).Open(kRoot, 1, 0x21).Name(u"\\??\\C:\\"), ""},
        {Nt(NTEV_QUERY_VOLUME).H(0x34).Class(3), "func=35 drive=3 restype=0x10"},
        {Nt(NTEV_CLOSE).H(0x34), ""},
        // A volume opened otherwise (CreateFile("\\\\.\\C:")) is a device's.
        {Nt(NTEV_CREATE_FILE).H(0x38).Open(kMountManager, 1, 0x60).Name(u"\\??\\C:"), ""},
        {Nt(NTEV_READ).H(0x38).Io(0x10, 512, 512), ""},
        // GetFileAttributes of a UNC name that no dosdevices/unc link serves.
        {Nt(NTEV_QUERY_ATTRIBUTES).St(0xC00000CB).Name(u"\\??\\UNC\\server\\share\\x.txt"),
         "func=33 drive=-1 restype=0x9 result=66 path1=\\\\server\\share\\x.txt"},
        // CreateDirectoryW("C:\\aud2\\한글"): 4 bytes in code page 949, a short name.
        {Nt(NTEV_CREATE_FILE).H(0x3C).Open(0x80100000, kCreate, 0x21).Name(u"\\??\\C:\\aud2\\한글"),
         "func=32 drive=3 restype=0x10 path1=C:\\aud2\\\xC7\xD1\xB1\xDB"},
        {Nt(NTEV_CLOSE).H(0x3C), ""},
        // Devices of the character file system: NUL opened, written, closed;
        // CON without a console.
        {Nt(NTEV_CREATE_FILE).H(0x40).Open(0xC0100080, 1, 0x60).Name(u"\\??\\NUL"),
         "func=36 drive=-1 restype=0x80 sfn=0x40 path1=NUL"},
        {Nt(NTEV_WRITE).H(0x40).Io(0x10, 4, 4),
         "func=1 drive=-1 restype=0x80 length=0x4 sfn=0x40 data=0x10"},
        {Nt(NTEV_CLOSE).H(0x40), "func=11 drive=-1 restype=0x80 sfn=0x40"},
        {Nt(NTEV_CREATE_FILE).Open(0xC0100080, 1, 0x60).St(0xC0000008).Name(u"\\??\\CON"),
         "func=36 drive=-1 restype=0x80 result=6 path1=CON"},
        {Nt(NTEV_CREATE_FILE).H(0x44).Open(0xC0100080, 1, 0x60).Name(u"\\??\\com1"),
         "func=36 drive=-1 restype=0x80 sfn=0x44 path1=com1"},
        {Nt(NTEV_CREATE_FILE).H(0x48).Open(0xC0100080, 1, 0x60).Name(u"\\??\\COM0"), ""},
        // A failed root open held at a thread's last call: the process's end reports it.
        {Nt(NTEV_OPEN_FILE).Open(kRoot, 1, 0x21).St(kPathNotFound).Name(u"\\??\\R:\\"), ""},
        {Nt(NTEV_PROCESS_EXIT), "func=35 drive=18 restype=0x10 result=3"},
    };
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(i++);
        EXPECT_EQ(MapLines(mapper, row.ev.e), Lines(row.lines));
    }
    EXPECT_TRUE(mapper.SettleAll().empty());
}

// Korean Windows 98's short names: 8 + 3 bytes of code page 949, a
// double-byte character two bytes and never split, one dot.
// A WoW64 thread's names back to the program's, by the flags the backends
// read from its TEB: for calls by name, relative to a folder, and renames.
TEST(NtMap, Wow64Names) {
    NtMapper mapper(DriveTable{}, nullptr);
    const uint8_t kWow = NTEV_WOW64, kOff = NTEV_WOW64 | NTEV_REDIR_OFF;
    const struct {
        Nt ev;
        const char* rows;
    } cases[] = {
        {Nt(NTEV_QUERY_ATTRIBUTES)
             .St(kNameNotFound)
             .Flags(kWow)
             .Name(u"\\??\\C:\\windows\\syswow64\\x.dll"),
         "func=33 drive=3 restype=0x10 result=2 path1=C:\\windows\\system32\\x.dll"},
        {Nt(NTEV_QUERY_ATTRIBUTES)
             .St(kNameNotFound)
             .Flags(kOff)
             .Name(u"\\??\\C:\\windows\\syswow64\\x.dll"),
         "func=33 drive=3 restype=0x10 result=2 path1=C:\\windows\\syswow64\\x.dll"},
        {Nt(NTEV_QUERY_ATTRIBUTES).St(kNameNotFound).Name(u"\\??\\C:\\windows\\syswow64\\x.dll"),
         "func=33 drive=3 restype=0x10 result=2 path1=C:\\windows\\syswow64\\x.dll"},
        {Nt(NTEV_OPEN_FILE).H(0x50).Open(kFind, 1, 0x21).Flags(kWow).Name(u"\\??\\C:\\windows"),
         ""},
        {Nt(NTEV_QUERY_ATTRIBUTES).Root(0x50).Flags(kWow).Name(u"syswow64\\y.ini"),
         "func=33 drive=3 restype=0x10 path1=C:\\windows\\system32\\y.ini"},
        {Nt(NTEV_CREATE_FILE)
             .H(0x60)
             .Open(kMove, 1, 0x40)
             .Flags(kWow)
             .Name(u"\\??\\C:\\windows\\syswow64\\a"),
         ""},
        {Nt(NTEV_SET_INFORMATION)
             .H(0x60)
             .Class(10)
             .Flags(kWow)
             .Name2(u"\\??\\C:\\windows\\syswow64\\b"),
         "func=37 drive=3 restype=0x10 path1=C:\\windows\\system32\\a "
         "path2=C:\\windows\\system32\\b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MapLines(mapper, c.ev.e), c.rows[0] ? Lines(c.rows) : "") << c.rows;
}

TEST(NtMap, ShortNamesInCodePage949) {
    const struct {
        const char* name;
        bool isShort;
    } rows[] = {
        {"C:\\DATA\\README.TXT", true}, {"C:\\한글문서.한", true}, // 8 + 2 bytes
        {"C:\\가나다라마.txt", false},                             // 10 bytes
        {"C:\\ABCDEFGHI", false},                                  // 9 bytes
        {"C:\\a.b.c", false},                                      // a dot too many
        {"C:\\ABCDEFG가", false},                                  // a lead byte at the 8th byte
        {"C:\\AB.CD가", false},    // and at the 3rd of the extension
        {"C:\\한 글", false},      // a blank
        {"C:\\\U0001F600", false}, // not in code page 949
    };
    for (const auto& r : rows)
        EXPECT_EQ(IsShortName(r.name), r.isShort) << r.name;
}

// Handles a child inherits: the inheritable ones, when NtCreateUserProcess
// was asked to pass them on; Wine forks twice, then the child runs its program.
TEST(NtMap, InheritedHandles) {
    NtMapper mapper(DriveTable{}, nullptr);
    IfsCall call;
    const auto map = [&](const Nt& ev) { return mapper.Map(ev.e, &call); };
    const auto open = [](uint64_t handle, uint64_t attributes) {
        return Nt(NTEV_CREATE_FILE)
            .H(handle)
            .Open(kCreateRw, kCreate, 0x60)
            .A(attributes, 0)
            .Name(u"\\??\\C:\\i.dat");
    };
    ASSERT_EQ(map(open(0xA0, NTEV_OBJ_INHERIT)), NtOutcome::Reported);
    ASSERT_EQ(map(open(0xA4, 0)), NtOutcome::Reported);
    const struct {
        uint32_t child;
        uint64_t parent;
        bool created, inherit;
        NtOutcome onA0, onA4; // a write through each value after the child's exec
    } rows[] = {
        {300, 100, true, true, NtOutcome::Reported, NtOutcome::NotReported},
        {301, 300, false, false, NtOutcome::Reported, NtOutcome::NotReported},
        {302, 100, true, false, NtOutcome::NotReported, NtOutcome::NotReported},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.child);
        map(Nt(NTEV_PROCESS_FORK, r.child)
                .Root(r.parent)
                .A(r.inherit ? NTEV_INHERIT_HANDLES : 0, r.created ? 1 : 0));
        map(Nt(NTEV_PROCESS_EXEC, r.child));
        EXPECT_EQ(map(Nt(NTEV_WRITE, r.child).H(0xA0).Io(0x10, 5, 5)), r.onA0);
        EXPECT_EQ(map(Nt(NTEV_WRITE, r.child).H(0xA4).Io(0x10, 5, 5)), r.onA4);
    }
}

TEST(NtMap, StatusTable) {
    const struct {
        uint32_t status;
        int32_t dos;
    } rows[] = {
        {0, 0},
        {kPending, 0},
        {kNameNotFound, 2},
        {kNoSuchFile, 2},
        {kPathNotFound, 3},
        {kDenied, 5},
        {0xC0000043, 32},
        {kLockNotGranted, 33},
        {0xC0000055, 33},
        {kNoMoreFiles, 18},
        {kEof, 38},
        {0xC0000035, 183},
        {0xC0000008, 6},
        {0xC0000101, 145},
        {0xC00000A3, 21},  // a read that met EIO: NotReady
        {0x80000011, 170}, // EBUSY
        {0xC00000AF, 1},   // ESPIPE
        {0xC00000B5, 121}, // ETIME
        {0xC00000CB, 66},  // a UNC name without a dosdevices/unc link
        {0xC000000E, 433}, // ENXIO: Wine's own answer, not ERROR_FILE_NOT_FOUND
        {0xC00000B0, 233}, // EPIPE
        {0xC0000040, 8},   // the server's EFBIG
        {0xC0000120, 995}, // a cancelled transfer
        {0xC0009999, 317},
        {0x80009999, 317},
        {0x40000000, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DosErrorOfStatus(r.status), r.dos) << std::hex << r.status;
}

// Wine installations named with --wine-lib: each architecture's ntdll.so
// found once, told apart by its ELF class; a folder without one is refused.
TEST(NtMap, WineLibrariesOfAnInstallation) {
    char tmpl[] = "/tmp/talvek-wine-libs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const auto elf = [&](const std::string& sub, char elfClass) {
        ASSERT_EQ(system(("mkdir -p " + dir + "/" + sub).c_str()), 0);
        std::ofstream(dir + "/" + sub + "/ntdll.so") << "\x7f"
                                                        "ELF"
                                                     << elfClass << "rest";
    };
    elf("lib/wine/x86_64-unix", '\2');
    elf("lib/wine/i386-unix", '\1');
    std::ofstream(dir + "/lib/wine/ntdll.so") << "not a library";
    std::vector<WineLib> libs;
    std::string why;
    ASSERT_TRUE(FindWineLibraries({dir, dir + "/lib/wine/i386-unix"}, &libs, &why)) << why;
    ASSERT_EQ(libs.size(), 2u);
    EXPECT_EQ(libs[0].path, dir + "/lib/wine/x86_64-unix/ntdll.so");
    EXPECT_FALSE(libs[0].wow);
    EXPECT_EQ(libs[1].path, dir + "/lib/wine/i386-unix/ntdll.so");
    EXPECT_TRUE(libs[1].wow);
    EXPECT_FALSE(FindWineLibraries({dir + "/none"}, &libs, &why));
    EXPECT_NE(why.find(dir + "/none"), std::string::npos) << why;
    EXPECT_TRUE(libs.empty());
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

} // namespace
