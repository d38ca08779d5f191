// Reads the records of a call trace file for replay.
#include "simdriver/sim_state.h"

#include "trace/call_trace.h"

#include <cstdio>
#include <fstream>

bool SimLoadTrace(const char* path, std::vector<std::vector<uint8_t>>* records) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    records->clear();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (in.eof()) { // no line end: the trace was cut inside its last line
            if (line.find_first_not_of(" \t\r") != std::string::npos)
                std::fprintf(stderr, "simdriver: %s: line %d: cut: the trace ends inside it\n",
                             path, number);
            break;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        TraceLineResult r = ParseTraceLine(line, number);
        if (r.kind == TraceLineKind::Record)
            records->push_back(std::move(r.record));
        else if (r.kind == TraceLineKind::Error)
            std::fprintf(stderr, "simdriver: %s: %s\n", path, r.error.c_str());
    }
    return !records->empty();
}
