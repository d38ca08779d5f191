#include "settings/ini_file.h"

#include "text/str_prim.h"

char IniPath[kIniPathSize] = "TALVEK.INI";

void IniReadStr(const char* section, const char* key, char* dest, const char* def) {
    GetPrivateProfileStringA(section, key, def != nullptr ? def : "", dest, kIniValueSize,
                             IniPath);
}

int32_t IniReadInt(const char* section, const char* key, int32_t def) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, IniPath));
}

void IniWriteStr(const char* section, const char* key, const char* text) {
    WritePrivateProfileStringA(section, key, text, IniPath);
}
