#include "hook/windows/wow64_name.h"

#include <stddef.h>

namespace {

constexpr char kRedirected[] = "C:\\windows\\syswow64";
constexpr size_t kRedirectedLength = sizeof kRedirected - 1;
constexpr size_t kFolderAt = sizeof "C:\\windows\\" - 1;

// The folders under system32 that wow64.dll never redirects.
constexpr const char* kExempt[] = {"catroot",      "catroot2", "driversstore",
                                   "drivers\\etc", "logfiles", "spool"};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Whether name, from `at`, starts with the path `prefix`: whole components,
// ASCII case not told apart.
bool StartsWithPath(const std::string& name, size_t at, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != 0; ++i) {
        if (at + i >= name.size() || Lower(name[at + i]) != Lower(prefix[i]))
            return false;
    }
    return at + i == name.size() || name[at + i] == '\\';
}

} // namespace

void Wow64ProgramName(std::string* dosName, bool redirectionOn) {
    if (!redirectionOn || !StartsWithPath(*dosName, 0, kRedirected))
        return;
    if (dosName->size() > kRedirectedLength) {
        for (const char* folder : kExempt) {
            if (StartsWithPath(*dosName, kRedirectedLength + 1, folder))
                return;
        }
    }
    dosName->replace(kFolderAt, sizeof "syswow64" - 1, "system32");
}
