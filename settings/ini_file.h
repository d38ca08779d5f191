// The settings file next to the executable, read and written through the
// platform's profile functions. Failed reads give the default; failed writes
// are ignored.
#pragma once

#include <windows.h>
#include <stdint.h>

// The longest path the profile functions take, as GetModuleFileNameA's
// longest whole executable path.
constexpr int kIniPathSize = MAX_PATH;
constexpr int kIniValueSize = 80;
constexpr int32_t kIniAbsent = 0x7FFFFFFF; // marks a trailing IniWriteInts value as absent

constexpr char kIniConfig[] = "Config"; // monitoring settings and column widths
constexpr char kIniDlgPos[] = "DlgPos"; // one placement per dialog

extern char IniPath[kIniPathSize]; // starts as "TALVEK.INI"; empty: no settings file

// Derives IniPath from the executable's path (extension replaced by INI).
// When GetModuleFileNameA fails or cuts the path, or the settings path would
// be too long (a name without extension gains ".INI"), no file next to the
// executable can be named: IniPath becomes empty, reads then give their
// defaults and writes are dropped, rather than falling back to a file that
// other copies share (a bare name resolves to the Windows folder).
void IniPathInit(HINSTANCE instance);

// dest must hold kIniValueSize bytes; a null default reads as the empty text.
void IniReadStr(const char* section, const char* key, char* dest, const char* def);
int32_t IniReadInt(const char* section, const char* key, int32_t def);
void IniWriteStr(const char* section, const char* key, const char* text);
// Writes one to four blank-separated integers; trailing kIniAbsent values are left out.
void IniWriteInts(const char* section, const char* key, int32_t a, int32_t b, int32_t c, int32_t d);
