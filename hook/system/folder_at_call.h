// Whether a missing name's folder existed at the call, for records that come
// late (the eBPF ring): the kernel side cannot look a name up after a failed
// call, and a look now sees what the watched processes did since. A batch of
// records is looked at from its end: each folder is looked up once, now, and
// the batch's later records that made, removed or renamed it (successful
// mkdir, rmdir, rename) undo their change on the way back to the call.
// What other processes changed between the call and the look, and what the
// watched ones changed after the batch, remain (the look comes within a few
// milliseconds of the batch). A folder reached through a rename of one of its
// parents is not followed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hook/system/syscall_event.h"

class SysevMapper;

// Sets SYSEV_ST_FOLDERS and SYSEV_ST_NO_FOLDER1/2 on the batch's failed
// (ENOENT) calls whose names resolve. A process's names are looked up below
// its root (rootOf, "/" when not given): a chrooted process's "/tmp" is not
// the hook's.
void DecideFoldersAtCall(std::vector<sysev>* batch, const SysevMapper& mapper,
                         const std::function<bool(const std::string&)>& folderExists,
                         const std::function<std::string(uint32_t pid)>& rootOf = nullptr);
