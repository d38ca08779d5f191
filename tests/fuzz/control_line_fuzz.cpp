// The control lines that the monitor (an unprivileged program) writes and the
// hook (maybe root) reads: any bytes. A line that parses writes back as a
// line that parses to the same state; one that does not leaves the state as
// it was. The same bytes, arriving in pieces through the control file's
// reader, apply as their whole lines would, one by one; a line longer than
// the bound is counted and never held.
#include "fuzz_bytes.h"
#include "hook/filter_control.h"
#include "trace/ifs_filter.h"

#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace {

// The state and count the reader should reach on `text`.
void Expected(std::string_view text, IfsFilter* f, long long* longLines) {
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        if (line.size() > kControlLineMax)
            ++*longLines;
        else if (newline != std::string_view::npos)
            IfsFilterParseLine(line, f, nullptr);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    }
}

void CheckReader(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("talvek-control-fuzz", 0);
    static FILE* const quiet = fopen("/dev/null", "w");
    if (fd < 0 || quiet == nullptr || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
        return;
    FilterControl c;
    c.fd = fd;
    IfsFilter f;
    std::string written;
    FILE* const messages = stderr; // the skipped lines' reports, not the sanitizers'
    stderr = quiet;
    ForEachRecord(data, size, 64, [&](const uint8_t* piece, size_t n) {
        // Written at the end, read from where the reader is.
        if (pwrite(fd, piece, n, static_cast<off_t>(written.size())) != static_cast<ssize_t>(n))
            return;
        written.append(reinterpret_cast<const char*>(piece), n);
        FilterControlPoll(&c, &f);
        FUZZ_CHECK(c.partial.size() <= kControlLineMax);
    });
    stderr = messages;
    IfsFilter expected;
    long long longLines = 0;
    Expected(written, &expected, &longLines);
    FUZZ_CHECK(c.longLines == longLines);
    FUZZ_CHECK(IfsFilterLine(f) == IfsFilterLine(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    IfsFilter f;
    const std::string before = IfsFilterLine(f);
    std::string error;
    if (!IfsFilterParseLine(line, &f, &error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(IfsFilterLine(f) == before);
    } else {
        const std::string written = IfsFilterLine(f);
        IfsFilter again;
        FUZZ_CHECK(IfsFilterParseLine(written, &again, &error));
        FUZZ_CHECK(IfsFilterLine(again) == written);
    }
    CheckReader(data, size);
    return 0;
}
