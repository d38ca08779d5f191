// The built-in scenario: what the hook would report on a Windows 98 machine
// while a word processor starts, looks for its libraries and settings, opens,
// saves and backs up a document, and the system pages, lists folders, uses
// the network and checks its disks meanwhile.
#include "simdriver/sim_driver.h"

#include <cctype>

namespace {

// IFS function codes.
enum : int32_t {
    kRead = 0,
    kWrite = 1,
    kFindNext = 2,
    kFcnNext = 3,
    kSeek = 10,
    kClose = 11,
    kCommit = 12,
    kFileLocks = 13,
    kFileTimes = 14,
    kPipeRequest = 15,
    kHandleInfo = 16,
    kEnumHandle = 17,
    kFindClose = 18,
    kFcnClose = 19,
    kConnect = 30,
    kDelete = 31,
    kDir = 32,
    kFileAttrib = 33,
    kFlush = 34,
    kGetDiskInfo = 35,
    kOpen = 36,
    kRename = 37,
    kSearch = 38,
    kQuery = 39,
    kDisconnect = 40,
    kUncPipeReq = 41,
    kIoctl16Drive = 42,
    kGetDiskParms = 43,
    kFindOpen = 44,
    kDasdIo = 45,
};

// DOS error codes.
enum : int32_t {
    kOk = 0,
    kInvalidFunction = 1,
    kFileNotFound = 2,
    kPathNotFound = 3,
    kAccessDenied = 5,
    kNoMoreFiles = 18,
    kWriteProtect = 19,
    kNotReady = 21,
    kSharingViolation = 32,
    kLockViolation = 33,
};

// Resource types and the file-system drivers' entry points.
constexpr uint32_t kLocal = 0x10;
constexpr uint32_t kNetUnc = 0x09;
constexpr uint32_t kCharDev = 0x90;
constexpr uint32_t kVfatEntry = 0xC02A6F10;
constexpr uint32_t kNetEntry = 0xC0391C84;
constexpr uint32_t kCharEntry = 0xC0298A30;

// ir_options bits of reads and writes, and of close and commit.
constexpr uint16_t kNoCache = 0x0100;
constexpr uint16_t kSwapper = 0x1000;
constexpr uint16_t kMemMapped = 0x8000;
constexpr uint16_t kNoLastAccess = 0x0001;
constexpr uint16_t kCommitAsync = 0x0004;

// Sub-functions in ir_flags.
enum : uint8_t { kFromBegin = 0, kFromCurrent = 1, kFromEnd = 2 };
enum : uint8_t { kGetModify = 0, kSetModify = 1, kGetAccess = 5, kGetCreation = 7 };
enum : uint8_t { kCreateDir = 0, kDeleteDir = 1, kCheckDir = 2, kQueryLongDir = 4 };
enum : uint8_t { kGetAttributes = 0, kSetAttributes = 1 };
// ir_flags of an open: access and sharing mode.
constexpr uint8_t kReadDenyWrite = 0x20;
constexpr uint8_t kReadWriteDenyAll = 0x12;
constexpr uint8_t kReadDenyNone = 0x40;

// DirPathFlags in the top byte of ir_length.
constexpr uint32_t kLongPath = 0x20u << 24;
constexpr uint32_t kIsLfn = 0x04u << 24;
constexpr uint32_t kHasDot = 0x08u << 24;

const char kApp[] = "C:\\Program Files\\Haneul\\HANEUL.EXE";
const char kAppDir[] = "C:\\Program Files\\Haneul\\";
const char kDoc[] = "C:\\My Documents\\보고서.HWP";
const char kDocTmp[] = "C:\\My Documents\\~보고서.TMP";
const char kDocBak[] = "C:\\My Documents\\보고서.BAK";
const char kShare[] = "\\\\SERVER\\공유";

// Drive number of a path: its letter, or -1 for a UNC name.
int32_t DriveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return std::toupper((unsigned char)path[0]) - 'A' + 1;
    if (path.rfind("\\\\", 0) == 0)
        return -1;
    return 3;
}

struct Script {
    std::vector<SimRec> recs;

