// The ELF reader on any bytes: the Windows view reads the libraries a user
// names with --wine-lib, as root. No read outside the file's bytes; a
// function found lies at an offset that can be asked for.
#include "fuzz_bytes.h"
#include "hook/windows/elf_symbols.h"
#include "hook/windows/wine_libs.h"

#include <unistd.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/talvek-elf-fuzz-" + std::to_string(getpid());
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    uint64_t offset = 0;
    std::string why;
    uint8_t entry[16];
    size_t got = 0;
    if (ElfFunctionOffset(path, "NtClose", &offset, &why))
        got = ElfReadAt(path, offset, entry, sizeof entry);
    else
        FUZZ_CHECK(!why.empty());
    FUZZ_CHECK(got <= sizeof entry);
    const std::string version = ElfFindVersionText(path, "wine-");
    FUZZ_CHECK(version.empty() || version.rfind("wine-", 0) == 0);
    WineCall call;
    WineCallOf(entry, got, version, false, &call);
    return 0;
}
