#include "trace/trace_lookups.h"

#include "event/ifs_call_rec.h"
#include "event/ifs_vocab.h"

#include <cstring>

namespace {

constexpr int32_t kFileNotFound = 2;
constexpr int32_t kPathNotFound = 3;
constexpr int32_t kInvalidDrive = 15;
constexpr int32_t kNoMoreFiles = 18;

// A code page 949 first byte: the byte after it is the character's second.
bool IsLeadByte(uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}

} // namespace

size_t LookupFileStart(std::string_view name) {
    size_t end = name.size();
    while (end > 1 && name[end - 1] == '\\')
        --end;
    const size_t slash = name.substr(0, end).rfind('\\');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Appends name as the view compares it.
void AppendLookupKey(std::string* out, std::string_view name, bool caseless) {
    const size_t from = out->size();
    out->append(name);
    if (!caseless)
        return;
    for (size_t i = from; i < out->size(); ++i) {
        const uint8_t b = static_cast<uint8_t>((*out)[i]);
        if (IsLeadByte(b))
            ++i; // its second byte may look like a letter
        else if (b >= 'a' && b <= 'z')
            (*out)[i] = static_cast<char>(b - 'a' + 'A');
    }
}

std::string LookupKey(std::string_view name, bool caseless) {
    std::string key;
    AppendLookupKey(&key, name, caseless);
    return key;
}

bool IsFailedLookup(int32_t func, int32_t result) {
    const bool lookup = func == IFSFN_OPEN || func == IFSFN_FINDOPEN || func == IFSFN_SEARCH ||
                        func == IFSFN_FILEATTRIB || func == IFSFN_RENAME;
    return lookup && (result == kFileNotFound || result == kPathNotFound ||
                      result == kInvalidDrive || result == kNoMoreFiles);
}

void LookupAnalysis::Add(const TraceLineResult& line, uint64_t lineNumber) {
    const IfsCallRec* rec = reinterpret_cast<const IfsCallRec*>(line.record.data());
    if (rec->Path1[0] == '\0')
        return;
    if (rec->Result == 0) {
        ++successes_;
        Succeeded(rec->Path1, rec->Func);
        if (rec->Func == IFSFN_RENAME && rec->Path2[0] != '\0')
            Succeeded(rec->Path2, rec->Func); // the destination made
    } else if (IsFailedLookup(rec->Func, rec->Result)) {
        Failed(line.pid, line.comm, rec->Path1, rec->Func, rec->Result, lineNumber);
    }
}

void LookupAnalysis::Failed(uint32_t pid, const std::string& comm, const char* name, int32_t func,
                            int32_t result, uint64_t lineNumber) {
    // The process and the name as compared, built where no allocation is
    // needed for a name failing again.
    scratch_.assign(reinterpret_cast<const char*>(&pid), sizeof pid);
    scratch_ += comm;
    scratch_ += '\0';
    const size_t keyAt = scratch_.size();
    AppendLookupKey(&scratch_, name, caseless_);
    const auto known = byName_.find(scratch_);
    if (known != byName_.end()) {
        ++names_[known->second].count; // once in its class, however often
        return;
    }
    byName_.emplace(scratch_, names_.size());
    LookupName n;
    n.pid = pid;
    n.comm = comm;
    n.name = name;
    n.count = 1;
    n.func = func;
    n.result = result;
    n.line = lineNumber;
    n.key = scratch_.substr(keyAt);
    n.fileStart = LookupFileStart(n.name);
    n.fileKey = n.key.substr(n.fileStart);
    open_[n.fileKey].push_back(names_.size());
    names_.push_back(std::move(n));
}

void LookupAnalysis::Succeeded(const char* name, int32_t func) {
    if (open_.empty())
        return;
    scratch_.clear();
    AppendLookupKey(&scratch_, name, caseless_);
    const size_t fileStart = LookupFileStart(scratch_);
    fileScratch_.assign(scratch_, fileStart);
    const auto waiting = open_.find(fileScratch_);
    if (waiting == open_.end())
        return;
    for (const size_t i : waiting->second) {
        LookupName& n = names_[i];
        n.what = n.key == scratch_ ? LookupClass::MadeLater : LookupClass::FoundElsewhere;
        n.found = name;
        n.foundFunc = func;
    }
    open_.erase(waiting);
}