    SimRec& Add(int32_t func, int32_t result, const std::string& path1 = "",
                const std::string& path2 = "") {
        SimRec r{};
        r.func = func;
        r.result = result;
        r.path1 = path1;
        r.path2 = path2;
        r.drive = DriveOf(path1);
        const bool unc = r.drive == -1;
        r.resType = unc ? kNetUnc : kLocal;
        r.fsd = unc ? kNetEntry : kVfatEntry;
        recs.push_back(r);
        return recs.back();
    }
    // Calls on an open handle carry no name.
    SimRec& OnHandle(int32_t func, int32_t result, uint16_t sfn, int32_t drive = 3) {
        SimRec& r = Add(func, result);
        r.sfn = sfn;
        r.drive = drive;
        return r;
    }

    void Open(const std::string& path, int32_t result, uint16_t sfn, uint8_t mode) {
        SimRec& r = Add(kOpen, result, path);
        r.sfn = sfn;
        r.flags = mode;
        r.options = 0x0001; // open an existing file
    }
    void Create(const std::string& path, uint16_t sfn) {
        SimRec& r = Add(kOpen, kOk, path);
        r.sfn = sfn;
        r.flags = kReadWriteDenyAll;
        r.options = 0x0012; // create or replace
    }
    void Transfer(int32_t func, uint16_t sfn, uint32_t length, uint32_t pos, uint32_t buffer,
                  uint16_t options = 0, int32_t result = kOk, int32_t drive = 3) {
        SimRec& r = OnHandle(func, result, sfn, drive);
        r.length = length;
        r.pos = pos;
        r.data = buffer;
        r.options = options;
    }
    void Seek(uint16_t sfn, uint32_t pos, uint8_t from) {
        SimRec& r = OnHandle(kSeek, kOk, sfn);
        r.pos = pos;
        r.flags = from;
    }
    void Close(uint16_t sfn, uint16_t options = 0, int32_t drive = 3) {
        OnHandle(kClose, kOk, sfn, drive).options = options;
    }
    void Lock(uint16_t sfn, bool unlock, uint32_t pos, uint32_t length, uint16_t options,
              int32_t result = kOk) {
        SimRec& r = OnHandle(kFileLocks, result, sfn);
        r.flags = unlock ? 1 : 0;
        r.pos = pos;
        r.aux2 = length;
        r.options = options;
    }
    void Times(uint16_t sfn, uint8_t op) { OnHandle(kFileTimes, kOk, sfn).flags = op; }
    void Attrib(const std::string& path, int32_t result, uint8_t op = kGetAttributes) {
        Add(kFileAttrib, result, path).flags = op;
    }
    void Dir(const std::string& path, uint8_t op, int32_t result, uint32_t pathFlags) {
        SimRec& r = Add(kDir, result, path);
        r.flags = op;
        r.length = pathFlags;
    }
    void FindOpen(const std::string& pattern, uint32_t fh, int32_t result) {
        Add(kFindOpen, result, pattern).fh = fh;
    }
    void FindNext(uint32_t fh, const std::string& found) {
        SimRec& r = Add(kFindNext, found.empty() ? kNoMoreFiles : kOk, found);
        r.fh = fh;
        r.drive = 3;
    }
    void FindClose(uint32_t fh) {
        SimRec& r = Add(kFindClose, kOk);
        r.fh = fh;
        r.drive = 3;
    }
    // A library or settings file looked for in each folder in turn.
    void LookFor(const char* name, std::initializer_list<const char*> folders, uint16_t sfn) {
        for (const char* folder : folders)
            Open(std::string(folder) + name, kFileNotFound, sfn, kReadDenyWrite);
    }
    void OnDrive(int32_t func, int32_t result, int32_t drive) {
        SimRec& r = Add(func, result);
        r.drive = drive;
    }
    void OnShare(int32_t func, int32_t result, const std::string& path) {
        SimRec& r = Add(func, result, path);
        r.resType = kNetUnc;
        r.fsd = kNetEntry;
        r.drive = -1;
    }
};

