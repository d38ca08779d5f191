#include "hook/windows/ptrace/entry_step.h"

#include <cstdio>

namespace {

// The register of x86 number n (0 rax, 1 rcx, ... 4 rsp, 5 rbp, ... 15 r15).
unsigned long long* Register(user_regs_struct* r, uint8_t n) {
    unsigned long long* const table[16] = {&r->rax, &r->rcx, &r->rdx, &r->rbx, &r->rsp, &r->rbp,
                                           &r->rsi, &r->rdi, &r->r8,  &r->r9,  &r->r10, &r->r11,
                                           &r->r12, &r->r13, &r->r14, &r->r15};
    return table[n & 15];
}

bool DecodeLea(const uint8_t* code, size_t n, uint8_t rex, EntryStep* step) {
    // 8d modrm [sib] disp8: mod 01 only, a SIB without index.
    const size_t at = rex != 0 ? 1 : 0;
    if (n < at + 3 || code[at] != 0x8d)
        return false;
    const uint8_t modrm = code[at + 1];
    if ((modrm >> 6) != 1)
        return false;
    uint8_t base = modrm & 7;
    size_t dispAt = at + 2;
    if (base == 4) { // SIB
        const uint8_t sib = code[at + 2];
        if (((sib >> 3) & 7) != 4) // an index register
            return false;
        base = sib & 7;
        dispAt = at + 3;
    }
    if (n < dispAt + 1)
        return false;
    step->kind = StepKind::Lea;
    step->reg = static_cast<uint8_t>(((modrm >> 3) & 7) | ((rex & 4) ? 8 : 0));
    step->base = static_cast<uint8_t>(base | ((rex & 1) ? 8 : 0));
    step->wideDest = (rex & 8) != 0;
    step->disp = static_cast<int8_t>(code[dispAt]);
    step->length = static_cast<uint8_t>(dispAt + 1);
    return true;
}

} // namespace

bool DecodeEntryStep(const uint8_t* code, size_t n, bool wide, EntryStep* step) {
    *step = EntryStep{};
    if (n >= 4 && code[0] == 0xf3 && code[1] == 0x0f && code[2] == 0x1e &&
        (code[3] == 0xfa || code[3] == 0xfb)) {
        step->length = 4; // endbr64, endbr32
        return true;
    }
    if (n >= 1 && code[0] == 0x90) {
        step->length = 1;
        return true;
    }
    // A REX prefix (64-bit processes only).
    const uint8_t rex = wide && n >= 1 && (code[0] & 0xf0) == 0x40 ? code[0] : 0;
    const size_t at = rex != 0 ? 1 : 0;
    const bool plainRex = rex == 0 || rex == 0x41; // 41: r8 to r15
    if (n > at && plainRex && code[at] >= 0x50 && code[at] <= 0x57) {
        step->kind = StepKind::Push;
        step->reg = static_cast<uint8_t>((code[at] - 0x50) | (rex != 0 ? 8 : 0));
        step->length = static_cast<uint8_t>(at + 1);
        return true;
    }
    if (DecodeLea(code, n, rex, step))
        return true;
    if (rex == 0 && n >= 5 && code[0] == 0xe8) {
        step->kind = StepKind::CallRel32;
        step->disp = static_cast<int32_t>(static_cast<uint32_t>(code[1]) | code[2] << 8 |
                                          code[3] << 16 | static_cast<uint32_t>(code[4]) << 24);
        step->length = 5;
        return true;
    }
    *step = EntryStep{};
    return false;
}

bool ApplyEntryStep(const EntryStep& step, uint64_t entry, bool wide, user_regs_struct* regs,
                    const StackWrite& write) {
    const uint64_t mask = wide ? ~0ull : 0xFFFFFFFFull;
    const size_t slot = wide ? 8 : 4;
    const uint64_t next = (entry + step.length) & mask;
    const auto push = [&](uint64_t value) {
        const uint64_t sp = (regs->rsp - slot) & mask;
        if (!write(sp, value & mask, slot))
            return false;
        regs->rsp = sp;
        return true;
    };
    switch (step.kind) {
    case StepKind::Nop:
        break;
    case StepKind::Push:
        if (!push(*Register(regs, step.reg)))
            return false;
        break;
    case StepKind::Lea: {
        const uint64_t value = *Register(regs, step.base) + static_cast<int64_t>(step.disp);
        *Register(regs, step.reg) = step.wideDest ? value : value & 0xFFFFFFFFull;
        break;
    }
    case StepKind::CallRel32:
        if (!push(next))
            return false;
        regs->rip = (next + static_cast<int64_t>(step.disp)) & mask;
        return true;
    }
    regs->rip = next;
    return true;
}

std::string HexBytes(const uint8_t* code, size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", code[i]);
        text += byte;
    }
    return text;
}
