// Builds a call record's bytes from its fields.
#include "simdriver/sim_driver.h"

#include "event/ifs_call_rec.h"

#include <cstring>

namespace {

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = (uint8_t)(value >> (8 * i));
}

} // namespace

bool SimBuildRecord(const SimRec& rec, std::vector<uint8_t>* bytes) {
    if (rec.path1.size() >= (size_t)kPath1Size || rec.path2.size() > kSimRecordMax - 401)
        return false;
    std::vector<uint8_t>& b = *bytes;
    b.assign(offsetof(IfsCallRec, Path2) + rec.path2.size() + 1, 0);
    Put(b, offsetof(IfsCallRec, FsdEntry), rec.fsd, 4);
    Put(b, offsetof(IfsCallRec, Func), (uint32_t)rec.func, 4);
    Put(b, offsetof(IfsCallRec, Drive), (uint32_t)rec.drive, 4);
    Put(b, offsetof(IfsCallRec, ResType), rec.resType, 4);
    Put(b, offsetof(IfsCallRec, CodePage), rec.codePage, 4);
    Put(b, offsetof(IfsCallRec, Result), (uint32_t)rec.result, 4);
    Put(b, kOffLength, rec.length, 4);
    Put(b, kOffFlags, rec.flags, 1);
    Put(b, kOffSfn, rec.sfn, 2);
    Put(b, kOffData, rec.data, 4);
    Put(b, kOffOptions, rec.options, 2);
    Put(b, kOffFh, rec.fh, 4);
    Put(b, kOffPos, rec.pos, 4);
    Put(b, kOffAux2, rec.aux2, 4);
    std::memcpy(&b[offsetof(IfsCallRec, Path1)], rec.path1.data(), rec.path1.size());
    std::memcpy(&b[offsetof(IfsCallRec, Path2)], rec.path2.data(), rec.path2.size());
    return true;
}