void ProgramStarts(Script& s) {
    s.Attrib(kApp, kOk);
    s.Open(kApp, kOk, 0x5A, kReadDenyWrite);
    s.Transfer(kRead, 0x5A, 0x40, 0, 0x0063F5C8);
    s.Transfer(kRead, 0x5A, 0xF8, 0x80, 0x0063F608);
    s.Times(0x5A, kGetModify);
    s.Transfer(kRead, 0x5A, 0x1000, 0x400, 0x00401000, kMemMapped);
    s.Transfer(kRead, 0x5A, 0x1000, 0x1400, 0x00402000, kMemMapped);
    s.OnHandle(kHandleInfo, kOk, 0x5A);
    // Libraries: the program's folder first, then the system folders and PATH.
    s.Open(std::string(kAppDir) + "MFC42.DLL", kFileNotFound, 0x5B, kReadDenyWrite);
    s.Open("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", kOk, 0x5B, kReadDenyWrite);
    s.Transfer(kRead, 0x5B, 0x40, 0, 0x0063F1A0);
    s.Transfer(kRead, 0x5B, 0x1000, 0x1000, 0x5F401000, kMemMapped);
    s.Open(std::string(kAppDir) + "HNCSPELL.DLL", kFileNotFound, 0x5C, kReadDenyWrite);
    s.LookFor("HNCSPELL.DLL", {"C:\\WINDOWS\\SYSTEM\\", "C:\\WINDOWS\\", "C:\\WINDOWS\\COMMAND\\"},
              0x5C);
    s.Open("C:\\UTIL\\HNCSPELL.DLL", kPathNotFound, 0x5C, kReadDenyWrite);
    s.Attrib(std::string(kAppDir) + "HANJA.DLL", kFileNotFound);
    s.Attrib("C:\\WINDOWS\\SYSTEM\\HANJA.DLL", kFileNotFound);
    s.Attrib("C:\\WINDOWS\\HANJA.DLL", kFileNotFound);
    // Settings: the program's folder, then the Windows folder.
    s.Open(std::string(kAppDir) + "HANEUL.INI", kFileNotFound, 0x5C, kReadDenyNone);
    s.Open("C:\\WINDOWS\\HANEUL.INI", kFileNotFound, 0x5C, kReadDenyNone);
    s.Open("C:\\WINDOWS\\WIN.INI", kOk, 0x5C, kReadDenyNone);
    s.Transfer(kRead, 0x5C, 0x1000, 0, 0x00781C30);
    s.Transfer(kRead, 0x5C, 0x1000, 0x1000, 0x00781C30);
    s.Close(0x5C);
}

void FoldersAreListed(Script& s) {
    s.FindOpen(std::string(kAppDir) + "FONTS\\*.TTF", 0x0000A3C0, kOk);
    s.FindNext(0x0000A3C0, std::string(kAppDir) + "FONTS\\GULIM.TTF");
    s.FindNext(0x0000A3C0, std::string(kAppDir) + "FONTS\\BATANG.TTF");
    s.FindNext(0x0000A3C0, "");
    s.FindClose(0x0000A3C0);
    s.FindOpen(std::string(kAppDir) + "PLUGINS\\*.DLL", 0, kPathNotFound);
    s.Dir("C:\\My Documents\\한글 문서", kCheckDir, kPathNotFound, kLongPath | kIsLfn);
    s.Dir("C:\\My Documents\\한글 문서", kCreateDir, kOk, kLongPath | kIsLfn);
    s.Dir("C:\\My Documents\\한글 문서", kQueryLongDir, kOk, kLongPath | kIsLfn);
    s.Dir("C:\\WINDOWS\\TEMP\\HNC.001", kDeleteDir, kAccessDenied, kLongPath | kHasDot);
    // Explorer watches the document folder for changes.
    s.FindOpen("C:\\My Documents\\*.*", 0x0000A3D8, kOk);
    s.FindNext(0x0000A3D8, "C:\\My Documents\\보고서.HWP");
    s.FindNext(0x0000A3D8, "");
    s.FindClose(0x0000A3D8);
    s.Add(kFcnNext, kOk, "C:\\My Documents").fh = 0x0000A3E4;
}

void DocumentIsOpened(Script& s) {
    s.Attrib(kDoc, kOk);
    s.Open(kDoc, kOk, 0x5D, kReadWriteDenyAll);
    s.Open(kDoc, kSharingViolation, 0x5E, kReadDenyNone);
    s.Times(0x5D, kGetCreation);
    s.Times(0x5D, kGetAccess);
    s.Seek(0x5D, 0, kFromEnd);
    s.Seek(0x5D, 0, kFromBegin);
    s.Transfer(kRead, 0x5D, 0x200, 0, 0x00785E00);
    s.Seek(0x5D, 0x800, kFromCurrent);
    s.Transfer(kRead, 0x5D, 0x4000, 0xA00, 0x00786000);
    s.Lock(0x5D, false, 0x200, 0x10, 0x0002);
    s.Lock(0x5D, false, 0x200, 0x10, 0x0003, kLockViolation);
    s.Lock(0x5D, true, 0x200, 0x10, 0x0002);
    s.OnHandle(kEnumHandle, kOk, 0x5D);
}

