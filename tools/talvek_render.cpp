// talvek-render [--process] [TRACE]: prints the six list-column texts of every
// record of a call trace (the file named, or standard input), TAB-separated,
// one line per record. With --process two columns come first: the pid= and
// comm= of the line (empty when not given). A malformed line is reported on
// standard error and skipped.
// Exit status: 0 all lines good, 1 some line malformed, 2 file unreadable.
#include <cstdio>
#include <string>
#include <string_view>

#include "event/call_row_texts.h"
#include "trace/call_trace.h"

namespace {

// Reads the whole stream; false on a read error.
bool ReadAll(std::FILE* in, std::string* text) {
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) != 0)
        text->append(buffer, got);
    return std::ferror(in) == 0;
}

bool RenderTrace(const std::string& text, bool process) {
    static char scratch[kCallColumnCount][kRowScratchSize];
    bool allGood = true;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const TraceLineResult r =
            ParseTraceLine(std::string_view(text).substr(start, end - start), ++number);
        start = end;
        if (r.kind == TraceLineKind::Skip)
            continue;
        if (r.kind == TraceLineKind::Error) {
            std::fprintf(stderr, "talvek-render: %s\n", r.error.c_str());
            allGood = false;
            continue;
        }
        const char* texts[kCallColumnCount];
        CallRowTexts(reinterpret_cast<const IfsCallRec*>(r.record.data()), texts, scratch);
        if (process) {
            if (r.hasPid)
                std::printf("%u", r.pid);
            std::printf("\t%s\t", r.comm.c_str());
        }
        for (int column = 0; column < kCallColumnCount; ++column) {
            std::fputs(texts[column], stdout);
            std::fputc(column + 1 < kCallColumnCount ? '\t' : '\n', stdout);
        }
    }
    return allGood;
}

} // namespace

int main(int argc, char** argv) {
    const bool process = argc > 1 && std::string_view(argv[1]) == "--process";
    if (process) {
        --argc;
        ++argv;
    }
    if (argc > 2) {
        std::fprintf(stderr, "usage: talvek-render [--process] [TRACE]\n");
        return 2;
    }
    std::string text;
    if (argc == 2) {
        std::FILE* file = std::fopen(argv[1], "rb");
        const bool read = file != nullptr && ReadAll(file, &text);
        if (file != nullptr)
            std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "talvek-render: cannot read %s\n", argv[1]);
            return 2;
        }
    } else if (!ReadAll(stdin, &text)) {
        std::fprintf(stderr, "talvek-render: cannot read standard input\n");
        return 2;
    }
    const bool allGood = RenderTrace(text, process);
    std::fflush(stdout);
    return allGood ? 0 : 1;
}
