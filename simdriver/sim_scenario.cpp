// The built-in scenario: what the hook would report on a Windows 98 machine
// while a word processor starts, looks for its libraries and settings, opens,
// saves and backs up a document, and the system pages, lists folders, uses
// the network and checks its disks meanwhile.
#include "simdriver/sim_driver.h"

#include "event/ifs_vocab.h"

#include <cctype>

namespace {

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
constexpr uint32_t kNetUnc = kResTypeNet | kResTypeUnc;
constexpr uint32_t kCharDev = kResTypeLocal | kResTypeCfsd;
constexpr uint32_t kVfatEntry = 0xC02A6F10;
constexpr uint32_t kNetEntry = 0xC0391C84;
constexpr uint32_t kCharEntry = 0xC0298A30;

// ir_flags and ir_options of an open: access and sharing mode, and action.
constexpr uint8_t kReadDenyWrite = kAccessReadOnly | kShareDenyWrite;
constexpr uint8_t kReadWriteDenyAll = kAccessReadWrite | kShareDenyReadWrite;
constexpr uint8_t kReadDenyNone = kAccessReadOnly | kShareDenyNone;
constexpr uint16_t kCreateOrReplace = kActionCreateNew | kActionReplaceExisting;

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
    std::vector<IfsCall> recs;

    IfsCall& Add(int32_t func, int32_t result, const std::string& path1 = "",
                 const std::string& path2 = "") {
        IfsCall r{};
        r.func = func;
        r.result = result;
        r.path1 = path1;
        r.path2 = path2;
        r.drive = DriveOf(path1);
        const bool unc = r.drive == -1;
        r.resType = unc ? kNetUnc : kResTypeLocal;
        r.fsd = unc ? kNetEntry : kVfatEntry;
        recs.push_back(r);
        return recs.back();
    }
    // Calls on an open handle carry no name.
    IfsCall& OnHandle(int32_t func, int32_t result, uint16_t sfn, int32_t drive = 3) {
        IfsCall& r = Add(func, result);
        r.sfn = sfn;
        r.drive = drive;
        return r;
    }

    void Open(const std::string& path, int32_t result, uint16_t sfn, uint8_t mode) {
        IfsCall& r = Add(IFSFN_OPEN, result, path);
        r.sfn = sfn;
        r.flags = mode;
        r.options = kActionOpenExisting;
    }
    void Create(const std::string& path, uint16_t sfn) {
        IfsCall& r = Add(IFSFN_OPEN, kOk, path);
        r.sfn = sfn;
        r.flags = kReadWriteDenyAll;
        r.options = kCreateOrReplace;
    }
    void Transfer(int32_t func, uint16_t sfn, uint32_t length, uint32_t pos, uint32_t buffer,
                  uint16_t options = 0, int32_t result = kOk, int32_t drive = 3) {
        IfsCall& r = OnHandle(func, result, sfn, drive);
        r.length = length;
        r.pos = pos;
        r.data = buffer;
        r.options = options;
    }
    void Seek(uint16_t sfn, uint32_t pos, uint8_t from) {
        IfsCall& r = OnHandle(IFSFN_SEEK, kOk, sfn);
        r.pos = pos;
        r.flags = from;
    }
    void Close(uint16_t sfn, uint16_t options = 0, int32_t drive = 3) {
        OnHandle(IFSFN_CLOSE, kOk, sfn, drive).options = options;
    }
    void Lock(uint16_t sfn, bool unlock, uint32_t pos, uint32_t length, uint16_t options,
              int32_t result = kOk) {
        IfsCall& r = OnHandle(IFSFN_FILELOCKS, result, sfn);
        r.flags = unlock ? kUnlock : kLock;
        r.pos = pos;
        r.aux2 = length;
        r.options = options;
    }
    void Times(uint16_t sfn, uint8_t op) { OnHandle(IFSFN_FILETIMES, kOk, sfn).flags = op; }
    void Attrib(const std::string& path, int32_t result, uint8_t op = kGetAttributes) {
        Add(IFSFN_FILEATTRIB, result, path).flags = op;
    }
    void Dir(const std::string& path, uint8_t op, int32_t result, uint32_t pathFlags) {
        IfsCall& r = Add(IFSFN_DIR, result, path);
        r.flags = op;
        r.length = pathFlags;
    }
    void FindOpen(const std::string& pattern, uint32_t fh, int32_t result) {
        Add(IFSFN_FINDOPEN, result, pattern).fh = fh;
    }
    void FindNext(uint32_t fh, const std::string& found) {
        IfsCall& r = Add(IFSFN_FINDNEXT, found.empty() ? kNoMoreFiles : kOk, found);
        r.fh = fh;
        r.drive = 3;
    }
    void FindClose(uint32_t fh) {
        IfsCall& r = Add(IFSFN_FINDCLOSE, kOk);
        r.fh = fh;
        r.drive = 3;
    }
    // A library or settings file looked for in each folder in turn.
    void LookFor(const char* name, std::initializer_list<const char*> folders, uint16_t sfn) {
        for (const char* folder : folders)
            Open(std::string(folder) + name, kFileNotFound, sfn, kReadDenyWrite);
    }
    void OnDrive(int32_t func, int32_t result, int32_t drive) {
        IfsCall& r = Add(func, result);
        r.drive = drive;
    }
    void OnShare(int32_t func, int32_t result, const std::string& path) {
        IfsCall& r = Add(func, result, path);
        r.resType = kNetUnc;
        r.fsd = kNetEntry;
        r.drive = -1;
    }
};