void DocumentIsSaved(Script& s) {
    s.Create(kDocTmp, 0x5E);
    s.Transfer(kWrite, 0x5E, 0x2000, 0, 0x0078A000);
    s.Transfer(kWrite, 0x5E, 0x2000, 0x2000, 0x0078C000);
    s.Transfer(kWrite, 0x5E, 0x6D4, 0x4000, 0x0078E000, kNoCache);
    s.OnHandle(kCommit, kOk, 0x5E).options = kNoLastAccess | kCommitAsync;
    s.Close(0x5E);
    s.Close(0x5D, kNoLastAccess);
    s.Add(kDelete, kFileNotFound, kDocBak);
    s.Add(kRename, kOk, kDoc, kDocBak);
    s.Add(kRename, kOk, kDocTmp, kDoc);
    s.Add(kRename, kAccessDenied, "C:\\My Documents\\회의록.DOC", "C:\\My Documents\\회의록.BAK");
    s.Open(kDoc, kOk, 0x5D, kReadWriteDenyAll);
    s.Times(0x5D, kSetModify);
    s.Close(0x5D);
    s.Attrib(kDoc, kOk, kSetAttributes);
    s.Add(kDelete, kOk, "C:\\WINDOWS\\TEMP\\~DF1A2B.TMP");
    s.Add(kDelete, kAccessDenied, "C:\\WINDOWS\\TEMP\\~DF0F11.TMP");
    s.OnDrive(kFlush, kOk, 3);
}

void SystemWorks(Script& s) {
    // The swap file is paged without the cache.
    s.Transfer(kRead, 0x01, 0x1000, 0x0023F000, 0xC1A4E000, kSwapper | kNoCache);
    s.Transfer(kWrite, 0x01, 0x1000, 0x00241000, 0xC1A53000, kSwapper | kNoCache);
    s.OnDrive(kGetDiskInfo, kOk, 3);
    s.OnDrive(kGetDiskParms, kNotReady, 1);
    s.OnDrive(kIoctl16Drive, kNotReady, 1);
    s.Transfer(kWrite, 0x61, 0x200, 0, 0x0063E800, 0, kWriteProtect, 1);
    s.OnDrive(kDasdIo, kAccessDenied, 3);
    // An old DOS program in its box, with OEM names.
    SimRec& search = s.Add(kSearch, kOk, "C:\\AUTOEXEC.BAT");
    search.codePage = 1;
    SimRec& dos = s.Add(kSearch, kNoMoreFiles, "C:\\DOS\\*.COM");
    dos.codePage = 1;
    // Printing goes to a character device.
    SimRec& lpt = s.Add(kOpen, kOk, "LPT1");
    lpt.sfn = 0x62;
    lpt.resType = kCharDev;
    lpt.fsd = kCharEntry;
    SimRec& print = s.Add(kWrite, kOk);
    print.sfn = 0x62;
    print.length = 0x80;
    print.data = 0x0063E100;
    print.resType = kCharDev;
    print.fsd = kCharEntry;
    SimRec& done = s.Add(kClose, kOk);
    done.sfn = 0x62;
    done.resType = kCharDev;
    done.fsd = kCharEntry;
}

void NetworkIsUsed(Script& s) {
    s.OnShare(kConnect, kOk, kShare);
    s.OnShare(kQuery, kOk, kShare);
    s.OnShare(kOpen, kAccessDenied, std::string(kShare) + "\\문서\\회의록.TXT");
    s.OnShare(kOpen, kFileNotFound, std::string(kShare) + "\\HANEUL.INI");
    s.OnShare(kPipeRequest, kInvalidFunction, "");
    s.OnShare(kUncPipeReq, kOk, "\\\\SERVER\\PIPE\\LANMAN");
    s.OnShare(kDisconnect, kOk, kShare);
    s.Add(kFcnClose, kOk).fh = 0x0000A3E4;
}

} // namespace

std::vector<SimRec> SimScenario() {
    Script s;
    ProgramStarts(s);
    FoldersAreListed(s);
    DocumentIsOpened(s);
    SystemWorks(s);
    DocumentIsSaved(s);
    NetworkIsUsed(s);
    return s.recs;
}
