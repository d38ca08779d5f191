// The three device calls of the stand-in driver and its five control codes.
#include "driver/device_calls.h"

#include "driver/driver_link.h"
#include "simdriver/sim_control.h"
#include "simdriver/sim_state.h"

#include <cstdio>
#include <cstring>

static void LogCall(SimState& s, const SimCall& call) {
    if (s.keepLog)
        s.log.push_back(call);
}

static bool EnvFlag(const char* name) {
    return SimEnv(name, "0") == "1";
}

static bool OpenArgsExact(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    return name != nullptr && std::strcmp(name, "\\\\.\\TALVEKHK.VXD") == 0 && access == 0 &&
           share == 0 && security == nullptr && disposition == 0 &&
           flags == FILE_FLAG_DELETE_ON_CLOSE && templateFile == nullptr;
}

HANDLE DevCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) {
    SimState& s = Sim();
    HANDLE result = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    bool feed = false;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.configured) {
            s.missing = EnvFlag("TALVEKSIM_MISSING");
            s.refuse = EnvFlag("TALVEKSIM_REFUSE");
        }
        if (s.device != INVALID_HANDLE_VALUE) {
            error = ERROR_ACCESS_DENIED; // one open at a time
        } else if (!s.missing &&
                   OpenArgsExact(name, access, share, security, disposition, flags, templateFile)) {
            // Any unique kernel handle serves as the device handle.
            result = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            if (result == nullptr)
                result = INVALID_HANDLE_VALUE;
        }
        if (result != INVALID_HANDLE_VALUE) {
            s.device = result;
            s.filter = IfsFilter{};
            feed = s.autoFeed;
            SimControlOpenLocked(s);
        }
        SimCall call{};
        call.kind = SimCallKind::Open;
        call.ok = result != INVALID_HANDLE_VALUE;
        call.threadId = GetCurrentThreadId();
        call.name = name != nullptr ? name : "";
        call.access = access;
        call.share = share;
        call.disposition = disposition;
        call.flags = flags;
        call.security = security != nullptr;
        call.templateFile = templateFile != nullptr;
        LogCall(s, call);
    }
    if (feed)
        SimStartFromEnvironment();
    if (result == INVALID_HANDLE_VALUE)
        SetLastError(error);
    return result;
}

void SimUnregisterLocked(SimState& s) {
    if (s.thread != nullptr)
        CloseHandle(s.thread);
    s.thread = nullptr;
    s.threadId = 0;
    s.routine = nullptr;
    s.changed.notify_all();
}

static BOOL SetCallback(SimState& s, DWORD value) {
    SimUnregisterLocked(s);
    if (value == 0)
        return TRUE;
    if (s.refuse)
        return FALSE;
    s.thread = OpenThread(THREAD_SET_CONTEXT | SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE,
                          GetCurrentThreadId());
    if (s.thread == nullptr)
        return FALSE;
    s.threadId = GetCurrentThreadId();
    s.routine = (PAPCFUNC)(ULONG_PTR)value;
    s.changed.notify_all();
    return TRUE;
}

static BOOL Control(SimState& s, DWORD code, DWORD value) {
    switch (code) {
    case CTL_SET_CALLBACK:
        return SetCallback(s, value);
    case CTL_RELEASE_REC:
        return SimReleaseLocked(s, value);
    case CTL_ENABLE:
    case CTL_RESULT_FILTER:
    case CTL_FUNC_ENABLE:
        IfsFilterControl(&s.filter, code, value);
        if (code == CTL_ENABLE) // a source may wait for monitoring
            s.changed.notify_all();
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
}

BOOL DevIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                  LPDWORD returned, LPOVERLAPPED overlapped) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    SimCall call{};
    call.kind = SimCallKind::Control;
    call.code = code;
    call.threadId = GetCurrentThreadId();
    call.wellFormed = in != nullptr && inSize == sizeof(DWORD) && out == nullptr && outSize == 0 &&
                      returned == nullptr && overlapped == nullptr;
    if (in != nullptr && inSize == sizeof(DWORD))
        std::memcpy(&call.value, in, sizeof(DWORD));
    if (s.device == INVALID_HANDLE_VALUE || device != s.device) {
        SetLastError(ERROR_INVALID_HANDLE);
        call.ok = FALSE;
    } else if (!call.wellFormed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        call.ok = FALSE;
    } else {
        call.ok = Control(s, code, call.value);
        if (call.ok && (code == CTL_ENABLE || code == CTL_RESULT_FILTER || code == CTL_FUNC_ENABLE))
            SimControlWriteLocked(s);
    }
    LogCall(s, call);
    return call.ok;
}

