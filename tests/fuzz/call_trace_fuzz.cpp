// The call-trace parser on arbitrary lines: an error names its line, a record
// has the size its Path2 gives it and ends with Path2's NUL, and rendering
// the record stays within the scratch texts.
#include "event/call_row_texts.h"
#include "fuzz_bytes.h"
#include "trace/call_trace.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const TraceLineResult r = ParseTraceLine(line, 17);
    switch (r.kind) {
    case TraceLineKind::Skip:
        FUZZ_CHECK(r.record.empty());
        break;
    case TraceLineKind::Error:
        FUZZ_CHECK(r.record.empty());
        FUZZ_CHECK(r.error.rfind("line 17: ", 0) == 0);
        break;
    case TraceLineKind::Record: {
        FUZZ_CHECK(r.error.empty());
        FUZZ_CHECK(r.record.size() >= 401 && r.record.size() <= kIfsCallRecMax);
        FUZZ_CHECK(r.record.back() == 0);
        // Path2 runs to the record's last byte: no NUL before it.
        const size_t path2Len = r.record.size() - 401;
        FUZZ_CHECK(memchr(r.record.data() + 400, 0, path2Len) == nullptr);
        // Path1 ends within its field.
        FUZZ_CHECK(memchr(r.record.data() + 140, 0, 260) != nullptr);

        HeapText record = Block(r.record.size(), 0);
        memcpy(record.get(), r.record.data(), r.record.size());
        static char scratch[kCallColumnCount][kRowScratchSize];
        const char* texts[kCallColumnCount];
        CallRowTexts(reinterpret_cast<const IfsCallRec*>(record.get()), texts, scratch);
        for (const char* text : texts)
            FUZZ_CHECK(strlen(text) < kRowScratchSize);
        break;
    }
    }
    return 0;
}
