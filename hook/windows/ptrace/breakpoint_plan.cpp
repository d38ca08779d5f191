#include "hook/windows/ptrace/breakpoint_plan.h"

#include <sys/stat.h>

#include "hook/windows/elf_symbols.h"
#include "hook/windows/nt_event.h"

namespace {

struct Watched {
    const char* function;
    uint16_t call;
};

#define NT_WATCHED_ENTRY(name, call) {#name, call},
constexpr Watched kWatched[] = {NT_WATCHED_FUNCTIONS(NT_WATCHED_ENTRY)};
#undef NT_WATCHED_ENTRY

// A function's entry: its first instruction decoded, from the file.
bool PlanPoint(const WineLib& lib, const char* function, uint16_t call, int index,
               uint64_t fileOffset, PlannedBreakpoint* point, std::string* why) {
    point->function = function;
    point->call = call;
    point->index = index;
    point->fileOffset = fileOffset;
    const size_t n = ElfReadAt(lib.path, point->fileOffset, point->code, sizeof point->code);
    if (!DecodeEntryStep(point->code, n, !lib.wow, &point->step)) {
        *why = "the Windows view under ptrace cannot step over the first instruction of " +
               std::string(function) + " in " + lib.path + " (" + HexBytes(point->code, 8) +
               "): use the eBPF backend (as root)";
        return false;
    }
    return true;
}

} // namespace

bool PlanBreakpoints(const std::vector<WineLib>& libs, std::vector<LibPlan>* plans,
                     std::string* why) {
    plans->clear();
    for (const WineLib& lib : libs) {
        LibPlan plan{lib, 0, 0, {}};
        struct stat st;
        if (stat(lib.path.c_str(), &st) != 0) {
            *why = "cannot read " + lib.path;
            return false;
        }
        plan.dev = st.st_dev;
        plan.ino = st.st_ino;
        std::vector<const char*> names;
        for (const Watched& w : kWatched)
            names.push_back(w.function);
        names.push_back("NtCreateUserProcess");
        std::vector<uint64_t> offsets;
        if (!ElfFunctionOffsets(lib.path, names, &offsets, why)) {
            *why = "the Windows view needs every one of its functions: " + *why +
                   " (use another Wine: --wine-lib DIR)";
            return false;
        }
        for (size_t i = 0; i < names.size(); ++i) {
            const bool create = i == names.size() - 1;
            plan.points.emplace_back();
            if (!PlanPoint(lib, names[i], create ? kCreateProcessCall : kWatched[i].call,
                           create ? -1 : static_cast<int>(i), offsets[i], &plan.points.back(), why))
                return false;
        }
        plans->push_back(std::move(plan));
    }
    return true;
}
