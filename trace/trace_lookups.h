// Which names the processes of a call trace looked for and never found: the
// look-ups that failed for want of the name (OPEN, FINDOPEN, SEARCH and
// FILEATTRIB, and RENAME's source, with FileNotFound, PathNotFound,
// InvalidDrive or NoMoreFiles), each name of each process classified by what
// the rest of the trace did with it:
//   - never found: nothing later succeeded on that name, nor on the same file
//     name (the last component) in any other folder;
//   - found elsewhere: the same file name succeeded later in another folder
//     (a search path: the folders tried, then the one that had it);
//   - made later: the name itself succeeded later: opened (which made it, the
//     name being missing), made as a folder, a rename's destination, or found
//     by any other call (made by a process the trace does not show).
// The first success after a name's first failure decides; a name failing
// again after that counts once, in its class. The trace does not tell which
// process started which: the successes of every process of the trace count
// (one tree, as a watched command and what it starts), while the failed names
// are kept per process (pid and name). Names compare as the view's side does:
// the Windows view's DOS names without regard to the case of ASCII letters
// (code page 949's second bytes kept as they are), the system view's Linux
// names exactly. Memory grows with the distinct names failed, not the lines.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "trace/call_trace.h"

enum class LookupClass { NeverFound, FoundElsewhere, MadeLater };

// One name that one process looked for with a failure.
struct LookupName {
    uint32_t pid = 0;
    std::string comm;
    std::string name; // as first looked for (code page 949 bytes)
    LookupClass what = LookupClass::NeverFound;
    uint32_t count = 0;    // failed look-ups of it
    int32_t func = 0;      // the first failure's function
    int32_t result = 0;    // and result
    uint64_t line = 0;     // and line number
    std::string found;     // FoundElsewhere, MadeLater: the name that succeeded
    int32_t foundFunc = 0; // and its function
    size_t fileStart = 0;  // where the last component of name begins
    std::string key;       // name as names compare
    std::string fileKey;   // its last component, as names compare
};

// Where a name's last component begins (after the last backslash; a
// trailing backslash belongs to the component before it).
size_t LookupFileStart(std::string_view name);

// A name as the view compares it: caseless folds ASCII letters to upper
// case, leaving every code page 949 second byte as it is.
std::string LookupKey(std::string_view name, bool caseless);

// Whether a failed call is a look-up that did not find its name.
bool IsFailedLookup(int32_t func, int32_t result);

class LookupAnalysis {
  public:
    explicit LookupAnalysis(bool caseless) : caseless_(caseless) {}

    // One record line of the trace, in order.
    void Add(const TraceLineResult& line, uint64_t lineNumber);

    // Every name failed, in the order of their first failure.
    const std::vector<LookupName>& Names() const { return names_; }

    // Successful calls on a name: none in a trace of failures alone (the
    // monitor's filter), where nothing can be told found elsewhere or made.
    uint64_t Successes() const { return successes_; }

  private:
    void Failed(uint32_t pid, const std::string& comm, const char* name, int32_t func,
                int32_t result, uint64_t lineNumber);
    void Succeeded(const char* name, int32_t func);

    bool caseless_;
    uint64_t successes_ = 0;
    std::string scratch_, fileScratch_; // keys being looked up
    std::vector<LookupName> names_;
    // (pid, comm, name) as compared -> index in names_.
    std::unordered_map<std::string, size_t> byName_;
    // File name as compared -> the names still never found with it.
    std::unordered_map<std::string, std::vector<size_t>> open_;
};
