// The Windows view's mapping over any sequence of ring records, as a hostile
// process could make them (handle values, name sizes and bytes, calls): each
// record as the loader passes it on; a row never holds a name longer than
// its field, and a record's outcome is one of the mapping's.
#include "fuzz_bytes.h"
#include "hook/windows/nt_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DriveTable drives;
    drives.roots = {{'C', "/p/drive_c"}, {'N', "/mnt/net"}};
    NtMapper mapper(drives, [](char letter) { return letter == 'N'; });
    ForEachRecord(data, size, 16, [&](const uint8_t* record, size_t length) {
        const ntev ev = NtevOfRecord(record, length);
        IfsCall call;
        const NtOutcome outcome = mapper.Map(ev, &call);
        FUZZ_CHECK(outcome == NtOutcome::Reported || outcome == NtOutcome::NotReported ||
                   outcome == NtOutcome::LostLongName);
        if (outcome == NtOutcome::Reported) {
            FUZZ_CHECK(call.path1.size() <= kHookPath1Max);
            FUZZ_CHECK(call.path2.size() <= kHookPath2Max);
        }
    });
    return 0;
}
