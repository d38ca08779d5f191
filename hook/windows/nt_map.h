// From the NT file calls of a Windows program under Wine (struct ntev) to
// IFS call records: what the program asked of the Windows file API, with the
// names it gave and the DOS results it got. Platform-free: recorded calls map
// the same way on any machine.
//
// Windows call (as kernelbase makes it)      NT call                          IFS row
//   CreateFile, OpenFile, _lopen             NtCreateFile/NtOpenFile, a file  OPEN sfn=handle
//   CreateDirectory                          a folder with FILE_CREATE/OPEN_IF DIR CREATE_DIR
//   SetCurrentDirectory                      a folder opened for FILE_TRAVERSE DIR CHECK_DIR
//   RemoveDirectory                          a folder opened, disposition     DIR DELETE_DIR
//   DeleteFile                               open with FILE_DELETE_ON_CLOSE   DELETE (at NtClose)
//                                            NtDeleteFile, or disposition
//   MoveFile                                 FileRenameInformation            RENAME path1, path2
//   GetFileAttributes                        NtQuery(Full)AttributesFile      FILEATTRIB GET
//   SetFileAttributes, SetFileTime           FileBasicInformation             FILEATTRIB SET /
//                                                                             FILETIMES SET_MODIFY
//   FindFirstFile                            a folder opened for listing,     FINDOPEN folder\mask
//                                            its first NtQueryDirectoryFile
//   FindNextFile                             a later NtQueryDirectoryFile     FINDNEXT fh=handle
//   FindClose, CloseHandle                   NtClose of a tracked handle      FINDCLOSE / CLOSE
//   ReadFile, WriteFile                      NtReadFile / NtWriteFile         READ / WRITE
//   SetFilePointer                           FilePositionInformation          SEEK BEGIN
//   LockFile(Ex), UnlockFile(Ex)             NtLockFile / NtUnlockFile        FILELOCKS
//   FlushFileBuffers                         NtFlushBuffersFile               COMMIT
//   GetDiskFreeSpace                         NtQueryVolumeInformationFile     GETDISKINFO
//   GetVolumeInformation                     the bare volume "\??\C:" opened QUERY
//                                            (a missing drive: then its root)
//   GetDriveType                             its root opened, then the drive  none
//                                            type asked of the mount manager
//   CreateFile of NUL, CON, AUX, PRN,        "\??\NUL" ...                    OPEN ?: CFSD
//     COM1-9, LPT1-9 (also C:\x\nul.txt)
//
// Names: "\??\C:\x" is C:\x (its drive), "\??\UNC\srv\share\x" is
// \\srv\share\x (ResType UNC|NET, drive -1), Wine's "\??\unix\home\x" is the
// DOS name of /home/x (the prefix drive that holds it, else the drive of /).
// A name relative to a RootDirectory handle is that handle's name, a
// backslash and the rest. Case is kept as the program wrote it. UTF-16 becomes
// code page 949 ('?' for what it lacks), cut on a character boundary to the
// record's field. The DOS devices that Windows 98's character file system
// serves (NUL, CON, AUX, PRN, COM1-9, LPT1-9) are named so, with no drive
// and ResType CFSD; their transfers and close are rows too. Pipes, consoles
// (CONIN$, CONOUT$), mailslots, "\Device\...", a bare volume other than
// GetVolumeInformation's and other names without a drive, and names relative
// to a handle not seen opened, are not file-system calls of the program: not
// reported, their handles not tracked.
//
// Results: DosErrorOfStatus (nt_status.h). A read that meets the end of the
// file (STATUS_END_OF_FILE) is a successful read of 0 bytes, as ReadFile
// tells the program. FINDOPEN whose first query finds nothing
// (NO_SUCH_FILE or NO_MORE_FILES) is FileNotFound; FINDNEXT's NO_MORE_FILES is
// NoMoreFiles; a folder that cannot be opened for a find is FINDOPEN
// PathNotFound.
//
// Handles: per process, the handles seen opened as files or folders (name,
// drive, kind, position); calls on other handles are not reported, and a
// process's table goes when it ends or runs a new program. Kinds:
//   - a file opened for data (anything beyond attributes, DELETE, READ_CONTROL
//     and SYNCHRONIZE): OPEN, then its transfers, SEEK, locks, CLOSE;
//   - a helper open that Wine's kernelbase makes for a call by name
//     (MoveFile, SetFileAttributes, RemoveDirectory, GetDiskFreeSpace,
//     GetDriveType, GetVolumeInformation: only
//     attribute or DELETE rights, or a folder opened neither for listing nor
//     for traversal): no OPEN and no CLOSE row, only the row of the call made
//     through it. When such an open fails, the call it served cannot be told:
//     a folder opened with DELETE is DIR DELETE_DIR, any other folder DIR
//     CHECK_DIR, a file OPEN, each with the open's result;
//   - a folder opened for listing (FILE_LIST_DIRECTORY): FINDOPEN at its first
//     query, FINDNEXT at the later ones, FINDCLOSE at its close (none when it
//     was never queried, or when FINDOPEN failed: kernelbase closes the folder
//     of a failed FindFirstFile itself). Kernelbase fills a buffer of entries per query, so a
//     FINDNEXT row stands for a refill, not for every FindNextFile;
//   - an open with FILE_DELETE_ON_CLOSE: DELETE at its close, with the close's
//     result (the open's result when the open fails).
//
// Drives: a drive's root opened with SYNCHRONIZE alone is GetDiskFreeSpace's
// (GETDISKINFO from its size query), GetDriveType's (its device query: no
// row) or GetVolumeInformation's second try. GetVolumeInformation opens the
// bare volume first (GENERIC_READ, not a folder): QUERY, with that open's
// result; when that open fails, the same thread's next open of the drive's
// root gives the QUERY row with its own result (a missing drive:
// PathNotFound, as the program got it). A failed root open otherwise is
// GetDiskFreeSpace's or GetDriveType's, which the call cannot tell: its
// GETDISKINFO row is held until the thread's next call, and dropped when
// that call is GetDriveType's question to the mount manager
// ("\??\MountPointManager"), which only a failed GetDriveType asks next.
//
// Position: set by opens (0), transfers (ByteOffset when given, else the
// tracked position, then advanced by the bytes transferred) and SEEK. A call
// that returns STATUS_PENDING (overlapped I/O) is reported when it returns,
// successful, with the length asked; its position is not advanced.
//
// ResType LCL for local drives, NET where driveIsNetwork says so (as the
// system view decides); CodePage 0.
//
// Wine's NtOpenFile calls the exported NtCreateFile, and other Nt* functions
// call each other; those inner calls are not the program's. The kernel side
// drops a call made while the same thread is inside another one (nt_event.h),
// so the mapper sees one record per call the program made.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "hook/dos_name.h"
#include "trace/ifs_call.h"
#include "hook/windows/nt_event.h"

