// The name a 32-bit program gave, from the one Wine's 64-bit ntdll got, in
// Wine's new WoW64 (a 32-bit program inside a 64-bit process): wow64.dll
// turns the program's C:\windows\system32 into C:\windows\syswow64 before the
// call reaches the 64-bit side, except for the folders it leaves to the
// 64-bit system (catroot, catroot2, driversstore, drivers\etc, logfiles and
// spool under system32), and not while the thread has turned redirection off.
//
// The rule undone: C:\windows\syswow64[\...] is the program's
// C:\windows\system32[\...] (the case of the rest kept), unless what follows
// syswow64 is one of those folders, which only a program that named
// syswow64 itself reaches. A program that wrote syswow64 for another name is
// shown system32, the same file as it sees it. Names elsewhere, on another
// drive, or with redirection off are left as they are.
#pragma once

#include <string>

// Turns *dosName into the program's name, in place (names outside syswow64
// are not touched, so that the usual call costs a compare); redirectionOn:
// a WoW64 thread that has not turned redirection off.
void Wow64ProgramName(std::string* dosName, bool redirectionOn);
