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

namespace {

// A whole line: applied to f, or reported.
bool ApplyLine(const std::string& line, IfsFilter* f) {
    std::string error;
    if (IfsFilterParseLine(line, f, &error))
        return true;
    std::fprintf(stderr, "talvek-hook: control line skipped: %s\n", Excerpt(error).c_str());
    return false;
}

} // namespace

bool FilterControlPoll(FilterControl* c, IfsFilter* f) {
    if (c->fd < 0)
        return false;
    struct stat st;
    if (!c->fifo && fstat(c->fd, &st) == 0 && st.st_size < c->offset) {
        lseek(c->fd, 0, SEEK_SET); // written anew
        c->offset = 0;
        c->partial.clear();
        c->overLong = false;
    }
    bool applied = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(c->fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // nothing more for now (or no writer yet)
        c->offset += n;
        // Each byte is looked at once: only what came is searched for a line end.
        const char* p = buffer;
        const char* const end = buffer + n;
        while (p < end) {
            const char* newline =
                static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
            const size_t length = static_cast<size_t>((newline != nullptr ? newline : end) - p);
            if (!c->overLong && length > kControlLineMax - c->partial.size()) {
                // Counted once it is too long, whether or not its end ever comes.
                c->overLong = true;
                c->partial.clear();
                ++c->longLines;
                std::fprintf(stderr, "talvek-hook: control line skipped: longer than %zu bytes\n",
                             kControlLineMax);
            }
            if (!c->overLong)
                c->partial.append(p, length);
            if (newline == nullptr)
                break;
            if (!c->overLong && ApplyLine(c->partial, f))
                applied = true;
            c->partial.clear();
            c->overLong = false;
            p = newline + 1;
        }
    }
    return applied;
}

void FilterControlClose(FilterControl* c) {
    if (c->fd >= 0)
        close(c->fd);
    c->fd = -1;
}
