// Unix names as DOS names: drive letters from a Wine prefix's dosdevices
// links, backslashes, code page 949 bytes cut to a record's name field.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One drive letter and the Unix folder it stands for (absolute, no trailing
// slash; "" for "/").
struct DriveRoot {
    char letter; // 'A' to 'Z'
    std::string unixRoot;
};

// The drives that names map to. A name takes the letter of the longest root
// it lies under; a name under none takes rootLetter, the drive for "/".
// Besides the roots, any Wine prefix's names are known by their form, with no
// prefix given: "<prefix>/dosdevices/x:" is the root of X: (whether or not
// the link exists), and "<prefix>/drive_c" that of C: when isWinePrefix says
// that <prefix> is one (asked once per folder, the answer kept).
struct DriveTable {
    std::vector<DriveRoot> roots;
    char rootLetter = 'Z';
    std::function<bool(const std::string& folder)> isWinePrefix;
    mutable std::vector<std::pair<std::string, bool>> prefixesSeen;
};

// Whether a folder is a Wine prefix: it holds a dosdevices folder.
bool IsWinePrefixFolder(const std::string& folder);

// Reads <prefix>/dosdevices: every "x:" link gives two roots, the link's own
// name and its resolved target; the link to "/" gives rootLetter. An empty
// prefix, or one without dosdevices, gives the table of no prefix (Z: for /).
// Either way the table knows other prefixes by IsWinePrefixFolder.
DriveTable LoadWinePrefixDrives(const std::string& prefix);

// Removes ".", empty components and a component followed by ".." from an
// absolute name, lexically (symbolic links are not followed).
std::string NormaliseUnixName(std::string_view name);

// The folder part of an absolute name ("/a/b" -> "/a", "/a" -> "/").
std::string ParentFolder(std::string_view name);

// A normalised absolute Unix name as a DOS name in UTF-8: "C:\windows\win.ini",
// "Z:\" for "/". *drive gets the letter's number (A: 1 ... Z: 26).
std::string DosNameOf(const DriveTable& drives, std::string_view unixName, int32_t* drive);

// UTF-8 text as code page 949 bytes: a character that has none, and every
// byte of a malformed sequence, becomes '?'. The result is cut before the
// first character that would not fit in maxBytes.
std::string Utf8ToCp949(std::string_view utf8, size_t maxBytes);

// Whether the last component of a name (UTF-8) is a short name as Korean
// Windows 98 has it: in code page 949, a base of 1-8 bytes and an extension
// of up to 3, one dot at most, a double-byte character counted as two bytes
// and never split at either end, no blanks, wildcards or + , ; = [ ], and no
// character that code page 949 lacks. Case is not looked at.
bool IsShortName(std::string_view name);

// UTF-16 text (a Windows name as a program passed it) as UTF-8: an unpaired
// surrogate becomes '?'.
std::string Utf16ToUtf8(const uint16_t* units, size_t count);
