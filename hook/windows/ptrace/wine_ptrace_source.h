// The Windows view under ptrace as a source of the hook (hook/source.h):
// the same records and mapping as under eBPF, without root.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "hook/dos_name.h"
#include "hook/source.h"
#include "hook/windows/ptrace/breakpoint_plan.h"

// driveIsNetwork(letter): whether a drive of the prefix lies on a network
// file system, as the system view decides for its names.
std::unique_ptr<Source> MakeWindowsPtraceSource(DriveTable drives,
                                                std::function<bool(char letter)> driveIsNetwork,
                                                std::vector<LibPlan> plans);
