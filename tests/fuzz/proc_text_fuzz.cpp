// The hook's /proc parsers over any text, as another user's process could
// shape it (its name, mount points, file names). The first byte chooses the
// parser; the text is a heap block of exactly its size, without terminator,
// so that the address sanitizer reports any read past it. Parsed numbers
// stay in range, names stay within the text.
#include "fuzz_bytes.h"
#include "hook/proc_text.h"

#include <string>

namespace {

bool HasEdgeBlank(const std::string& s) {
    return !s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t');
}

void CheckStat(const char* text, size_t n) {
    ProcStat stat;
    if (!ParseProcStat(text, n, &stat))
        return;
    FUZZ_CHECK(stat.pid > 0 && stat.ppid >= 0);
    FUZZ_CHECK(stat.comm.size() + 8 <= n);
    FUZZ_CHECK(stat.state != ' ' && stat.state != '\t' && stat.state != '\n');
    // What the kernel would print for it reads back the same.
    const std::string again = std::to_string(stat.pid) + " (" + stat.comm + ") " + stat.state +
                              " " + std::to_string(stat.ppid) + " 0";
    ProcStat back;
    FUZZ_CHECK(ParseProcStat(again.data(), again.size(), &back));
    FUZZ_CHECK(back.pid == stat.pid && back.comm == stat.comm && back.state == stat.state &&
               back.ppid == stat.ppid);
}

void CheckStatus(const char* text, size_t n, uint8_t choice) {
    static const char* const kKeys[] = {"Tgid", "SigCgt", "CapEff", "NSpid"};
    const char* key = kKeys[choice % 4];
    std::string value;
    if (ParseStatusField(text, n, key, &value))
        FUZZ_CHECK(value.size() < n && value.find('\n') == std::string::npos &&
                   !HasEdgeBlank(value));
    int32_t tgid = 0;
    if (ParseStatusTgid(text, n, &tgid))
        FUZZ_CHECK(tgid > 0);
    uint64_t mask = 0;
    if (ParseStatusMask(text, n, key, &mask))
        FUZZ_CHECK(ParseStatusField(text, n, key, &value) && !value.empty());
}

void CheckMounts(const char* text, size_t n) {
    size_t lines = 0;
    for (size_t i = 0; i < n; ++i)
        lines += text[i] == '\n' ? 1 : 0;
    const std::vector<MountLine> mounts = ParseMountInfo(text, n);
    FUZZ_CHECK(mounts.size() <= lines);
    for (const MountLine& m : mounts)
        FUZZ_CHECK(!m.point.empty() && !m.type.empty() && m.point.size() + m.type.size() < n);
}

void CheckLink(const char* text, size_t n, uint8_t capacity) {
    std::string name;
    if (ProcLinkName(text, static_cast<ssize_t>(n), capacity, &name))
        FUZZ_CHECK(n < capacity && name.size() == n && name[0] == '/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t which = data[0];
    const uint8_t choice = data[1];
    const size_t n = size - 2;
    HeapText block = Block(n, 0);
    if (n != 0)
        memcpy(block.get(), data + 2, n);
    const char* text = block.get();
    switch (which % 7) {
    case 0:
        CheckStat(text, n);
        break;
    case 1: {
        const std::string comm = ParseProcComm(text, n);
        FUZZ_CHECK(comm.size() == n || (comm.size() + 1 == n && text[n - 1] == '\n'));
        break;
    }
    case 2:
        CheckStatus(text, n, choice);
        break;
    case 3: {
        const FdInfo info = ParseFdInfo(text, n);
        FUZZ_CHECK(info.hasPos || info.pos == 0);
        FUZZ_CHECK(info.hasFlags || info.flags == 0);
        break;
    }
    case 4:
        for (const int32_t pid : ParseProcChildren(text, n))
            FUZZ_CHECK(pid > 0);
        break;
    case 5:
        CheckMounts(text, n);
        break;
    default:
        CheckLink(text, n, choice);
        break;
    }
    return 0;
}
