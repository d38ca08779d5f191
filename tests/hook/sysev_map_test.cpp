// The mapping from recorded Linux calls to call-trace lines: one sequence of
// events through one mapper, so that descriptor, position, working-folder and
// process state carry from row to row as in a real run.
#include "hook/system/errno_dos.h"
#include "hook/system/process_root.h"
#include "hook/system/sysev_map.h"
#include "trace/call_trace.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>

namespace {

constexpr int32_t Cwd = SYSEV_AT_FDCWD;

// A recorded call, built field by field.
struct Ev {
    sysev e{};
    explicit Ev(uint16_t call, uint32_t pid = 100) {
        e.call = call;
        e.pid = e.tid = pid;
        e.fd = e.fd2 = -1;
        std::strcpy(e.comm, "t");
    }
    Ev& Fd(int32_t fd) { return e.fd = fd, *this; }
    Ev& Ret(int64_t ret) { return e.ret = ret, *this; }
    Ev& Kind(uint8_t kind) { return e.fd_kind = kind, *this; }
    Ev& Flags(uint8_t flags) { return e.flags = flags, *this; }
    Ev& State(uint32_t state) { return e.state = state, *this; }
    Ev& Pos(uint64_t after) { return e.state |= SYSEV_ST_POS, e.pos_after = after, *this; }
    Ev& Size(uint64_t size) { return e.state |= SYSEV_ST_SIZE, e.size = size, *this; }
    Ev& A(uint64_t a0, uint64_t a1 = 0, uint64_t a2 = 0, uint64_t a3 = 0) {
        e.a[0] = a0, e.a[1] = a1, e.a[2] = a2, e.a[3] = a3;
        return *this;
    }
    Ev& P1(const std::string& p) {
        std::strncpy(e.path1, p.c_str(), SYSEV_PATH_SIZE - 1);
        return *this;
    }
    Ev& P2(int32_t fd2, const char* p) {
        e.fd2 = fd2;
        std::strncpy(e.path2, p, SYSEV_PATH_SIZE - 1);
        return *this;
    }
};

// The machine as the look-ups describe it.
HookLookups FakeLookups() {
    static const std::set<std::string> folders = {"/",
                                                  "/home",
                                                  "/home/u",
                                                  "/home/u/work",
                                                  "/home/u/work/sub/dir",
                                                  "/srv/share",
                                                  "/wine/drive_c",
                                                  "/wine/drive_c/windows",
                                                  "/wine/dosdevices/c:/windows",
                                                  "/mnt/nfs"};
    HookLookups l;
    l.workingFolder = [](uint32_t pid, std::string* f) {
        *f = "/home/u/work";
        return pid == 100 || pid == 400;
    };
    l.descriptorName = [](uint32_t, int32_t fd, std::string* n) {
        *n = "/srv/share";
        return fd == 9; // opened before the hook
    };
    l.isFolder = [](const std::string& n) { return folders.count(n) ? 1 : 0; };
    l.folderExists = [](const std::string& n) { return folders.count(n) != 0; };
    l.isNetwork = [](const std::string& n) { return n.rfind("/mnt/nfs", 0) == 0; };
    return l;
}

DriveTable WineDrives() {
    DriveTable t;
    t.roots = {{'C', "/wine/dosdevices/c:"}, {'C', "/wine/drive_c"}, {'D', "/wine/dosdevices/d:"}};
    return t;
}

struct Step {
    Ev ev;
    const char* line; // the trace line after pid= and comm=; "" not reported; "LOST"
};

const Step kSteps[] = {
    // Names: the prefix's drive-c folder and its dosdevices link are both C:.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("/wine/drive_c/windows/win.ini").Ret(3).Kind(SYSEV_FD_FILE),
     "func=36 drive=3 restype=0x10 sfn=0x3 path1=C:\\windows\\win.ini"},
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("/wine/dosdevices/c:/windows/system.ini").Ret(-ENOENT),
     "func=36 drive=3 restype=0x10 result=2 path1=C:\\windows\\system.ini"},
    // Relative to the working folder; the folder is missing: PathNotFound.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("./nodir/../nodir/a.txt").Ret(-ENOENT),
     "func=36 drive=26 restype=0x10 result=3 path1=Z:\\home\\u\\work\\nodir\\a.txt"},
    // Transfers: bytes done, tracked position, low 32 bits of the buffer.
    {Ev(SYSEV_READ).Fd(3).A(0x7FFF12345678, 512).Ret(512),
     "func=0 drive=3 restype=0x10 length=0x200 sfn=0x3 data=0x12345678"},
    {Ev(SYSEV_READ).Fd(3).A(0x1000, 512).Ret(100),
     "func=0 drive=3 restype=0x10 length=0x64 sfn=0x3 data=0x1000 pos=0x200"},
    {Ev(SYSEV_WRITE).Fd(3).A(0x1000, 200, 1000, 1).Ret(-EBADF),
     "func=1 drive=3 restype=0x10 result=6 length=0xC8 sfn=0x3 data=0x1000 pos=0x3E8"},
    {Ev(SYSEV_LSEEK).Fd(3).A(0, SEEK_END).Ret(4096),
     "func=10 drive=3 restype=0x10 flags=0x2 sfn=0x3 pos=0x1000"},
    {Ev(SYSEV_READ).Fd(3).A(0x1000, 512).Ret(0),
     "func=0 drive=3 restype=0x10 sfn=0x3 data=0x1000 pos=0x1000"},
    {Ev(SYSEV_FSYNC).Fd(3), "func=12 drive=3 restype=0x10 sfn=0x3"},
    // Locks: RD for a read lock, NW when not waiting, LockViolation.
    {Ev(SYSEV_FCNTL_LOCK).Fd(3).A(F_SETLKW, F_RDLCK | SEEK_SET << 16, 16, 32),
     "func=13 drive=3 restype=0x10 sfn=0x3 options=0x1 pos=0x10 aux2=0x20"},
    {Ev(SYSEV_FCNTL_LOCK).Fd(3).A(F_SETLK, F_WRLCK | SEEK_CUR << 16, 16, 32).Ret(-EAGAIN),
     "func=13 drive=3 restype=0x10 result=33 sfn=0x3 options=0x2 pos=0x1010 aux2=0x20"},
    {Ev(SYSEV_FLOCK).Fd(3).A(LOCK_UN), "func=13 drive=3 restype=0x10 flags=0x1 sfn=0x3"},
    {Ev(SYSEV_FLOCK).Fd(3).A(LOCK_SH | LOCK_NB).Ret(-EWOULDBLOCK),
     "func=13 drive=3 restype=0x10 result=33 sfn=0x3 options=0x3"},
    // Times, by handle and by name; fstat is HANDLEINFO on the handle.
    {Ev(SYSEV_UTIMENS).Fd(3), "func=14 drive=3 restype=0x10 flags=0x1 sfn=0x3"},
    {Ev(SYSEV_UTIMENS).Fd(Cwd).P1("f"),
     "func=14 drive=26 restype=0x10 flags=0x1 path1=Z:\\home\\u\\work\\f"},
    {Ev(SYSEV_STAT).Fd(3).A(AT_EMPTY_PATH),
     "func=16 drive=3 restype=0x10 sfn=0x3 path1=C:\\windows\\win.ini"},
    // A name relative to a descriptor opened before the hook; a network name.
    {Ev(SYSEV_STAT).Fd(9).P1("x.txt"), "func=33 drive=26 restype=0x10 path1=Z:\\srv\\share\\x.txt"},
    {Ev(SYSEV_ACCESS).Fd(Cwd).P1("/mnt/nfs/data").Ret(-EACCES),
     "func=33 drive=26 restype=0x8 result=5 path1=Z:\\mnt\\nfs\\data"},
    {Ev(SYSEV_CLOSE).Fd(3), "func=11 drive=3 restype=0x10 sfn=0x3"},
    // Closed, or never seen opened: not file-system calls of ours.
    {Ev(SYSEV_READ).Fd(3).A(0x1000, 1).Ret(1), ""},
    {Ev(SYSEV_WRITE).Fd(1).A(0x1000, 1).Ret(1), ""},
    {Ev(SYSEV_CLOSE).Fd(0), ""},
    // Folders: FINDOPEN, FINDNEXT until NoMoreFiles, FINDCLOSE.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("/home/u/work").A(O_RDONLY | O_DIRECTORY).Ret(4).Kind(SYSEV_FD_DIR),
     "func=44 drive=26 restype=0x10 fh=0x4 path1=Z:\\home\\u\\work"},
    {Ev(SYSEV_GETDENTS).Fd(4).Ret(480),
     "func=2 drive=26 restype=0x10 fh=0x4 path1=Z:\\home\\u\\work"},
    {Ev(SYSEV_GETDENTS).Fd(4).Ret(0),
     "func=2 drive=26 restype=0x10 result=18 fh=0x4 path1=Z:\\home\\u\\work"},
    // A folder the backend could not tell: the look-up says so.
    {Ev(SYSEV_OPEN).Fd(4).P1("sub/dir").Ret(5),
     "func=44 drive=26 restype=0x10 fh=0x5 path1=Z:\\home\\u\\work\\sub\\dir"},
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("gone").A(O_DIRECTORY).Ret(-ENOTDIR),
     "func=44 drive=26 restype=0x10 result=3 path1=Z:\\home\\u\\work\\gone"},
    {Ev(SYSEV_CLOSE).Fd(4), "func=18 drive=26 restype=0x10 fh=0x4"},
    {Ev(SYSEV_UNLINK).Fd(Cwd).P1("old.txt"),
     "func=31 drive=26 restype=0x10 path1=Z:\\home\\u\\work\\old.txt"},
    // DIR: CREATE 0, DELETE 1, CHECK 2; IS_LFN for a name that is not 8.3.
    {Ev(SYSEV_UNLINK).Fd(Cwd).P1("Program Files").A(AT_REMOVEDIR),
     "func=32 drive=26 restype=0x10 length=0x4000000 flags=0x1 "
     "path1=Z:\\home\\u\\work\\Program%20Files"},
    {Ev(SYSEV_MKDIR).Fd(Cwd).P1("NEWDIR.1"),
     "func=32 drive=26 restype=0x10 path1=Z:\\home\\u\\work\\NEWDIR.1"},
    {Ev(SYSEV_RMDIR).Fd(Cwd).P1("/home/u/work/NEWDIR.1").Ret(-ENOTEMPTY),
     "func=32 drive=26 restype=0x10 result=145 flags=0x1 path1=Z:\\home\\u\\work\\NEWDIR.1"},
    {Ev(SYSEV_CHDIR).Fd(Cwd).P1("/wine/drive_c"),
     "func=32 drive=3 restype=0x10 flags=0x2 path1=C:\\"},
    // The new working folder serves relative names.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("windows/win.ini").A(O_WRONLY).Ret(-EROFS),
     "func=36 drive=3 restype=0x10 result=19 path1=C:\\windows\\win.ini"},
    {Ev(SYSEV_RENAME).Fd(Cwd).P1("a.txt").P2(Cwd, "/wine/dosdevices/d:/b.txt").Ret(-EXDEV),
     "func=37 drive=3 restype=0x10 result=17 path1=C:\\a.txt path2=D:\\b.txt"},
    {Ev(SYSEV_STATFS).Fd(Cwd).P1("/"), "func=35 drive=26 restype=0x10 path1=Z:\\"},
    {Ev(SYSEV_SYNC), "func=34 drive=26 restype=0x10"},
    // A device is opened by name, but its descriptor is not followed.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("/dev/null").Ret(6).Kind(SYSEV_FD_OTHER),
     "func=36 drive=26 restype=0x10 sfn=0x6 path1=Z:\\dev\\null"},
    {Ev(SYSEV_WRITE).Fd(6).A(0x1000, 1).Ret(1), ""},
    // dup and fork share the position; exec drops close-on-exec descriptors.
    {Ev(SYSEV_OPEN).Fd(Cwd).P1("/home/u/log").A(O_WRONLY | O_CLOEXEC).Ret(7).Kind(SYSEV_FD_FILE),
     "func=36 drive=26 restype=0x10 sfn=0x7 path1=Z:\\home\\u\\log"},
    {Ev(SYSEV_DUP).Fd(7).A(static_cast<uint64_t>(-1)).Ret(8), ""},
    {Ev(SYSEV_WRITE).Fd(8).A(0x1000, 10).Ret(10),
     "func=1 drive=26 restype=0x10 length=0xA sfn=0x8 data=0x1000"},
    {Ev(SYSEV_FORK).Ret(200), ""},
    {Ev(SYSEV_WRITE, 200).Fd(7).A(0x1000, 10).Ret(10),
     "func=1 drive=26 restype=0x10 length=0xA sfn=0x7 data=0x1000 pos=0xA"},
    {Ev(SYSEV_EXEC, 200), ""},
    {Ev(SYSEV_WRITE, 200).Fd(7).A(0x1000, 10).Ret(10), ""},
    {Ev(SYSEV_WRITE, 200).Fd(8).A(0x1000, 10).Ret(10),
     "func=1 drive=26 restype=0x10 length=0xA sfn=0x8 data=0x1000 pos=0x14"},
    // close_range forgets what it closes; with CLOEXEC it only marks.
    {Ev(SYSEV_CLOSE_RANGE, 200).Fd(8).A(8, 1u << 2), ""},
    {Ev(SYSEV_WRITE, 200).Fd(8).A(0x1000, 10).Ret(10),
     "func=1 drive=26 restype=0x10 length=0xA sfn=0x8 data=0x1000 pos=0x1E"},
    {Ev(SYSEV_CLOSE_RANGE, 200).Fd(3).A(~0ull), ""},
    {Ev(SYSEV_WRITE, 200).Fd(8).A(0x1000, 10).Ret(10), ""},
    {Ev(SYSEV_EXIT, 200), ""},
    {Ev(SYSEV_WRITE, 200).Fd(8).A(0x1000, 10).Ret(10), ""},
    // Received over a socket: followed from its position at receipt, under
    // its name; one that is not a file or folder, or has no name, is not.
    {Ev(SYSEV_RECEIVE_FD)
         .Fd(5)
         .P1("/wine/dosdevices/c:/x.dat")
         .A(0, 0x3E8)
         .Ret(9)
         .Kind(SYSEV_FD_FILE),
     ""},
    {Ev(SYSEV_WRITE).Fd(9).A(0x1000, 16).Ret(16),
     "func=1 drive=3 restype=0x10 length=0x10 sfn=0x9 data=0x1000 pos=0x3E8"},
    {Ev(SYSEV_RECEIVE_FD).Fd(5).P1("socket:[77]").Ret(9).Kind(SYSEV_FD_OTHER), ""},
    {Ev(SYSEV_WRITE).Fd(9).A(0x1000, 16).Ret(16), ""},
    // A process whose working folder is unknown: the name as given, on ?:.
    {Ev(SYSEV_OPEN, 300).Fd(Cwd).P1("dir/rel.txt").Ret(-ENOENT),
     "func=36 drive=-1 restype=0x10 result=2 path1=dir\\rel.txt"},
    {Ev(SYSEV_OPEN).Fd(Cwd).Flags(SYSEV_PATH1_UNREADABLE).Ret(-EFAULT), "LOST"},
    // Code page 949, '?' for a character it has not.
    {Ev(SYSEV_STAT).Fd(Cwd).P1("/home/u/\xED\x95\x9C\xEA\xB8\x80 \xF0\x9F\x98\x80.txt"),
     "func=33 drive=26 restype=0x10 path1=Z:\\home\\u\\\xC7\xD1\xB1\xDB%20?.txt"},
    {Ev(SYSEV_STAT).Fd(Cwd).P1("/home/u/bad\xFF\xE0.txt"),
     "func=33 drive=26 restype=0x10 path1=Z:\\home\\u\\bad??.txt"},
    // A chrooted process's base descriptor from outside its root has no name
    // it could see: lost, not shown as the hook's name.
    {Ev(SYSEV_STAT).Fd(7).P1("f1").State(SYSEV_ST_BASE | SYSEV_ST_BASE_OUTSIDE), "LOST outside"},
};

