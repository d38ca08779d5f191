// talvek-hook: the file-system calls of Linux processes as call-trace lines
// (trace/call_trace.h), one line per call, for the stand-in driver. The
// command line: hook/command_line.h.
//
// The system view (hook/system/) shows the Linux file calls; the Windows
// view (hook/windows/) the NT file calls that Windows programs make to Wine.
// Each view under each backend is a source (hook/source.h); this file alone
// chooses among them, and one run loop (hook/run_loop.h) drives any.
//
// Exit status: the command's (128 + signal when a signal ended it) with
// -- COMMAND, else 0; 2 on a usage error (a line naming the argument, then
// the usage) or when no backend can watch what was asked; 1 on a failure on
// the way. Run through sudo with SUDO_UID or SUDO_GID that is not a plain
// number, it refuses (2) before anything else.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "hook/bpf/ebpf_common.h"
#include "hook/command_line.h"
#include "hook/filter_control.h"
#include "hook/run_loop.h"
#include "hook/source.h"
#include "hook/system/ebpf/ebpf_source.h"
#include "hook/system/host_lookups.h"
#include "hook/system/ptrace/ptrace_source.h"
#include "hook/trace_output.h"
#include "hook/user_files.h"
#include "hook/windows/ebpf/wine_source.h"
#include "hook/windows/ptrace/wine_ptrace_source.h"
#include "hook/windows/wine_libs.h"

namespace {

[[noreturn]] void Unavailable(const std::string& what) {
    std::fprintf(stderr, "talvek-hook: %s\n", what.c_str());
    std::exit(2);
}

int Failed(const std::string& what) {
    std::fprintf(stderr, "talvek-hook: %s\n", what.c_str());
    return 1;
}

// Whether a drive of the prefix lies on a network file system, as the system
// view decides for its names.
bool DriveIsNetwork(const DriveTable& drives, char letter) {
    static const HookLookups host = HostLookups();
    for (const DriveRoot& r : drives.roots) {
        if (r.letter == letter && host.isNetwork)
            return host.isNetwork(r.unixRoot.empty() ? "/" : r.unixRoot);
    }
    return false;
}

// The source of the view and backend asked for (eBPF by default, where it
// can run, else ptrace), named in *name; nullptr and `why` when it cannot
// run here.
std::unique_ptr<Source> ChooseSource(const HookOptions& opt, std::string* name, std::string* why) {
    std::vector<WineLib> wineLibs;
    if (opt.view == View::Windows &&
        (!FindWineLibraries(opt.wineLibs, &wineLibs, why) || !TellWineCalls(&wineLibs, why)))
        return nullptr;
    Backend backend = opt.backend;
    const bool ebpfReady = backend != Backend::Ptrace && EbpfAvailable(why);
    if (backend == Backend::Default)
        backend = ebpfReady ? Backend::Ebpf : Backend::Ptrace;
    if (backend == Backend::Ebpf && !ebpfReady) {
        *why = "the eBPF backend cannot run: " + *why;
        return nullptr;
    }
    if (opt.all && backend != Backend::Ebpf) {
        *why = "--all needs the eBPF backend" + (why->empty() ? "" : ": " + *why) +
               "; ptrace can watch only --pid N or -- COMMAND";
        return nullptr;
    }
    *name = std::string(opt.view == View::Windows ? "the Windows view (the programs' own calls)"
                                                  : "the system view (the Linux calls)") +
            (backend == Backend::Ebpf ? " through eBPF" : " through ptrace");
    const DriveTable drives = LoadWinePrefixDrives(opt.winePrefix);
    const auto isNetwork = [drives](char letter) { return DriveIsNetwork(drives, letter); };
    if (opt.view == View::Windows && backend == Backend::Ebpf)
        return MakeWindowsEbpfSource(drives, isNetwork, wineLibs);
    if (opt.view == View::Windows) {
        std::vector<LibPlan> plans;
        if (!PlanBreakpoints(wineLibs, &plans, why))
            return nullptr;
        return MakeWindowsPtraceSource(drives, isNetwork, std::move(plans));
    }
    if (backend == Backend::Ebpf)
        return MakeSystemEbpfSource(drives);
    return MakeSystemPtraceSource(drives);
}

// --invoking-user: "UID GID" of the user a run through sudo acts for, an
// empty line when there is none; the refusal's line and 2 when SUDO_UID or
// SUDO_GID is not a plain number. The talvek script reads the ids here.
int PrintInvokingUser(InvokingUser who, uid_t uid, gid_t gid, const std::string& why) {
    if (who == InvokingUser::Refused) {
        std::fprintf(stderr, "talvek-hook: %s\n", why.c_str());
        return 2;
    }
    if (who == InvokingUser::Sudo)
        std::printf("%u %u\n", unsigned(uid), unsigned(gid));
    else
        std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    uid_t uid;
    gid_t gid;
    std::string why;
    const InvokingUser who = ThisInvokingUser(&uid, &gid, &why);
    if (argc == 2 && std::string(argv[1]) == "--invoking-user")
        return PrintInvokingUser(who, uid, gid, why);
    if (who == InvokingUser::Refused)
        Unavailable(why);
    const HookOptions opt = ParseCommandLine(argc, argv);
    std::string name;
    const std::unique_ptr<Source> source = ChooseSource(opt, &name, &why);
    if (source == nullptr)
        Unavailable(why);
    if (opt.saySource)
        std::fprintf(stderr, "talvek-hook: %s\n", name.c_str());

    // The control file before the output, so that a refusal leaves --out alone.
    TraceOutput out;
    out.filter = opt.filter;
    out.limit = opt.outLimit;
    FilterControl control;
    if (opt.control != nullptr) {
        if (!FilterControlOpen(&control, opt.control, &why))
            return Failed(why);
        FilterControlPoll(&control, &out.filter); // what the file holds is the state to start with
    }
    bool created = false;
    if (!TraceOpen(&out, opt.out, &created, &why))
        return Failed(why);
    // Whose names the trace holds, for its readers (trace/call_trace.h); it
    // goes out with the first lines, once the watch has started.
    out.buffer += opt.view == View::Windows ? "# view=windows\n" : "# view=system\n";

    const RunSetUp run{{opt.all, opt.pids, opt.exclude, 0},
                       opt.command,
                       opt.control != nullptr ? &control : nullptr};
    int status = 0;
    if (!RunWatch(source.get(), run, &out, &status, &why)) {
        if (created) // nothing half-started stays; an existing file is untouched
            UnlinkOwnFile(opt.out, out.fd);
        Unavailable(why);
    }
    TraceEnd(&out);
    if (opt.out != nullptr)
        close(out.fd);
    FilterControlClose(&control);
    return status;
}
