#include "trace/ifs_call.h"

#include "event/ifs_call_rec.h"

#include <algorithm>
#include <type_traits>

namespace {

constexpr size_t kReqStart = offsetof(IfsCallRec, Req);
constexpr size_t kReqEnd = kReqStart + kIfsReqSize;

// The request-block fields at the offsets the program reads them from:
// within the block, in order, none over another.
constexpr bool InReq(size_t offset, size_t width) {
    return offset >= kReqStart && offset + width <= kReqEnd;
}
static_assert(InReq(kOffLength, sizeof(IfsCall::length)));
static_assert(kOffLength + sizeof(IfsCall::length) <= kOffFlags);
static_assert(InReq(kOffFlags, sizeof(IfsCall::flags)));
static_assert(kOffFlags + sizeof(IfsCall::flags) <= kOffSfn);
static_assert(InReq(kOffSfn, sizeof(IfsCall::sfn)));
static_assert(kOffSfn + sizeof(IfsCall::sfn) <= kOffData);
static_assert(InReq(kOffData, sizeof(IfsCall::data)));
static_assert(kOffData + sizeof(IfsCall::data) <= kOffOptions);
static_assert(InReq(kOffOptions, sizeof(IfsCall::options)));
static_assert(kOffOptions + sizeof(IfsCall::options) <= kOffFh);
static_assert(InReq(kOffFh, sizeof(IfsCall::fh)));
static_assert(kOffFh + sizeof(IfsCall::fh) <= kOffPos);
static_assert(InReq(kOffPos, sizeof(IfsCall::pos)));
static_assert(kOffPos + sizeof(IfsCall::pos) <= kOffAux2);
static_assert(InReq(kOffAux2, sizeof(IfsCall::aux2)));
// The bytes the program reads on their own lie within their fields.
static_assert(kOffDirFlags == kOffLength + sizeof(IfsCall::length) - 1);
static_assert(kOffRwOptions == kOffOptions + sizeof(IfsCall::options) - 1);
// The block runs up to Result; Path1 holds its longest name and the NUL.
static_assert(kReqEnd == offsetof(IfsCallRec, Result));
static_assert(kIfsCallPath1Max + 1 == sizeof(IfsCallRec::Path1));
static_assert(kIfsCallRecMax == offsetof(IfsCallRec, Path2) + kIfsCallPath2Max + 1);

// Calls visit(offset, field) for each named request-block field of call.
template <class Call, class Visit> void ForEachReqField(Call& call, Visit visit) {
    visit(kOffLength, call.length);
    visit(kOffFlags, call.flags);
    visit(kOffSfn, call.sfn);
    visit(kOffData, call.data);
    visit(kOffOptions, call.options);
    visit(kOffFh, call.fh);
    visit(kOffPos, call.pos);
    visit(kOffAux2, call.aux2);
}

// Little-endian, as many bytes as the value has.
template <class T> void Put(uint8_t* bytes, size_t offset, T value) {
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

} // namespace

bool BuildIfsCallRec(const IfsCall& c, std::vector<uint8_t>* bytes) {
    if (c.path1.size() > kIfsCallPath1Max || c.path2.size() > kIfsCallPath2Max ||
        (!c.req.empty() && c.req.size() != kIfsReqSize))
        return false;
    bytes->assign(offsetof(IfsCallRec, Path2) + c.path2.size() + 1, 0);
    uint8_t* b = bytes->data();
    Put(b, offsetof(IfsCallRec, FsdEntry), c.fsd);
    Put(b, offsetof(IfsCallRec, Func), c.func);
    Put(b, offsetof(IfsCallRec, Drive), c.drive);
    Put(b, offsetof(IfsCallRec, ResType), c.resType);
    Put(b, offsetof(IfsCallRec, CodePage), c.codePage);
    std::copy(c.req.begin(), c.req.end(), b + kReqStart);
    ForEachReqField(c, [b](size_t offset, auto value) { Put(b, offset, value); });
    Put(b, offsetof(IfsCallRec, Result), c.result);
    std::copy(c.path1.begin(), c.path1.end(), b + offsetof(IfsCallRec, Path1));
    std::copy(c.path2.begin(), c.path2.end(), b + offsetof(IfsCallRec, Path2));
    return true;
}

void SetIfsCallReq(IfsCall* call, const std::string& block) {
    call->req = block;
    if (block.size() != kIfsReqSize)
        return;
    ForEachReqField(*call, [&block](size_t offset, auto& field) {
        uint32_t value = 0;
        for (size_t i = 0; i < sizeof field; ++i)
            value |= uint32_t{static_cast<uint8_t>(block[offset - kReqStart + i])} << (8 * i);
        field = static_cast<std::remove_reference_t<decltype(field)>>(value);
    });
}
