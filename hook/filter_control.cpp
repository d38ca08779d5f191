#include "hook/filter_control.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

bool FilterControlOpen(FilterControl* c, const char* path, std::string* why) {
    c->fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (c->fd < 0 || fstat(c->fd, &st) != 0) {
        *why = std::string("cannot read ") + path + ": " + strerror(errno);
        return false;
    }
    c->fifo = S_ISFIFO(st.st_mode);
    return true;
}

bool FilterControlPoll(FilterControl* c, IfsFilter* f) {
    if (c->fd < 0)
        return false;
    struct stat st;
    if (!c->fifo && fstat(c->fd, &st) == 0 && st.st_size < c->offset) {
        lseek(c->fd, 0, SEEK_SET); // written anew
        c->offset = 0;
        c->partial.clear();
    }
    bool applied = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(c->fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // nothing more for now (or no writer yet)
        c->offset += n;
        c->partial.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end; (end = c->partial.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = c->partial.substr(start, end - start);
            std::string error;
            if (IfsFilterParseLine(line, f, &error))
                applied = true;
            else
                std::fprintf(stderr, "talvek-hook: control line skipped: %s\n", error.c_str());
        }
        c->partial.erase(0, start);
    }
    return applied;
}

void FilterControlClose(FilterControl* c) {
    if (c->fd >= 0)
        close(c->fd);
    c->fd = -1;
}