std::string MapToLine(SysevMapper* m, const sysev& e) {
    IfsCall call;
    switch (m->Map(e, &call)) {
    case MapOutcome::NotReported:
        return "";
    case MapOutcome::Lost:
        return "LOST";
    case MapOutcome::LostLongName:
        return "LOST long";
    case MapOutcome::LostDescriptor:
        return "LOST fd";
    case MapOutcome::LostOutsideRoot:
        return "LOST outside";
    case MapOutcome::Reported:
        break;
    }
    std::string rows;
    do {
        std::string line;
        AppendTraceLine(call, e.pid, e.comm, &line);
        EXPECT_EQ(line.back(), '\n');
        const size_t func = line.find("func=");
        EXPECT_EQ(line.substr(0, func), "pid=" + std::to_string(e.pid) + " comm=t ");
        rows += (rows.empty() ? "" : " | ") + line.substr(func, line.size() - func - 1);
    } while (m->TakeSecond(&call));
    return rows;
}

TEST(SysevMap, RecordedCallsBecomeTraceLines) {
    SysevMapper m(WineDrives(), FakeLookups());
    for (const Step& s : kSteps)
        EXPECT_EQ(MapToLine(&m, s.ev.e), s.line) << "call " << s.ev.e.call << " " << s.ev.e.path1;
}

