// Starting the watched command: forked, then held before it runs anything
// until the backend watches it, and run as the invoking user when the hook
// was started through sudo.
#pragma once

#include <sys/types.h>

#include <string>

struct StartedCommand {
    pid_t pid = -1;
    int goFd = -1;    // one byte written here lets the child go on
    int errorFd = -1; // the child writes why it could not run, then exits 127
};

// What a backend sets up in the child just before it runs the command (the
// ptrace backend's seccomp filter): run() returns 0 or an errno, which the
// child reports as "what: error".
struct ChildSetUp {
    const char* what;
    int (*run)();
};

// Forks a child that waits for the go byte, then runs setUp (when given) and
// argv through PATH.
bool StartCommandHeld(char** argv, const ChildSetUp* setUp, StartedCommand* cmd, std::string* why);

// Lets the child go on.
void ReleaseCommand(StartedCommand* cmd);

// Kills and reaps a child that never got going (nothing half-started stays).
void AbandonCommand(StartedCommand* cmd);

// What the child wrote when it could not run, or "" (reads without waiting).
std::string CommandStartError(StartedCommand* cmd);
