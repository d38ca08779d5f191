// The stand-in driver's record pool: filtering, delivery as user-mode APCs
// and hand-back. Records live in static storage so that their addresses fit
// the contract's 32-bit values also in a 64-bit image based low.
#include "simdriver/sim_state.h"

#include "event/ifs_call_rec.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One spare byte keeps a NUL after the largest record's Path2.
constexpr size_t kSlotBytes = (kSimRecordMax + 1 + 7) / 8 * 8;

alignas(8) uint8_t gSlots[kSimPoolSlots][kSlotBytes];
bool gSlotOut[kSimPoolSlots];
int gNextSlot; // slots are taken in turn, so a freed record is not reused at once

DWORD SlotAddress(int slot) {
    const ULONG_PTR address = (ULONG_PTR)gSlots[slot];
    if (address > 0xFFFFFFFFu) {
        std::fprintf(stderr, "simdriver: record pool above 4 GB; link the image based low\n");
        std::abort();
    }
    return (DWORD)address;
}

int32_t ReadI32(const void* bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(bytes) + offset, sizeof v);
    return v;
}

} // namespace

bool SimPassesFiltersLocked(const SimState& s, const void* bytes) {
    const int32_t func = ReadI32(bytes, offsetof(IfsCallRec, Func));
    const int32_t result = ReadI32(bytes, offsetof(IfsCallRec, Result));
    return IfsFilterPasses(s.filter, func, result);
}

SimInjectResult SimDeliverLocked(SimState& s, const void* bytes, size_t size) {
    if (size > kSimRecordMax || size < offsetof(IfsCallRec, Path2))
        return SimInjectResult::BadSize;
    if (s.device == INVALID_HANDLE_VALUE || s.routine == nullptr || !s.filter.monitoring)
        return SimInjectResult::NotListening;
    if (!SimPassesFiltersLocked(s, bytes)) {
        ++s.counters.filtered;
        return SimInjectResult::Filtered;
    }
    for (int i = 0; i < kSimPoolSlots; ++i) {
        const int slot = (gNextSlot + i) % kSimPoolSlots;
        if (gSlotOut[slot])
            continue;
        std::memset(gSlots[slot], 0, kSlotBytes);
        std::memcpy(gSlots[slot], bytes, size);
        const DWORD address = SlotAddress(slot);
        if (!QueueUserAPC(s.routine, s.thread, address))
            return SimInjectResult::NotListening; // the registered thread is gone
        gSlotOut[slot] = true;
        gNextSlot = (slot + 1) % kSimPoolSlots;
        ++s.counters.delivered;
        ++s.counters.outstanding;
        return SimInjectResult::Delivered;
    }
    ++s.counters.poolEmpty;
    return SimInjectResult::PoolEmpty;
}

BOOL SimReleaseLocked(SimState& s, DWORD address) {
    for (int slot = 0; slot < kSimPoolSlots; ++slot) {
        if ((ULONG_PTR)gSlots[slot] != address)
            continue;
        if (!gSlotOut[slot])
            break;
        gSlotOut[slot] = false;
        ++s.counters.released;
        --s.counters.outstanding;
        // Only a source waiting for records is woken, and only when its wait
        // is over: no wake-up (a semaphore and an event) per hand-back.
        const int free = s.deliverCap - (int)s.counters.outstanding;
        if (s.freeWait == SimFreeWait::Any ||
            (s.freeWait == SimFreeWait::Gathered && free >= kSimGatherRecords)) {
            s.freeWait = SimFreeWait::None;
            s.changed.notify_all();
        }
        return TRUE;
    }
    ++s.counters.badReleases;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

bool SimPoolHasFreeLocked() {
    const SimState& s = Sim();
    return s.counters.outstanding < (uint32_t)s.deliverCap;
}

void SimWaitForFreeLocked(SimState& s, std::unique_lock<std::mutex>& hold,
                          const std::function<bool()>& giveUp) {
    if (SimPoolHasFreeLocked() || giveUp())
        return;
    s.freeWait = SimFreeWait::Any;
    s.changed.wait(hold, [&] { return SimPoolHasFreeLocked() || giveUp(); });
    s.freeWait = SimFreeWait::Gathered;
    s.changed.wait_for(hold, std::chrono::milliseconds(kSimGatherMs), [&] {
        return s.deliverCap - (int)s.counters.outstanding >= kSimGatherRecords || giveUp();
    });
    s.freeWait = SimFreeWait::None;
}

void SimPoolDiscardLocked(SimState& s) {
    for (bool& out : gSlotOut) {
        if (out)
            ++s.counters.lostAtClose;
        out = false;
    }
    s.counters.outstanding = 0;
    s.changed.notify_all();
}

SimInjectResult SimInject(const void* bytes, size_t size) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return SimDeliverLocked(s, bytes, size);
}