// A name whose DOS form, in code page 949, is longer than Path1's 259 bytes
// is lost as too long, never shown as a shorter name (the folder above it,
// a name cut within a character); so are the calls on its descriptor.
TEST(SysevMap, NamesPastTheFieldAreLostNotCut) {
    std::string deep = "deep", deepDos = "deep"; // 60 levels: 243 bytes
    for (int i = 1; i <= 60; ++i) {
        deep += "/d" + std::to_string(i);
        deepDos += "\\d" + std::to_string(i);
    }
    const std::string cs(238, 'c');
    // Relative to /tmp/run-12345, Z:\tmp\run-12345\ in DOS (17 bytes).
    const struct {
        std::string name, dos; // dos: the name's part of the DOS name
        size_t dosBytes;
    } kNames[] = {
        {deep + "/missing", deepDos + "\\missing", 260},
        {deep + "/missin", deepDos + "\\missin", 259},
        {"c" + cs + "\xEA\xB0\x80\xEB\x82\x98", "c" + cs + "\xB0\xA1\xB3\xAA", 260},
        {cs + "\xEA\xB0\x80\xEB\x82\x98", cs + "\xB0\xA1\xB3\xAA", 259},
    };
    for (const auto& n : kNames) {
        SysevMapper m(DriveTable{}, FakeLookups());
        m.SetWorkingFolder(600, "/tmp/run-12345");
        const std::string dos = "Z:\\tmp\\run-12345\\" + n.dos;
        ASSERT_EQ(dos.size(), n.dosBytes);
        const bool fits = dos.size() <= kHookPath1Max;
        const auto row = [&](const std::string& fields) { return fits ? fields : "LOST long"; };
        Ev open(SYSEV_OPEN, 600);
        open.Fd(Cwd).P1(n.name).Ret(3).Kind(SYSEV_FD_FILE);
        EXPECT_EQ(MapToLine(&m, open.e), row("func=36 drive=26 restype=0x10 sfn=0x3 path1=" + dos));
        Ev read(SYSEV_READ, 600);
        read.Fd(3).A(0x1000, 1).Ret(1);
        EXPECT_EQ(MapToLine(&m, read.e),
                  fits ? "func=0 drive=26 restype=0x10 length=0x1 sfn=0x3 data=0x1000" : "LOST fd");
        Ev missing(SYSEV_STAT, 600);
        missing.Fd(Cwd).P1(n.name).Ret(-ENOENT);
        EXPECT_EQ(MapToLine(&m, missing.e),
                  row("func=33 drive=26 restype=0x10 result=3 path1=" + dos));
        Ev rename(SYSEV_RENAME, 600);
        rename.Fd(Cwd).P1("/tmp/a").P2(Cwd, n.name.c_str());
        EXPECT_EQ(MapToLine(&m, rename.e),
                  row("func=37 drive=26 restype=0x10 path1=Z:\\tmp\\a path2=" + dos));
    }
}

