// The /proc texts that other processes shape: names with parentheses and
// newlines, escaped mount points, lines too long for a line buffer.
#include "hook/proc_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProcText, StatNameEndsAtTheLastParenthesis) {
    const struct {
        std::string text;
        bool parsed;
        std::string comm;
        char state;
        int32_t ppid;
    } cases[] = {
        {"42 (sh) S 1 42 42 0", true, "sh", 'S', 1},
        {"42 (a) Z 1 (b) R 7 42 0", true, "a) Z 1 (b", 'R', 7},
        {"42 () R 9 42", true, "", 'R', 9},
        {"42 (x) y) S 0 0", true, "x) y", 'S', 0},
        {"42 (sh S 1", false, "", 0, 0},
        {"42 (sh) S", false, "", 0, 0},
        {"0 (sh) S 1", false, "", 0, 0},
        {"42 (sh) S 2147483648", false, "", 0, 0},
        {"99999999999 (sh) S 1", false, "", 0, 0},
    };
    for (const auto& c : cases) {
        ProcStat stat;
        ASSERT_EQ(ParseProcStat(c.text.data(), c.text.size(), &stat), c.parsed) << c.text;
        if (!c.parsed)
            continue;
        EXPECT_EQ(stat.pid, 42) << c.text;
        EXPECT_EQ(stat.comm, c.comm) << c.text;
        EXPECT_EQ(stat.state, c.state) << c.text;
        EXPECT_EQ(stat.ppid, c.ppid) << c.text;
    }
}

TEST(ProcText, CommKeepsItsOwnNewline) {
    EXPECT_EQ(ParseProcComm("a\nb\n", 4), "a\nb");
    EXPECT_EQ(ParseProcComm("sh\n", 3), "sh");
}

TEST(ProcText, MountPointsUnescapedWholeLinesOnly) {
    const std::string longPoint = "/mnt/" + std::string(5000, 'x');
    const std::string text =
        "36 35 98:0 / /mnt/my\\040share rw,relatime shared:1 - nfs4 srv:/e rw\n"
        "37 35 98:1 / /back\\134slash rw - ext4 /dev/sda1 rw\n"
        "38 35 0:5 / " +
        longPoint +
        " rw master:2 - fuse.sshfs host: rw\n"
        "39 35 0:6 / /no-dash rw ext4 /dev/x rw\n"
        "40 35 0:7 / /cut rw - cifs //s/x";
    const std::vector<MountLine> mounts = ParseMountInfo(text.data(), text.size());
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].point, "/mnt/my share");
    EXPECT_EQ(mounts[0].type, "nfs4");
    EXPECT_EQ(mounts[1].point, "/back\\slash");
    EXPECT_EQ(mounts[2].point, longPoint);
    EXPECT_EQ(mounts[2].type, "fuse.sshfs");
}

TEST(ProcText, NumbersInRange) {
    const std::string status = "Name:\tTgid: 5\nTgid:\t-3\nSigCgt:\t0000000000004a02\nCapEff:\t1f";
    int32_t tgid = 0;
    EXPECT_FALSE(ParseStatusTgid(status.data(), status.size(), &tgid));
    uint64_t mask = 0;
    ASSERT_TRUE(ParseStatusMask(status.data(), status.size(), "SigCgt", &mask));
    EXPECT_EQ(mask, 0x4a02u);
    EXPECT_FALSE(ParseStatusMask(status.data(), status.size(), "CapEff", &mask)); // cut

    const std::string fdinfo = "pos:\t-2\nflags:\t02100002\nmnt_id:\t29\n";
    const FdInfo info = ParseFdInfo(fdinfo.data(), fdinfo.size());
    EXPECT_TRUE(info.hasPos && info.hasFlags);
    EXPECT_EQ(info.pos, UINT64_MAX - 1);
    EXPECT_EQ(info.flags, 02100002u);

    const struct {
        std::string text;
        std::vector<int32_t> pids;
    } children[] = {
        {"12 13 ", {12, 13}},
        {"12 13", {12}}, // the read stopped within 13, or 1300
        {"12 2147483648 14 ", {12}},
        {"12 x 14 ", {12}},
    };
    for (const auto& c : children)
        EXPECT_EQ(ParseProcChildren(c.text.data(), c.text.size()), c.pids) << c.text;
}

TEST(ProcText, LinkThatFilledTheBufferMayBeCut) {
    std::string name;
    EXPECT_TRUE(ProcLinkName("/a/b", 4, 5, &name));
    EXPECT_EQ(name, "/a/b");
    EXPECT_FALSE(ProcLinkName("/a/b", 4, 4, &name));
    EXPECT_FALSE(ProcLinkName("pipe:[7]", 8, 64, &name));
    EXPECT_FALSE(ProcLinkName("", -1, 64, &name));
}

} // namespace
