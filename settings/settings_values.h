// The values of the settings file as texts: parsing and limits that do not
// depend on the platform.
#pragma once

#include <stdint.h>

#include "settings/monitor_settings.h"

// Default list column widths in horizontal dialog units: Function, Drive,
// ResType, CodePage, Result, Data.
constexpr int kColWidthDlu[kListColumnCount] = {50, 15, 20, 20, 30, 600};

// The smallest row limit; a stored or typed value below it is raised to it.
constexpr int32_t kMinViewLineQty = 1;

int32_t ViewLineQtyAtLeastOne(int32_t qty);

// Reads six blank-separated widths from text. A missing width, one below 1
// or a token that is not a number becomes dluToPixelX(kColWidthDlu[i]);
// anything after the sixth token is ignored.
void ParseColWidths(const char* text, int32_t widths[kListColumnCount], int (*dluToPixelX)(int));

// Sets all 30 enable bytes to 1, then byte j to (character j - '0') for each
// character of text up to the thirtieth. Characters other than '0' and '1'
// are passed on as their code minus 48, kept to 8 bits.
void ParseEnableText(const char* text, int8_t enables[kIfsFuncCount]);

// Derives the settings path from the executable's path: the file name's
// extension becomes INI. When the result would not fit in destSize bytes
// (terminator included), dest is left as it is and the result is false.
bool SettingsPathFromModule(char* dest, uint32_t destSize, const char* modulePath);
