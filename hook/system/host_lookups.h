// The look-ups of the running system that the mapping asks for: /proc for
// working folders and descriptors, stat for folders, the mount table for
// network file systems.
#pragma once

#include "hook/system/sysev_map.h"

HookLookups HostLookups();