BOOL DevCloseHandle(HANDLE device) {
    SimState& s = Sim();
    std::thread feeder;
    BOOL ok = FALSE;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.device != INVALID_HANDLE_VALUE && device == s.device) {
            // Closing unloads the driver: the source stops, the call-back is
            // dropped and every record is freed.
            CloseHandle(s.device);
            s.device = INVALID_HANDLE_VALUE;
            SimUnregisterLocked(s);
            s.counters.unshown =
                s.counters.outstanding + s.streamPending + SimStreamUnreadLocked(s);
            SimPoolDiscardLocked(s);
            s.feederStop = true;
            feeder = std::move(s.feeder);
            SimEndStreamLocked(s);
            SimControlCloseLocked();
            ok = TRUE;
            // Whoever feeds a running program can tell from this line
            // whether the monitor kept up.
            if (s.printCounters) {
                std::fprintf(stderr, "%s\n", SimCountersLine(s.counters).c_str());
                std::fflush(stderr);
            }
        } else {
            SetLastError(ERROR_INVALID_HANDLE);
        }
        SimCall call{};
        call.kind = SimCallKind::Close;
        call.ok = ok;
        call.threadId = GetCurrentThreadId();
        LogCall(s, call);
        s.changed.notify_all();
    }
    if (feeder.joinable())
        feeder.join();
    return ok;
}

std::string SimCountersLine(const SimCounters& c) {
    char text[420];
    std::snprintf(text, sizeof text,
                  "simdriver: %lu delivered, %lu handed back, %lu dropped (pool full), %lu lost "
                  "at close, %lu filtered, %lu read while monitoring was off, %lu malformed "
                  "lines, %lu rows passed over while the list was behind, %lu rows unshown",
                  (unsigned long)c.delivered, (unsigned long)c.released, (unsigned long)c.poolEmpty,
                  (unsigned long)c.lostAtClose, (unsigned long)c.filtered,
                  (unsigned long)c.unmonitored, (unsigned long)c.malformed,
                  (unsigned long)c.passedOver, (unsigned long)c.unshown);
    return text;
}

SimCounters SimGetCounters() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.counters;
}

std::vector<SimCall> SimCallLog() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.log;
}

bool SimRegistered() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.routine != nullptr;
}

DWORD SimRegisteredThreadId() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.threadId;
}

void SimUseEnvironment() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    s.configured = false;
    s.autoFeed = true;
    s.keepLog = false;
    s.printCounters = true;
    s.log.clear();
}

void SimSetMissing(bool missing) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    s.configured = true;
    s.missing = missing;
}

void SimSetRefuse(bool refuse) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    s.configured = true;
    s.refuse = refuse;
}

void SimReset() {
    SimStopSource();
    SimState& s = Sim();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.device != INVALID_HANDLE_VALUE)
        CloseHandle(s.device);
    s.device = INVALID_HANDLE_VALUE;
    SimUnregisterLocked(s);
    SimPoolDiscardLocked(s);
    s.configured = true;
    s.missing = false;
    s.refuse = false;
    s.autoFeed = false;
    s.filter = IfsFilter{};
    SimControlResetLocked();
    s.counters = SimCounters{};
    s.keepLog = true;
    s.printCounters = false;
    s.log.clear();
}