void ProgramStarts(Script& s) {
    s.Attrib(kApp, kOk);
    s.Open(kApp, kOk, 0x5A, kReadDenyWrite);
    s.Transfer(IFSFN_READ, 0x5A, 0x40, 0, 0x0063F5C8);
    s.Transfer(IFSFN_READ, 0x5A, 0xF8, 0x80, 0x0063F608);
    s.Times(0x5A, kGetModifyDateTime);
    s.Transfer(IFSFN_READ, 0x5A, 0x1000, 0x400, 0x00401000, kRwMemMapped);
    s.Transfer(IFSFN_READ, 0x5A, 0x1000, 0x1400, 0x00402000, kRwMemMapped);
    s.OnHandle(IFSFN_HANDLEINFO, kOk, 0x5A);
    // Libraries: the program's folder first, then the system folders and PATH.
    s.Open(std::string(kAppDir) + "MFC42.DLL", kFileNotFound, 0x5B, kReadDenyWrite);
    s.Open("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", kOk, 0x5B, kReadDenyWrite);
    s.Transfer(IFSFN_READ, 0x5B, 0x40, 0, 0x0063F1A0);
    s.Transfer(IFSFN_READ, 0x5B, 0x1000, 0x1000, 0x5F401000, kRwMemMapped);
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
    s.Transfer(IFSFN_READ, 0x5C, 0x1000, 0, 0x00781C30);
    s.Transfer(IFSFN_READ, 0x5C, 0x1000, 0x1000, 0x00781C30);
    s.Close(0x5C);
}

void FoldersAreListed(Script& s) {
    s.FindOpen(std::string(kAppDir) + "FONTS\\*.TTF", 0x0000A3C0, kOk);
    s.FindNext(0x0000A3C0, std::string(kAppDir) + "FONTS\\GULIM.TTF");
    s.FindNext(0x0000A3C0, std::string(kAppDir) + "FONTS\\BATANG.TTF");
    s.FindNext(0x0000A3C0, "");
    s.FindClose(0x0000A3C0);
    s.FindOpen(std::string(kAppDir) + "PLUGINS\\*.DLL", 0, kPathNotFound);
    s.Dir("C:\\My Documents\\한글 문서", kCheckDir, kPathNotFound, kDirLongPath | kDirIsLfn);
    s.Dir("C:\\My Documents\\한글 문서", kCreateDir, kOk, kDirLongPath | kDirIsLfn);
    s.Dir("C:\\My Documents\\한글 문서", kQueryLongDir, kOk, kDirLongPath | kDirIsLfn);
    s.Dir("C:\\WINDOWS\\TEMP\\HNC.001", kDeleteDir, kAccessDenied, kDirLongPath | kDirHasDot);
    // Explorer watches the document folder for changes.
    s.FindOpen("C:\\My Documents\\*.*", 0x0000A3D8, kOk);
    s.FindNext(0x0000A3D8, "C:\\My Documents\\보고서.HWP");
    s.FindNext(0x0000A3D8, "");
    s.FindClose(0x0000A3D8);
    s.Add(IFSFN_FCNNEXT, kOk, "C:\\My Documents").fh = 0x0000A3E4;
}

void DocumentIsOpened(Script& s) {
    s.Attrib(kDoc, kOk);
    s.Open(kDoc, kOk, 0x5D, kReadWriteDenyAll);
    s.Open(kDoc, kSharingViolation, 0x5E, kReadDenyNone);
    s.Times(0x5D, kGetCreationDateTime);
    s.Times(0x5D, kGetLastAccessDateTime);
    s.Seek(0x5D, 0, kSeekFromEnd);
    s.Seek(0x5D, 0, kSeekFromBegin);
    s.Transfer(IFSFN_READ, 0x5D, 0x200, 0, 0x00785E00);
    s.Seek(0x5D, 0x800, kSeekFromCurrent);
    s.Transfer(IFSFN_READ, 0x5D, 0x4000, 0xA00, 0x00786000);
    s.Lock(0x5D, false, 0x200, 0x10, kLockNoWait);
    s.Lock(0x5D, false, 0x200, 0x10, kLockRead | kLockNoWait, kLockViolation);
    s.Lock(0x5D, true, 0x200, 0x10, kLockNoWait);
    s.OnHandle(IFSFN_ENUMHANDLE, kOk, 0x5D);
}

