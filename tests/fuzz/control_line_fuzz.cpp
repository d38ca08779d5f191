// The control lines that the monitor (an unprivileged program) writes and the
// hook (maybe root) reads: any bytes. A line that parses writes back as a
// line that parses to the same state; one that does not leaves the state as
// it was.
#include "fuzz_bytes.h"
#include "trace/ifs_filter.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    IfsFilter f;
    const std::string before = IfsFilterLine(f);
    std::string error;
    if (!IfsFilterParseLine(line, &f, &error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(IfsFilterLine(f) == before);
        return 0;
    }
    const std::string written = IfsFilterLine(f);
    IfsFilter again;
    FUZZ_CHECK(IfsFilterParseLine(written, &again, &error));
    FUZZ_CHECK(IfsFilterLine(again) == written);
    return 0;
}
