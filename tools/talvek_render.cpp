// talvek-render [--process] [TRACE]: prints the six list-column texts of every
// record of a call trace (the file named, or standard input), TAB-separated,
// one line per record. With --process two columns come first: the pid= and
// comm= of the line (empty when not given). A malformed line is reported on
// standard error and skipped; so is a last line without its line end (cut,
// as a full disk leaves it). Control bytes of names and process names print
// as %HH, so that every record is one row of six (or eight) columns.
//
// talvek-render --missing [--all] [--tsv | --limit N] [--view windows|system]
// [TRACE]: the names the trace's processes looked for and did not find
// (trace/trace_lookups.h, tools/render_missing.h).
//
// Exit status: 0 all lines good, 1 some line malformed or cut, 2 file
// unreadable or a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "event/call_row_texts.h"
#include "tools/render_missing.h"
#include "tools/render_text.h"
#include "trace/call_trace.h"
#include "trace/trace_lookups.h"

namespace {

constexpr char kUsage[] =
    "usage: talvek-render [--process] [TRACE]\n"
    "       talvek-render --missing [--all] [--tsv | --limit N] [--view windows|system] [TRACE]\n";

struct Options {
    bool process = false;
    bool missing = false;
    MissingOptions shown;
    std::optional<bool> caseless; // --view; else the trace's # view= line
    const char* trace = nullptr;
};

[[noreturn]] void Usage(const std::string& why) {
    std::fprintf(stderr, "talvek-render: %s\n%s", EscapeControls(why).c_str(), kUsage);
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 == argc)
                Usage(std::string(a) + " needs a value");
            return argv[++i];
        };
        if (a == "--process") {
            o.process = true;
        } else if (a == "--missing") {
            o.missing = true;
        } else if (a == "--all") {
            o.shown.all = true;
        } else if (a == "--tsv") {
            o.shown.tsv = true;
        } else if (a == "--limit") {
            const std::string n(value());
            char* end = nullptr;
            o.shown.limit = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || o.shown.limit < 0 || n[0] == '-' || n[0] == '+')
                Usage("--limit needs a count, got \"" + n + "\"");
        } else if (a == "--view") {
            const std::string_view v = value();
            if (v != "windows" && v != "system")
                Usage("--view needs windows or system, got \"" + std::string(v) + "\"");
            o.caseless = v == "windows";
        } else if (a.size() > 1 && a[0] == '-') {
            Usage("unknown option " + std::string(a));
        } else if (o.trace != nullptr) {
            Usage("one trace at most");
        } else {
            o.trace = argv[i];
        }
    }
    if (!o.missing && (o.shown.all || o.shown.tsv || o.shown.limit >= 0 || o.caseless))
        Usage("--all, --tsv, --limit and --view go with --missing");
    if (o.missing && o.process)
        Usage("--process does not go with --missing");
    if (o.shown.tsv && o.shown.limit >= 0)
        Usage("--tsv and --limit do not go together");
    if (o.trace != nullptr && std::string_view(o.trace) != "-")
        o.shown.trace = o.trace;
    return o;
}

// The view whose names a "# view=" line says the trace holds: true for the
// Windows view's (caseless), false for the system view's.
std::optional<bool> ViewLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line == "# view=windows")
        return true;
    if (line == "# view=system")
        return false;
    return std::nullopt;
}

void PrintRow(const TraceLineResult& r, bool process) {
    static char scratch[kCallColumnCount][kRowScratchSize];
    const char* texts[kCallColumnCount];
    CallRowTexts(reinterpret_cast<const IfsCallRec*>(r.record.data()), texts, scratch);
    std::string row;
    if (process) {
        if (r.hasPid)
            row += std::to_string(r.pid);
        row += '\t' + EscapeControls(r.comm) + '\t';
    }
    for (int column = 0; column < kCallColumnCount; ++column) {
        row += EscapeControls(texts[column]);
        row += column + 1 < kCallColumnCount ? '\t' : '\n';
    }
    std::fputs(row.c_str(), stdout);
}

// Reads the trace line by line: its rows, or its look-ups into lookups.
// False when some line was malformed or the last one cut.
bool ReadTrace(std::FILE* in, const Options& o, std::unique_ptr<LookupAnalysis>* lookups,
               bool* readError) {
    bool allGood = true;
    std::optional<bool> caseless = o.caseless;
    char* buffer = nullptr;
    size_t room = 0;
    int number = 0;
    ssize_t got;
    while ((got = getline(&buffer, &room, in)) > 0) {
        const std::string_view line(buffer, static_cast<size_t>(got));
        ++number;
        if (line.back() != '\n') {
            if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
                std::fprintf(stderr, "talvek-render: line %d: cut: the trace ends inside it\n",
                             number);
                allGood = false;
            }
            break;
        }
        const TraceLineResult r = ParseTraceLine(line, number);
        if (r.kind == TraceLineKind::Skip) {
            if (!caseless)
                caseless = ViewLine(line);
            continue;
        }
        if (r.kind == TraceLineKind::Error) {
            std::fprintf(stderr, "talvek-render: %s\n", EscapeControls(r.error).c_str());
            allGood = false;
            continue;
        }
        if (!o.missing) {
            PrintRow(r, o.process);
            continue;
        }
        if (*lookups == nullptr) // DOS names compare caselessly unless the trace says otherwise
            *lookups = std::make_unique<LookupAnalysis>(caseless.value_or(true));
        (*lookups)->Add(r, static_cast<uint64_t>(number));
    }
    std::free(buffer);
    *readError = std::ferror(in) != 0;
    return allGood;
}

} // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    const bool fromFile = o.trace != nullptr && std::string_view(o.trace) != "-";
    std::FILE* in = fromFile ? std::fopen(o.trace, "rb") : stdin;
    const std::string what = fromFile ? EscapeControls(o.trace) : std::string("standard input");
    if (in == nullptr) {
        std::fprintf(stderr, "talvek-render: cannot read %s\n", what.c_str());
        return 2;
    }
    TerminalSetUp();
    std::unique_ptr<LookupAnalysis> lookups;
    bool readError = false;
    const bool allGood = ReadTrace(in, o, &lookups, &readError);
    if (fromFile)
        std::fclose(in);
    if (readError) {
        std::fprintf(stderr, "talvek-render: cannot read %s\n", what.c_str());
        return 2;
    }
    if (o.missing) {
        static const std::vector<LookupName> kNone;
        PrintMissing(stdout, lookups != nullptr ? lookups->Names() : kNone,
                     lookups != nullptr ? lookups->Successes() : 0, o.shown);
    }
    std::fflush(stdout);
    return allGood ? 0 : 1;
}
