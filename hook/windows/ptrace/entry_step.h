// The first instruction of a watched Nt* function, over which the tracer
// puts its breakpoint: decoded once from the library, and done for the
// thread at each stop (the registers and the stack changed as the
// instruction would), so that the thread goes on past it and the breakpoint
// stays. Only the few short instructions that Wine's ntdll.so functions
// begin with are known; any other is refused before anything is patched.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/user.h>

#include <functional>
#include <string>

enum class StepKind : uint8_t {
    Nop,       // endbr64, endbr32, nop
    Push,      // push REG
    Lea,       // lea disp8(BASE), REG
    CallRel32, // call rel32
};

struct EntryStep {
    StepKind kind = StepKind::Nop;
    uint8_t length = 0;    // bytes of the instruction
    uint8_t reg = 0;       // Push: the register pushed; Lea: the one written (x86 numbers, 0-15)
    uint8_t base = 0;      // Lea: the base register
    bool wideDest = false; // Lea: REX.W, the whole 64-bit register written
    int32_t disp = 0;      // Lea: the displacement; CallRel32: the jump
};

// Decodes the instruction at code (n bytes) for a 64-bit (wide) or a 32-bit
// process; false when it is not one the tracer can do.
bool DecodeEntryStep(const uint8_t* code, size_t n, bool wide, EntryStep* step);

// Writes size bytes of value at address in the thread's memory; false on failure.
using StackWrite = std::function<bool(uint64_t address, uint64_t value, size_t size)>;

// Does the instruction at entry for a thread stopped there: regs changed,
// what it pushes written through write; the instruction pointer after it.
bool ApplyEntryStep(const EntryStep& step, uint64_t entry, bool wide, user_regs_struct* regs,
                    const StackWrite& write);

// "55 48 89 e5" for a refusal's line.
std::string HexBytes(const uint8_t* code, size_t n);
