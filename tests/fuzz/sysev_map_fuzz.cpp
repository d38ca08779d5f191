// The system view's mapping over any sequence of ring records, as a hostile
// process could make them (descriptors, names, sizes, calls): each record as
// the loader passes it on, lookups answered without the host; a row never
// holds a name longer than its field, the second row of a copy neither.
#include "fuzz_bytes.h"
#include "hook/system/sysev_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DriveTable drives;
    drives.roots = {{'C', "/p/drive_c"}};
    HookLookups lookups;
    lookups.workingFolder = [](uint32_t, std::string* folder) { return *folder = "/w", true; };
    lookups.descriptorName = [](uint32_t, int32_t fd, std::string* name) {
        return fd % 2 == 0 && (*name = "/d/" + std::to_string(fd), true);
    };
    lookups.isFolder = [](const std::string& name) { return name.size() % 3 == 0 ? 1 : 0; };
    lookups.folderExists = [](const std::string& name) { return name.size() % 2 == 0; };
    lookups.isNetwork = [](const std::string& name) { return name.rfind("/mnt", 0) == 0; };
    SysevMapper mapper(drives, lookups);
    ForEachRecord(data, size, 8, [&](const uint8_t* record, size_t length) {
        IfsCall call;
        if (mapper.Map(SysevOfRecord(record, length), &call) != MapOutcome::Reported)
            return;
        do {
            FUZZ_CHECK(call.path1.size() <= kHookPath1Max);
            FUZZ_CHECK(call.path2.size() <= kHookPath2Max);
        } while (mapper.TakeSecond(&call));
    });
    return 0;
}
