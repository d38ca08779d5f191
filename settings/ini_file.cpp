#include "settings/ini_file.h"

#include "settings/settings_values.h"

char IniPath[kIniPathSize] = "TALVEK.INI";

namespace {

bool HasSettingsFile() {
    return IniPath[0] != '\0';
}

} // namespace

void IniPathInit(HINSTANCE instance) {
    // A cut path comes back as the buffer's size, terminated or not (that
    // differs between Windows versions).
    char module[MAX_PATH];
    const DWORD len = GetModuleFileNameA(instance, module, sizeof module);
    if (len == 0 || len >= sizeof module) {
        IniPath[0] = '\0';
        return;
    }
    module[len] = '\0';
    if (!SettingsPathFromModule(IniPath, sizeof IniPath, module))
        IniPath[0] = '\0';
}

void IniReadStr(const char* section, const char* key, char* dest, const char* def) {
    if (def == nullptr)
        def = "";
    if (HasSettingsFile()) {
        GetPrivateProfileStringA(section, key, def, dest, kIniValueSize, IniPath);
        return;
    }
    int i = 0;
    for (; i < kIniValueSize - 1 && def[i] != '\0'; ++i)
        dest[i] = def[i];
    dest[i] = '\0';
}

int32_t IniReadInt(const char* section, const char* key, int32_t def) {
    if (!HasSettingsFile())
        return def;
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, IniPath));
}

void IniWriteStr(const char* section, const char* key, const char* text) {
    if (HasSettingsFile())
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
    IniWriteStr(section, key, text);
}
