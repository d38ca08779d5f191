#include "settings/ini_file.h"

#include "settings/settings_values.h"

char IniPath[kIniPathSize] = "TALVEK.INI";

void IniPathInit(HINSTANCE instance) {
    // A path that GetModuleFileNameA had to cut (it then returns the buffer
    // size), or whose settings path would not fit IniPath, would name some
    // other file: IniPath then keeps "TALVEK.INI".
    char module[MAX_PATH];
    const DWORD len = GetModuleFileNameA(instance, module, sizeof module);
    if (len == 0 || len >= sizeof module)
        return;
    module[len] = '\0';
    SettingsPathFromModule(IniPath, sizeof IniPath, module);
}

void IniReadStr(const char* section, const char* key, char* dest, const char* def) {
    GetPrivateProfileStringA(section, key, def != nullptr ? def : "", dest, kIniValueSize, IniPath);
}

int32_t IniReadInt(const char* section, const char* key, int32_t def) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, IniPath));
}

void IniWriteStr(const char* section, const char* key, const char* text) {
    WritePrivateProfileStringA(section, key, text, IniPath);
}

void IniWriteInts(const char* section, const char* key, int32_t a, int32_t b, int32_t c,
                  int32_t d) {
    // Room for four values of full width ("-2147483648"), three blanks and the NUL.
    char text[4 * 11 + 3 + 1];
    static_assert(sizeof text >= sizeof "-2147483648 -2147483648 -2147483648 -2147483648");
    // Only trailing values are tested for the absent marker.
    if (d != kIniAbsent)
        wsprintfA(text, "%d %d %d %d", a, b, c, d);
    else if (c != kIniAbsent)
        wsprintfA(text, "%d %d %d", a, b, c);
    else if (b != kIniAbsent)
        wsprintfA(text, "%d %d", a, b);
    else
        wsprintfA(text, "%d", a);
    WritePrivateProfileStringA(section, key, text, IniPath);
}
