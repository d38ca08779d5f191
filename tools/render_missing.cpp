#include "tools/render_missing.h"

#include "event/call_row_texts.h"
#include "tools/render_text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

namespace {

constexpr LookupClass kClasses[] = {LookupClass::NeverFound, LookupClass::FoundElsewhere,
                                    LookupClass::MadeLater};

const char* ClassWord(LookupClass what) {
    switch (what) {
    case LookupClass::NeverFound:
        return "never-found";
    case LookupClass::FoundElsewhere:
        return "found-elsewhere";
    default:
        return "made-later";
    }
}

// The list's text of a function or a result (the monitor's own words).
std::string ColumnText(int column, int32_t func, int32_t result) {
    std::vector<uint8_t> bytes(kIfsCallRecMax, 0);
    IfsCallRec* rec = reinterpret_cast<IfsCallRec*>(bytes.data());
    rec->Func = func;
    rec->Result = result;
    static char scratch[kRowScratchSize];
    return CallColumnText(rec, column, scratch);
}

// The names of one class of one program that show as one: the same file
// name (looked for in several folders), found as the same name.
struct Item {
    std::vector<const LookupName*> names; // in order of their first failure
    uint32_t count = 0;
};

struct Program {
    uint32_t pid;
    std::string comm;
    std::vector<Item> items[3]; // by class, in order of first failure
};

std::vector<Program> ByProgram(const std::vector<LookupName>& names) {
    std::vector<Program> programs;
    std::map<std::pair<uint32_t, std::string>, size_t> programOf;
    std::map<std::string, size_t> itemOf; // program, class, file name, found as
    for (const LookupName& n : names) {
        const auto [p, newProgram] =
            programOf.try_emplace(std::make_pair(n.pid, n.comm), programs.size());
        if (newProgram)
            programs.push_back(Program{n.pid, n.comm, {}});
        Program& program = programs[p->second];
        const int what = static_cast<int>(n.what);
        std::string key = std::to_string(p->second) + '\0' + std::to_string(what) + '\0' +
                          n.fileKey + '\0' + LookupKey(n.found, false);
        const auto [i, newItem] = itemOf.try_emplace(std::move(key), program.items[what].size());
        if (newItem)
            program.items[what].emplace_back();
        Item& item = program.items[what][i->second];
        item.names.push_back(&n);
        item.count += n.count;
    }
    return programs;
}

std::string Folder(const LookupName& n) {
    return TerminalName(std::string_view(n.name).substr(0, n.fileStart));
}

// The name an item shows: the whole name, or the file name alone when it was
// looked for in several folders.
std::string ItemName(const Item& item) {
    const LookupName& first = *item.names.front();
    if (item.names.size() == 1)
        return TerminalName(first.name);
    return TerminalName(std::string_view(first.name).substr(first.fileStart));
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

struct Widths {
    size_t count = 1, func = 1, result = 1;
};

Widths Measure(const std::vector<Program>& programs, bool all) {
    Widths w;
    for (const Program& p : programs) {
        for (const LookupClass what : kClasses) {
            if (what != LookupClass::NeverFound && !all)
                continue;
            for (const Item& item : p.items[static_cast<int>(what)]) {
                const LookupName& n = *item.names.front();
                w.count = std::max(w.count, std::to_string(item.count).size());
                w.func = std::max(w.func, ColumnText(kColFunction, n.func, n.result).size());
                w.result = std::max(w.result, ColumnText(kColResult, n.func, n.result).size());
            }
        }
    }
    return w;
}

void PrintItem(std::FILE* out, const Item& item, LookupClass what, const Widths& w) {
    const LookupName& n = *item.names.front();
    const std::string func = ColumnText(kColFunction, n.func, n.result);
    const std::string result = ColumnText(kColResult, n.func, n.result);
    std::fprintf(out, "    %*u  %-*s  %-*s  %s%s\n", static_cast<int>(w.count), item.count,
                 static_cast<int>(w.func), func.c_str(), static_cast<int>(w.result), result.c_str(),
                 ItemName(item).c_str(), item.names.size() > 1 ? ", looked for in:" : "");
    const int indent = static_cast<int>(4 + w.count + 2 + w.func + 2 + w.result + 2);
    if (item.names.size() > 1) {
        for (const LookupName* folder : item.names)
            std::fprintf(out, "%*s  %s\n", indent, "", Folder(*folder).c_str());
    }
    if (what == LookupClass::NeverFound)
        return;
    const LookupName& last = *item.names.back();
    const std::string later = ColumnText(kColFunction, last.foundFunc, 0);
    if (what == LookupClass::MadeLater)
        std::fprintf(out, "%*sthen %s Ok\n", indent, "", later.c_str());
    else
        std::fprintf(out, "%*sthen %s Ok: %s\n", indent, "", later.c_str(),
                     TerminalName(last.found).c_str());
}

void PrintText(std::FILE* out, const std::vector<Program>& programs, bool all) {
    if (programs.empty()) {
        std::fputs("no look-up failed for want of its name\n", out);
        return;
    }
    const Widths w = Measure(programs, all);
    static const char* const kHeads[] = {"never found", "found elsewhere", "made later"};
    for (const Program& p : programs) {
        std::fprintf(out, "%s (pid %u)\n", TerminalName(p.comm).c_str(), p.pid);
        for (const LookupClass what : kClasses) {
            const std::vector<Item>& items = p.items[static_cast<int>(what)];
            if (items.empty() || (what != LookupClass::NeverFound && !all))
                continue;
            std::fprintf(out, "  %s:\n", kHeads[static_cast<int>(what)]);
            for (const Item& item : items)
                PrintItem(out, item, what, w);
        }
        const size_t elsewhere = p.items[1].size();
        const size_t later = p.items[2].size();
        if (!all && elsewhere + later > 0)
            std::fprintf(out, "  %s found elsewhere, %s made later (--all lists them)\n",
                         Plural(elsewhere, "name", "names").c_str(),
                         Plural(later, "name", "names").c_str());
    }
}

void PrintTsv(std::FILE* out, const std::vector<Program>& programs) {
    std::fputs("pid\tprocess\tclass\tcount\tfunction\tresult\tname\tfound\tfound_function\tline\n",
               out);
    for (const Program& p : programs) {
        for (const LookupClass what : kClasses) {
            for (const Item& item : p.items[static_cast<int>(what)]) {
                for (const LookupName* n : item.names) {
                    std::fprintf(out, "%u\t%s\t%s\t%u\t%s\t%s\t%s\t%s\t%s\t%llu\n", n->pid,
                                 TerminalName(n->comm).c_str(), ClassWord(what), n->count,
                                 ColumnText(kColFunction, n->func, n->result).c_str(),
                                 ColumnText(kColResult, n->func, n->result).c_str(),
                                 TerminalName(n->name).c_str(), TerminalName(n->found).c_str(),
                                 what == LookupClass::NeverFound
                                     ? ""
                                     : ColumnText(kColFunction, n->foundFunc, 0).c_str(),
                                 static_cast<unsigned long long>(n->line));
                }
            }
        }
    }
}

// A path as a shell reads it back: quoted when it holds more than plain
// characters.
std::string ShellWord(const std::string& path) {
    const bool plain = !path.empty() &&
                       path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789/._-+,:=@%") == std::string::npos;
    if (plain)
        return path;
    std::string word = "'";
    for (const char c : EscapeControls(path))
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// The end of a run: at most limit never-found names, one a line, then how
// many more and the command that lists them all.
void PrintEndOfRun(std::FILE* out, const std::vector<Program>& programs, const MissingOptions& o) {
    size_t never = 0, elsewhere = 0, later = 0;
    for (const Program& p : programs) {
        never += p.items[0].size();
        elsewhere += p.items[1].size();
        later += p.items[2].size();
    }
    const std::string trace = o.trace.empty() ? "" : " " + ShellWord(o.trace);
    std::fprintf(out, "never found: %s (%s found elsewhere, %s made later)\n",
                 never == 0 ? "no name" : Plural(never, "name", "names").c_str(),
                 std::to_string(elsewhere).c_str(), std::to_string(later).c_str());
    size_t shown = 0;
    for (const Program& p : programs) {
        for (const Item& item : p.items[0]) {
            if (shown == static_cast<size_t>(o.limit))
                break;
            ++shown;
            const LookupName& n = *item.names.front();
            std::fprintf(out, "  %s (pid %u): %s %s %s", TerminalName(p.comm).c_str(), p.pid,
                         ColumnText(kColFunction, n.func, n.result).c_str(),
                         ColumnText(kColResult, n.func, n.result).c_str(), ItemName(item).c_str());
            if (item.names.size() > 1)
                std::fprintf(out, " (in %zu folders)", item.names.size());
            std::fputc('\n', out);
        }
    }
    if (shown < never)
        std::fprintf(out, "  and %zu more: talvek-render --missing%s\n", never - shown,
                     trace.c_str());
    else if (elsewhere + later > 0)
        std::fprintf(out, "  found elsewhere or made later: talvek-render --missing --all%s\n",
                     trace.c_str());
}

} // namespace

void PrintMissing(std::FILE* out, const std::vector<LookupName>& names, uint64_t successes,
                  const MissingOptions& options) {
    const std::vector<Program> programs = ByProgram(names);
    if (options.tsv) {
        PrintTsv(out, programs);
        return;
    }
    if (options.limit >= 0)
        PrintEndOfRun(out, programs, options);
    else
        PrintText(out, programs, options.all);
    if (successes == 0 && !names.empty())
        std::fputs("(the trace holds failed calls only, as the monitor's filter let them "
                   "through: a name found elsewhere or made later cannot be told)\n",
                   out);
}
