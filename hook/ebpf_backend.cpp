// Placeholder until the eBPF programs are built: the backend reports itself
// unavailable, so talvek-hook falls back to ptrace.
#include "hook/ebpf_backend.h"

bool EbpfAvailable(std::string* why) {
    *why = "talvek-hook was built without its eBPF programs";
    return false;
}
EbpfSession* EbpfStart(const EbpfWatch&, std::string* why) {
    EbpfAvailable(why);
    return nullptr;
}
bool EbpfAddRoot(EbpfSession*, pid_t) { return false; }
int EbpfPoll(EbpfSession*, int, SysevSink, void*) { return -1; }
EbpfCounters EbpfGetCounters(const EbpfSession*) { return {}; }
void EbpfStop(EbpfSession*) {}