// LostLongName: a name longer than the record's field (259 bytes in code page
// 949), or than the kernel side reads: counted, never shown cut.
// A record of the ring as the mapping may read it: the bytes the kernel
// side sent (a record ends after its names; the rest reads as empty), the
// name sizes held within the name fields, the process name terminated.
ntev NtevOfRecord(const void* data, size_t size);

// Held: the row waits for the thread's next call (Settle).
enum class NtOutcome { Reported, NotReported, LostLongName, Held };

// A row held back at a thread's call, settled by a later record.
struct NtHeldRow {
    IfsCall call;
    uint32_t pid = 0;
    uint32_t tid = 0;
    char comm[NTEV_COMM_SIZE] = {};
    bool none = false; // the later call showed that it was no row
};

class NtMapper {
  public:
    // drives: the prefix's drives, for Wine's unix names. driveIsNetwork(letter)
    // tells a network drive (may be empty: every drive is local).
    NtMapper(DriveTable drives, std::function<bool(char letter)> driveIsNetwork);

    NtOutcome Map(const ntev& ev, IfsCall* out);

    // Before Map(ev): the held rows that ev settles, in the order held: the
    // thread's next call tells what its row was; a process's end or new
    // program reports its threads' rows as they are.
    std::vector<NtHeldRow> Settle(const ntev& ev);
    // The watching ends: every row still held, as it is.
    std::vector<NtHeldRow> SettleAll();

    size_t HandleCount(uint32_t pid) const;

  private:
    enum class Kind : uint8_t { File, Helper, FindFolder, DeleteOnClose };
    struct Handle {
        Kind kind = Kind::File;
        bool folder = false;
        bool findReported = false; // FINDOPEN made
        bool findFound = false;    // and it succeeded: its close is FINDCLOSE
        bool inheritable = false;  // OBJ_INHERIT: a child made to inherit handles gets it
        bool inherited = false;    // got from the parent: kept across the child's exec
        std::string name;          // the DOS name in UTF-8, uncut
        int32_t drive = -1;
        uint32_t resType = kResTypeLocal;
        uint64_t pos = 0;
        std::string mask; // FindFolder: the first query's mask
    };
    // A resolved name; ok false when the call is not a file-system one.
    struct Name {
        bool ok = false;
        bool volume = false; // the bare volume "\??\C:"
        std::string dos;     // UTF-8
        int32_t drive = -1;
        uint32_t resType = kResTypeLocal;
    };
    using Handles = std::unordered_map<uint64_t, Handle>;
    // GetVolumeInformation's failed volume open, for the thread's next call.
    struct VolumeTry {
        uint32_t pid = 0;
        int32_t drive = 0;
    };

    // redirected: a WoW64 thread's call with redirection on (wow64_name.h).
    Name Resolve(const Handles& handles, uint64_t root, const uint16_t* units, size_t bytes,
                 bool redirected);
    uint32_t ResTypeOfDrive(char letter);
    NtOutcome MapCall(const ntev& ev, IfsCall* out);
    void MapDuplicate(const ntev& ev, Handles& handles);
    void MapFork(const ntev& ev);
    NtOutcome MapCreate(const ntev& ev, Handles& handles, IfsCall* out);
    NtOutcome MapVolume(const ntev& ev, const Name& n, Handles& handles, IfsCall* out);
    NtOutcome MapByName(const ntev& ev, Handles& handles, IfsCall* out);
    NtOutcome MapDirectory(const ntev& ev, Handle& h, IfsCall* out);
    NtOutcome MapTransfer(const ntev& ev, Handle& h, IfsCall* out);
    NtOutcome MapSetInformation(const ntev& ev, Handles& handles, Handle& h, IfsCall* out);
    NtOutcome MapOnHandle(const ntev& ev, Handles& handles, IfsCall* out);

    DriveTable drives_;
    std::function<bool(char)> driveIsNetwork_;
    std::unordered_map<char, uint32_t> resTypes_;
    std::unordered_map<uint32_t, Handles> processes_;
    std::unordered_map<uint32_t, VolumeTry> volumeTries_; // by thread id
    int32_t volumeTried_ = 0; // the call's thread's failed volume open, while mapping
    std::vector<NtHeldRow> held_;
};
