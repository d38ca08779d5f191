// Redirects one function that this executable imports from a DLL, so that a
// test can watch the program's calls to it while they still take effect.
#pragma once

#include <windows.h>

// Points this executable's import of dll!name at replacement and returns the
// address it held before (null when the import does not exist).
void* PatchImport(const char* dll, const char* name, void* replacement);
