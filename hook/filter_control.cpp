#include "hook/filter_control.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "hook/user_files.h"

namespace {

// At most 40 bytes of a text that came from a file, non-printing bytes as
// \xHH: the hook may run as root, and the file is the user's to name.
std::string Excerpt(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return text.size() > 40 ? out + "..." : out;
}

} // namespace

bool FilterControlOpen(FilterControl* c, const char* path, std::string* why) {
    c->fd = OpenAsInvokingUser(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
                std::fprintf(stderr, "talvek-hook: control line skipped: %s\n",
                             Excerpt(error).c_str());
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
