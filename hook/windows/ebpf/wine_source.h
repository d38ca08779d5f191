// The Windows view under eBPF as a source of the hook (hook/source.h).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "hook/dos_name.h"
#include "hook/source.h"
#include "hook/windows/wine_libs.h"

// driveIsNetwork(letter): whether a drive of the prefix lies on a network
// file system, as the system view decides for its names.
std::unique_ptr<Source> MakeWindowsEbpfSource(DriveTable drives,
                                              std::function<bool(char letter)> driveIsNetwork,
                                              std::vector<WineLib> libs);