void DocumentIsSaved(Script& s) {
    s.Create(kDocTmp, 0x5E);
    s.Transfer(IFSFN_WRITE, 0x5E, 0x2000, 0, 0x0078A000);
    s.Transfer(IFSFN_WRITE, 0x5E, 0x2000, 0x2000, 0x0078C000);
    s.Transfer(IFSFN_WRITE, 0x5E, 0x6D4, 0x4000, 0x0078E000, kRwNoCache);
    s.OnHandle(IFSFN_COMMIT, kOk, 0x5E).options = kNoLastAccessDate | kCommitAsync;
    s.Close(0x5E);
    s.Close(0x5D, kNoLastAccessDate);
    s.Add(IFSFN_DELETE, kFileNotFound, kDocBak);
    s.Add(IFSFN_RENAME, kOk, kDoc, kDocBak);
    s.Add(IFSFN_RENAME, kOk, kDocTmp, kDoc);
    s.Add(IFSFN_RENAME, kAccessDenied, "C:\\My Documents\\회의록.DOC",
          "C:\\My Documents\\회의록.BAK");
    s.Open(kDoc, kOk, 0x5D, kReadWriteDenyAll);
    s.Times(0x5D, kSetModifyDateTime);
    s.Close(0x5D);
    s.Attrib(kDoc, kOk, kSetAttributes);
    s.Add(IFSFN_DELETE, kOk, "C:\\WINDOWS\\TEMP\\~DF1A2B.TMP");
    s.Add(IFSFN_DELETE, kAccessDenied, "C:\\WINDOWS\\TEMP\\~DF0F11.TMP");
    s.OnDrive(IFSFN_FLUSH, kOk, 3);
}

void SystemWorks(Script& s) {
    // The swap file is paged without the cache.
    s.Transfer(IFSFN_READ, 0x01, 0x1000, 0x0023F000, 0xC1A4E000, kRwSwapper | kRwNoCache);
    s.Transfer(IFSFN_WRITE, 0x01, 0x1000, 0x00241000, 0xC1A53000, kRwSwapper | kRwNoCache);
    s.OnDrive(IFSFN_GETDISKINFO, kOk, 3);
    s.OnDrive(IFSFN_GETDISKPARMS, kNotReady, 1);
    s.OnDrive(IFSFN_IOCTL16DRIVE, kNotReady, 1);
    s.Transfer(IFSFN_WRITE, 0x61, 0x200, 0, 0x0063E800, 0, kWriteProtect, 1);
    s.OnDrive(IFSFN_DASDIO, kAccessDenied, 3);
    // An old DOS program in its box, with OEM names.
    IfsCall& search = s.Add(IFSFN_SEARCH, kOk, "C:\\AUTOEXEC.BAT");
    search.codePage = 1;
    IfsCall& dos = s.Add(IFSFN_SEARCH, kNoMoreFiles, "C:\\DOS\\*.COM");
    dos.codePage = 1;
    // Printing goes to a character device.
    IfsCall& lpt = s.Add(IFSFN_OPEN, kOk, "LPT1");
    lpt.sfn = 0x62;
    lpt.resType = kCharDev;
    lpt.fsd = kCharEntry;
    IfsCall& print = s.Add(IFSFN_WRITE, kOk);
    print.sfn = 0x62;
    print.length = 0x80;
    print.data = 0x0063E100;
    print.resType = kCharDev;
    print.fsd = kCharEntry;
    IfsCall& done = s.Add(IFSFN_CLOSE, kOk);
    done.sfn = 0x62;
    done.resType = kCharDev;
    done.fsd = kCharEntry;
}

void NetworkIsUsed(Script& s) {
    s.OnShare(IFSFN_CONNECT, kOk, kShare);
    s.OnShare(IFSFN_QUERY, kOk, kShare);
    s.OnShare(IFSFN_OPEN, kAccessDenied, std::string(kShare) + "\\문서\\회의록.TXT");
    s.OnShare(IFSFN_OPEN, kFileNotFound, std::string(kShare) + "\\HANEUL.INI");
    s.OnShare(IFSFN_PIPEREQUEST, kInvalidFunction, "");
    s.OnShare(IFSFN_UNCPIPEREQ, kOk, "\\\\SERVER\\PIPE\\LANMAN");
    s.OnShare(IFSFN_DISCONNECT, kOk, kShare);
    s.Add(IFSFN_FCNCLOSE, kOk).fh = 0x0000A3E4;
}

} // namespace

std::vector<IfsCall> SimScenario() {
    Script s;
    ProgramStarts(s);
    FoldersAreListed(s);
    DocumentIsOpened(s);
    SystemWorks(s);
    DocumentIsSaved(s);
    NetworkIsUsed(s);
    return s.recs;
}