// What held at the call, as the backends record it, against a machine whose
// look-ups (made later, when mapping) would say otherwise.
const Step kAtCall[] = {
    // The command's folder is given; its child inherits it (no look-up for 501),
    // and the parent's later chdir does not move it.
    {Ev(SYSEV_FORK, 500).Ret(501), ""},
    {Ev(SYSEV_CHDIR, 500).Fd(Cwd).P1("/"),
     "func=32 drive=26 restype=0x10 length=0x4000000 flags=0x2 path1=Z:\\"},
    {Ev(SYSEV_OPEN, 501).Fd(Cwd).P1("f1").Ret(3).Kind(SYSEV_FD_FILE),
     "func=36 drive=26 restype=0x10 sfn=0x3 path1=Z:\\w\\f1"},
    // The first relative chdir goes from the known folder, once.
    {Ev(SYSEV_CHDIR, 501).Fd(Cwd).P1("sub"),
     "func=32 drive=26 restype=0x10 flags=0x2 path1=Z:\\w\\sub"},
    {Ev(SYSEV_OPEN, 501).Fd(Cwd).P1("g").Ret(-EACCES),
     "func=36 drive=26 restype=0x10 result=5 path1=Z:\\w\\sub\\g"},
    // A base descriptor named by the backend at the call; RESOLVE_IN_ROOT.
    {Ev(SYSEV_STAT, 501).Fd(7).P1("f1").P2(-1, "/w/sub").State(SYSEV_ST_BASE),
     "func=33 drive=26 restype=0x10 path1=Z:\\w\\sub\\f1"},
    {Ev(SYSEV_OPEN, 501)
         .Fd(7)
         .P1("/../g")
         .A(O_RDONLY, 0, 0x10)
         .P2(-1, "/w/sub")
         .State(SYSEV_ST_BASE | SYSEV_ST_FOLDERS)
         .Ret(-ENOENT),
     "func=36 drive=26 restype=0x10 result=2 path1=Z:\\w\\sub\\g"},
    // The folders as they were at the call: nd missing then (made since),
    // /home/u gone since; a rename's missing target folder.
    {Ev(SYSEV_OPEN, 501)
         .Fd(Cwd)
         .P1("/home/u/work/x")
         .State(SYSEV_ST_FOLDERS | SYSEV_ST_NO_FOLDER1)
         .Ret(-ENOENT),
     "func=36 drive=26 restype=0x10 result=3 path1=Z:\\home\\u\\work\\x"},
    {Ev(SYSEV_OPEN, 501).Fd(Cwd).P1("/gone/x").State(SYSEV_ST_FOLDERS).Ret(-ENOENT),
     "func=36 drive=26 restype=0x10 result=2 path1=Z:\\gone\\x"},
    {Ev(SYSEV_RENAME, 501).Fd(Cwd).P1("/home/u/ren").P2(Cwd, "/home/u/nodir/ren").Ret(-ENOENT),
     "func=37 drive=26 restype=0x10 result=3 path1=Z:\\home\\u\\ren path2=Z:\\home\\u\\nodir\\ren"},
    {Ev(SYSEV_RENAME, 501)
         .Fd(Cwd)
         .P1("/home/u/ren")
         .P2(Cwd, "/nodir/ren")
         .State(SYSEV_ST_FOLDERS)
         .Ret(-ENOENT),
     "func=37 drive=26 restype=0x10 result=2 path1=Z:\\home\\u\\ren path2=Z:\\nodir\\ren"},
    // A lock from the end and an O_APPEND write, by the size and position at the call.
    {Ev(SYSEV_FCNTL_LOCK, 501)
         .Fd(3)
         .A(F_SETLK, F_WRLCK | SEEK_END << 16, static_cast<uint64_t>(-16), 16)
         .Size(8192),
     "func=13 drive=26 restype=0x10 sfn=0x3 options=0x2 pos=0x1FF0 aux2=0x10"},
    {Ev(SYSEV_OPEN, 501).Fd(Cwd).P1("/w/log").A(O_WRONLY | O_APPEND).Ret(4).Kind(SYSEV_FD_FILE),
     "func=36 drive=26 restype=0x10 sfn=0x4 path1=Z:\\w\\log"},
    {Ev(SYSEV_WRITE, 501).Fd(4).A(0x1000, 16).Ret(16).Pos(0x2010),
     "func=1 drive=26 restype=0x10 length=0x10 sfn=0x4 data=0x1000 pos=0x2000"},
    // Copies: READ and WRITE of the followed ends; a whole-file clone; chmod.
    {Ev(SYSEV_COPY, 501).Fd(3).P2(4, "").A(0, 0, 100, 0).Ret(100),
     "func=0 drive=26 restype=0x10 length=0x64 sfn=0x3 | "
     "func=1 drive=26 restype=0x10 length=0x64 sfn=0x4 pos=0x2010"},
    {Ev(SYSEV_COPY, 501).Fd(3).P2(1, "").A(0x40, 0, 8, SYSEV_COPY_AT_IN).Ret(8),
     "func=0 drive=26 restype=0x10 length=0x8 sfn=0x3 pos=0x40"},
    {Ev(SYSEV_COPY, 501).Fd(3).P2(4, "").A(0, 0, 0, SYSEV_COPY_WHOLE).Size(0x30),
     "func=0 drive=26 restype=0x10 length=0x30 sfn=0x3 | "
     "func=1 drive=26 restype=0x10 length=0x30 sfn=0x4"},
    {Ev(SYSEV_CHMOD, 501).Fd(Cwd).P1("f1").A(0644),
     "func=33 drive=26 restype=0x10 flags=0x1 path1=Z:\\w\\sub\\f1"},
    {Ev(SYSEV_CHMOD, 501).Fd(4).A(0600),
     "func=33 drive=26 restype=0x10 flags=0x1 path1=Z:\\w\\log"},
    // Close-on-exec set after the open, by F_SETFD and on the new descriptor
    // of dup3 and F_DUPFD_CLOEXEC: gone at exec, so a pipe reusing 3 stays out.
    {Ev(SYSEV_SETFD, 501).Fd(3).A(1), ""},
    {Ev(SYSEV_DUP, 501).Fd(4).A(8, O_CLOEXEC).Ret(8), ""},
    {Ev(SYSEV_DUP, 501).Fd(4).A(static_cast<uint64_t>(-1), O_CLOEXEC).Ret(9), ""},
    {Ev(SYSEV_DUP, 501).Fd(4).A(10).Ret(10), ""},
    {Ev(SYSEV_EXEC, 501), ""},
    {Ev(SYSEV_READ, 501).Fd(3).A(0x1000, 1).Ret(1), ""},
    {Ev(SYSEV_WRITE, 501).Fd(8).A(0x1000, 1).Ret(1), ""},
    {Ev(SYSEV_WRITE, 501).Fd(9).A(0x1000, 1).Ret(1), ""},
    {Ev(SYSEV_WRITE, 501).Fd(10).A(0x1000, 1).Ret(1).Pos(0x2021),
     "func=1 drive=26 restype=0x10 length=0x1 sfn=0xA data=0x1000 pos=0x2020"},
    // A name longer than the record: lost, and so is what follows on its descriptor.
    {Ev(SYSEV_OPEN, 501).Fd(Cwd).P1("./././f1").Flags(SYSEV_PATH1_CUT).Ret(5), "LOST long"},
    {Ev(SYSEV_READ, 501).Fd(5).A(0x1000, 1).Ret(1), "LOST fd"},
    {Ev(SYSEV_DUP, 501).Fd(5).A(static_cast<uint64_t>(-1)).Ret(6), ""},
    {Ev(SYSEV_LSEEK, 501).Fd(6).A(0, SEEK_SET), "LOST fd"},
    {Ev(SYSEV_CLOSE, 501).Fd(5), "LOST fd"},
    {Ev(SYSEV_CLOSE, 501).Fd(5), ""},
    // The kernel side's word that a descriptor's open was lost in its ring.
    {Ev(SYSEV_LSEEK, 501).Fd(11).A(0, SEEK_SET).State(SYSEV_ST_FD_LOST), "LOST fd"},
    {Ev(SYSEV_FSYNC, 501).Fd(11), "LOST fd"},
};

