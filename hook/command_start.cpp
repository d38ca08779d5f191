#include "hook/command_start.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void ChildFails(int fd, const char* what, int err) {
    char text[256];
    const int n = snprintf(text, sizeof text, "%s: %s", what, strerror(err));
    if (n > 0 && write(fd, text, static_cast<size_t>(n)) < 0) {
        // nothing more to say
    }
    _exit(127);
}

// Started through sudo as root: become the user who ran sudo.
void DropToSudoUser(int errorFd) {
    const char* uidText = getenv("SUDO_UID");
    const char* gidText = getenv("SUDO_GID");
    if (geteuid() != 0 || uidText == nullptr || gidText == nullptr)
        return;
    const uid_t uid = static_cast<uid_t>(strtoul(uidText, nullptr, 10));
    const gid_t gid = static_cast<gid_t>(strtoul(gidText, nullptr, 10));
    const passwd* pw = getpwuid(uid);
    if (pw != nullptr) {
        if (initgroups(pw->pw_name, gid) != 0)
            ChildFails(errorFd, "initgroups", errno);
        setenv("HOME", pw->pw_dir, 1);
        setenv("USER", pw->pw_name, 1);
        setenv("LOGNAME", pw->pw_name, 1);
    } else if (setgroups(0, nullptr) != 0) {
        ChildFails(errorFd, "setgroups", errno);
    }
    if (setgid(gid) != 0)
        ChildFails(errorFd, "setgid", errno);
    if (setuid(uid) != 0)
        ChildFails(errorFd, "setuid", errno);
}

} // namespace

bool StartCommandHeld(char** argv, const ChildSetUp* setUp, StartedCommand* cmd, std::string* why) {
    int go[2];
    int error[2];
    if (pipe2(go, O_CLOEXEC) != 0) {
        *why = std::string("pipe: ") + strerror(errno);
        return false;
    }
    if (pipe2(error, O_CLOEXEC) != 0) {
        *why = std::string("pipe: ") + strerror(errno);
        close(go[0]);
        close(go[1]);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        *why = std::string("fork: ") + strerror(errno);
        close(go[0]);
        close(go[1]);
        close(error[0]);
        close(error[1]);
        return false;
    }
    if (pid == 0) {
        close(go[1]);
        close(error[0]);
        // The hook's blocked signals and ignored SIGPIPE are not the command's.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        prctl(PR_SET_PDEATHSIG, SIGKILL); // the hook gone before the go: no orphan
        DropToSudoUser(error[1]);
        char byte;
        if (read(go[0], &byte, 1) != 1)
            _exit(127);
        close(go[0]);
        prctl(PR_SET_PDEATHSIG, 0);
        if (setUp != nullptr) {
            const int err = setUp->run();
            if (err != 0)
                ChildFails(error[1], setUp->what, err);
        }
        execvp(argv[0], argv);
        ChildFails(error[1], argv[0], errno);
    }
    close(go[0]);
    close(error[1]);
    cmd->pid = pid;
    cmd->goFd = go[1];
    cmd->errorFd = error[0];
    return true;
}

void ReleaseCommand(StartedCommand* cmd) {
    const char byte = 1;
    if (write(cmd->goFd, &byte, 1) != 1) {
        // the child is gone; its end shows in its exit status
    }
    close(cmd->goFd);
    cmd->goFd = -1;
}

void AbandonCommand(StartedCommand* cmd) {
    if (cmd->pid > 0) {
        kill(cmd->pid, SIGKILL);
        waitpid(cmd->pid, nullptr, __WALL);
        cmd->pid = -1;
    }
    if (cmd->goFd >= 0)
        close(cmd->goFd);
    if (cmd->errorFd >= 0)
        close(cmd->errorFd);
    cmd->goFd = cmd->errorFd = -1;
}

std::string CommandStartError(StartedCommand* cmd) {
    if (cmd->errorFd < 0)
        return "";
    const int flags = fcntl(cmd->errorFd, F_GETFL);
    fcntl(cmd->errorFd, F_SETFL, flags | O_NONBLOCK);
    char text[256];
    const ssize_t n = read(cmd->errorFd, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : "";
}
