// The settings file next to the executable, read and written through the
// platform's profile functions. Failed reads give the default; failed writes
// are ignored.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr int kIniPathSize = 120;
constexpr int kIniValueSize = 80;
constexpr int32_t kIniAbsent = 0x7FFFFFFF; // marks a trailing IniWriteInts value as absent

constexpr char kIniConfig[] = "Config"; // monitoring settings and column widths
constexpr char kIniDlgPos[] = "DlgPos"; // one placement per dialog

extern char IniPath[kIniPathSize]; // starts as "TALVEK.INI"

// Derives IniPath from the executable's path (extension replaced by INI).
// When that path is truncated or would not fit, IniPath keeps "TALVEK.INI".
void IniPathInit(HINSTANCE instance);

// dest must hold kIniValueSize bytes; a null default reads as the empty text.
void IniReadStr(const char* section, const char* key, char* dest, const char* def);
int32_t IniReadInt(const char* section, const char* key, int32_t def);
void IniWriteStr(const char* section, const char* key, const char* text);
// Writes one to four blank-separated integers; trailing kIniAbsent values are left out.
void IniWriteInts(const char* section, const char* key, int32_t a, int32_t b, int32_t c, int32_t d);