TEST(SysevMap, StateAtTheCall) {
    SysevMapper m(DriveTable{}, FakeLookups());
    m.SetWorkingFolder(500, "/w");
    for (const Step& s : kAtCall)
        EXPECT_EQ(MapToLine(&m, s.ev.e), s.line) << "call " << s.ev.e.call << " " << s.ev.e.path1;
}

TEST(SysevMap, ErrnoTable) {
    const struct {
        int err;
        int32_t dos;
    } cases[] = {{ENOENT, 2},
                 {ENOTDIR, 3},
                 {EMFILE, 4},
                 {ENFILE, 4},
                 {EACCES, 5},
                 {EPERM, 5},
                 {EBADF, 6},
                 {ENOMEM, 8},
                 {EXDEV, 17},
                 {EROFS, 19},
                 {EIO, 31},
                 {EBUSY, 32},
                 {ETXTBSY, 32},
                 {ENOSPC, 39},
                 {EEXIST, 80},
                 {ENOTEMPTY, 145},
                 {EHOSTDOWN, kDosFallbackError},
                 {0, kDosFallbackError}};
    for (const auto& c : cases)
        EXPECT_EQ(DosErrorOf(c.err), c.dos) << "errno " << c.err;
}

// A real prefix folder: both the link and its target name the drive; the
// link to / is the root drive.
TEST(SysevMap, WinePrefixDrivesFromDosdevices) {
    char tmpl[] = "/tmp/talvek-prefix-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string prefix = tmpl;
    ASSERT_EQ(system(("mkdir -p " + prefix + "/drive_c/windows " + prefix +
                      "/dosdevices && ln -s "
                      "../drive_c " +
                      prefix + "/dosdevices/c: && ln -s / " + prefix + "/dosdevices/y:")
                         .c_str()),
              0);
    const DriveTable t = LoadWinePrefixDrives(prefix);
    int32_t drive = 0;
    EXPECT_EQ(DosNameOf(t, prefix + "/drive_c/windows/win.ini", &drive), "C:\\windows\\win.ini");
    EXPECT_EQ(drive, 3);
    EXPECT_EQ(DosNameOf(t, prefix + "/dosdevices/c:/windows", &drive), "C:\\windows");
    EXPECT_EQ(DosNameOf(t, "/etc/passwd", &drive), "Y:\\etc\\passwd");
    EXPECT_EQ(drive, 25);
    EXPECT_EQ(DosNameOf(LoadWinePrefixDrives(""), "/etc", &drive), "Z:\\etc");
    system(("rm -rf " + prefix).c_str());
}

} // namespace

