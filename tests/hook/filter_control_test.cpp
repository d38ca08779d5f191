// The control file as the hook follows it: lines past kControlLineMax bytes
// are counted and skipped, whether whole or still arriving, and the lines
// after them apply.
#include "hook/filter_control.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// text padded with blanks (which a control line may hold) to `bytes`.
std::string Padded(const std::string& text, size_t bytes) {
    return text + std::string(bytes - text.size(), ' ');
}

TEST(FilterControl, LongLinesAreCountedAndSkipped) {
    const std::string longest = Padded("results=ok", kControlLineMax);
    const std::string over = Padded("results=ok", kControlLineMax + 1);
    const struct {
        const char* what;
        std::vector<std::string> pieces; // written one after another, a poll after each
        long long longLines;
        int32_t results;
    } cases[] = {
        {"over-long, then good", {std::string(5000, 'x') + "\nresults=failed\n"}, 1, 2},
        {"the longest line", {longest + "\n"}, 0, 1},
        {"one byte over", {over + "\nresults=failed\n"}, 1, 2},
        {"over-long without its end", {std::string(300000, 'a')}, 1, 0},
        {"over-long as it arrives",
         {"results=ok", std::string(3000, ' '), std::string(3000, ' '), "\nresults=failed\n"},
         1,
         2},
        {"two over-long lines", {over + "\n" + over + "\nresults=ok\n"}, 2, 1},
    };
    for (const auto& c : cases) {
        char path[] = "/tmp/talvek-control-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        FilterControl control;
        std::string why;
        ASSERT_TRUE(FilterControlOpen(&control, path, &why)) << why;
        IfsFilter filter;
        for (const std::string& piece : c.pieces) {
            ASSERT_EQ(write(fd, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
            FilterControlPoll(&control, &filter);
            EXPECT_LE(control.partial.size(), kControlLineMax) << c.what;
        }
        EXPECT_EQ(control.longLines, c.longLines) << c.what;
        EXPECT_EQ(filter.results, c.results) << c.what;
        FilterControlClose(&control);
        close(fd);
        unlink(path);
    }
}

} // namespace
