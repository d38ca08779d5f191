// The system view under eBPF as a source of the hook (hook/source.h).
#pragma once

#include <memory>

#include "hook/dos_name.h"
#include "hook/source.h"

std::unique_ptr<Source> MakeSystemEbpfSource(DriveTable drives);