// Any prefix's names by their form: dosdevices links (present or not) and
// drive_c of a folder that is a prefix, beside the table of a prefix given.
TEST(SysevMap, WinePrefixNamesWithoutThePrefix) {
    int asked = 0;
    DriveTable none;
    none.isWinePrefix = [&](const std::string& folder) {
        ++asked;
        return folder == "/root/.wine" || folder == "/srv/p2";
    };
    DriveTable given = none;
    given.roots = {{'D', "/mnt/cd"}, {'C', "/srv/p2/drive_c"}};
    given.rootLetter = 'Y';
    const struct {
        const DriveTable* table;
        const char* unixName;
        const char* dos;
    } cases[] = {
        {&none, "/root/.wine/dosdevices/c:/missing.txt", "C:\\missing.txt"},
        {&none, "/root/.wine/dosdevices/y:", "Y:\\"}, // a link that is not there
        {&none, "/root/.wine/dosdevices/D:/a", "D:\\a"},
        {&none, "/root/.wine/drive_c/windows/win.ini", "C:\\windows\\win.ini"},
        {&none, "/srv/p2/dosdevices/e:/x", "E:\\x"}, // a second prefix
        {&none, "/srv/p2/drive_c", "C:\\"},
        {&none, "/root/.wine/dosdevices/z:/root/.wine/dosdevices/c:/x", "C:\\x"},
        {&none, "/root/.wine/dosdevices/c::", "Z:\\root\\.wine\\dosdevices\\c::"},
        {&none, "/root/.wine/dosdevices/pipe", "Z:\\root\\.wine\\dosdevices\\pipe"},
        {&none, "/home/u/drive_c/x", "Z:\\home\\u\\drive_c\\x"}, // not a prefix
        {&none, "/root/.wine/drive_cx", "Z:\\root\\.wine\\drive_cx"},
        {&none, "/etc/passwd", "Z:\\etc\\passwd"},
        {&given, "/mnt/cd/setup.exe", "D:\\setup.exe"},
        {&given, "/etc/passwd", "Y:\\etc\\passwd"},
        {&given, "/root/.wine/dosdevices/c:/x", "C:\\x"},
        {&given, "/srv/p2/drive_c/x", "C:\\x"},
    };
    for (const auto& c : cases) {
        int32_t drive = 0;
        const std::string dos = DosNameOf(*c.table, c.unixName, &drive);
        EXPECT_EQ(dos, c.dos) << c.unixName;
        EXPECT_EQ(drive, c.dos[0] - 'A' + 1) << c.unixName;
    }
    // Each folder is asked about once, however many names lie in it.
    for (int i = 0; i < 3; ++i) {
        int32_t drive = 0;
        DosNameOf(none, "/root/.wine/drive_c/again.txt", &drive);
        DosNameOf(none, "/home/u/drive_c/again.txt", &drive);
    }
    EXPECT_EQ(asked, 3); // /root/.wine, /srv/p2, /home/u
}

namespace {

// A name read from /proc, as a process with that root sees it.
TEST(ProcessRoot, NamesBelowTheRoot) {
    const struct {
        const char* root;
        const char* name;
        const char* seen; // nullptr: outside the root
    } rows[] = {
        {"/", "/tmp/x", "/tmp/x"},     {"/srv/b", "/srv/b/tmp/x", "/tmp/x"},
        {"/srv/b", "/srv/b", "/"},     {"/srv/b", "/srv/bx/y", nullptr},
        {"/srv/b", "/tmp/x", nullptr},
    };
    for (const auto& r : rows) {
        std::string name = r.name;
        EXPECT_EQ(NameInRoot(r.root, &name), r.seen != nullptr) << r.root << " " << r.name;
        if (r.seen != nullptr) {
            EXPECT_EQ(name, r.seen);
        }
    }
}

} // namespace
