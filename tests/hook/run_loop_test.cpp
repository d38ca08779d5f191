// What every source of talvek-hook relies on: the output's counts, and the
// run loop's start, end and exit status over a stand-in source.
#include "hook/run_loop.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "event/ifs_vocab.h"
#include "hook/trace_output.h"
#include "trace/call_trace.h"

namespace {

// Each outcome lands in one bucket, and the counts line adds up.
TEST(TraceOutput, EachOutcomeInOneBucket) {
    const struct {
        TraceOutcome outcome;
        const char* lost;   // the lost total
        const char* bucket; // the part of the line that counts it
    } cases[] = {
        {TraceOutcome::NotReported, "0 lost", "1 not reported"},
        {TraceOutcome::Filtered, "0 lost", "1 not reported"},
        {TraceOutcome::LostName, "1 lost", "1 names unreadable"},
        {TraceOutcome::LostLongName, "1 lost", "1 names too long"},
        {TraceOutcome::LostOutsideRoot, "1 lost", "1 names outside the root"},
        {TraceOutcome::LostDescriptor, "1 lost", "1 descriptor unknown"},
        {TraceOutcome::LostEnd, "1 lost", "1 unread at the end"},
        {TraceOutcome::LostLimit, "1 lost", "1 past the size limit"},
    };
    for (const auto& c : cases) {
        TraceOutput out;
        TraceCount(&out, c.outcome);
        const std::string line = TraceCountsLine(out.counts);
        EXPECT_EQ(line.rfind("1 calls seen, 0 written, ", 0), 0u) << line;
        EXPECT_NE(line.find(std::string(c.lost) + " ("), std::string::npos) << line;
        EXPECT_NE(line.find(c.bucket), std::string::npos) << line;
    }
}

// A row the filter turns away is seen and not reported; the one written keeps
// a full 16-byte process name that has no NUL.
TEST(TraceOutput, RowsWrittenOrFiltered) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    TraceOutput out;
    out.fd = pipeFds[1];
    std::string error;
    ASSERT_TRUE(IfsFilterParseResults("failed", &out.filter, &error)) << error;
    IfsCall call;
    call.func = IFSFN_OPEN;
    TraceReport(&out, call, 7, "ok", 3);
    call.result = 2;
    TraceReport(&out, call, 7, "abcdefghijklmnopXYZ", 16);
    TraceFlush(&out);
    close(pipeFds[1]);
    char text[512] = {};
    ASSERT_GT(read(pipeFds[0], text, sizeof text - 1), 0);
    close(pipeFds[0]);
    EXPECT_NE(std::string(text).find("comm=abcdefghijklmnop "), std::string::npos) << text;
    EXPECT_EQ(std::string(text).find("comm=ok"), std::string::npos) << text;
    const std::string line = TraceCountsLine(out.counts);
    EXPECT_EQ(line.rfind("2 calls seen, 1 written, 0 lost", 0), 0u) << line;
    EXPECT_NE(line.find("1 not reported"), std::string::npos) << line;
}

// Reads what a pipe holds.
std::string Drained(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<size_t>(n));
    return text;
}

// Past --out-limit a call's line is not written and counted lost under its
// own reason; the closing line still goes out.
TEST(TraceOutput, SizeLimit) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    TraceOutput out;
    out.fd = pipeFds[1];
    IfsCall call;
    call.func = IFSFN_OPEN;
    std::string line;
    AppendTraceLine(call, 7, "x", &line);
    out.limit = 2 * line.size() + 1;
    for (int i = 0; i < 3; ++i)
        TraceReport(&out, call, 7, "x", 2);
    TraceFinish(&out);
    close(pipeFds[1]);
    const std::string text = Drained(pipeFds[0]);
    close(pipeFds[0]);
    const std::string counts = TraceCountsLine(out.counts);
    EXPECT_EQ(counts.rfind("3 calls seen, 2 written, 1 lost (", 0), 0u) << counts;
    EXPECT_NE(counts.find("1 past the size limit"), std::string::npos) << counts;
    EXPECT_EQ(text.rfind(line + line, 0), 0u) << text;
    EXPECT_TRUE(text.size() > 15 &&
                IsTraceEndLine(text.substr(text.rfind('\n', text.size() - 2) + 1)))
        << text;
}

// Hands no calls; a tracing one reaps the command itself and ends with it.
// Notes what the run loop asked of it.
class FakeSource : public Source {
  public:
    bool traces = false;
    bool starts = true;
    bool unwatch = false; // asks the run loop to stop watching at the first poll
    pid_t command = 0;
    int waitStatus = 0;
    std::vector<std::string> asked;

    bool Start(const SourceWatch& w, TraceOutput*, std::string* why) override {
        asked.push_back("start");
        command = w.command;
        if (!starts)
            *why = "refused";
        return starts;
    }
    void SetFilter(const IfsFilter&) override {}
    int Poll(int) override {
        if (unwatch && asked.size() == 1)
            raise(SIGUSR1);
        if (traces && waitpid(command, &waitStatus, WNOHANG) == command)
            return -1;
        usleep(2000);
        return 0;
    }
    bool Traces() const override { return traces; }
    bool CommandEnded(int* status) override {
        *status = waitStatus;
        return true;
    }
    int CountUnread(int) override {
        asked.push_back("unread");
        return 0;
    }
    void Stop() override { asked.push_back("stop"); }
    void StopWatching() override { asked.push_back("unwatch"); }
};

// The command's exit status through either kind of source; a refused start
// leaves no command behind; SIGUSR1 stops the watching, closes the trace and
// leaves the command to end by itself, with its own status.
TEST(RunLoop, ExitStatusAndEnd) {
    const struct {
        bool traces;
        bool starts;
        bool unwatch;
        const char* script;
        bool ran;
        int status;
        std::vector<std::string> asked;
    } cases[] = {
        {false, true, false, "exit 3", true, 3, {"start", "unread", "stop"}},
        {true, true, false, "kill -TERM $$", true, 128 + SIGTERM, {"start", "stop"}},
        {false, false, false, "exit 3", false, 0, {"start", "stop"}},
        {false, true, true, "sleep 0.3; exit 4", true, 4, {"start", "unread", "unwatch", "stop"}},
        {true, true, true, "sleep 0.3; exit 4", true, 4, {"start", "unwatch", "stop"}},
    };
    for (const auto& c : cases) {
        FakeSource source;
        source.traces = c.traces;
        source.starts = c.starts;
        source.unwatch = c.unwatch;
        char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                        const_cast<char*>(c.script), nullptr};
        RunSetUp run;
        run.command = argv;
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        TraceOutput out;
        out.fd = pipeFds[1];
        int status = -1;
        std::string why;
        EXPECT_EQ(RunWatch(&source, run, &out, &status, &why), c.ran) << c.script;
        close(pipeFds[1]);
        EXPECT_EQ(Drained(pipeFds[0]) == std::string(kTraceEndLine) + "\n", c.unwatch) << c.script;
        close(pipeFds[0]);
        if (c.ran)
            EXPECT_EQ(status, c.status) << c.script;
        else
            EXPECT_EQ(why, "refused");
        EXPECT_EQ(source.asked, c.asked) << c.script;
        EXPECT_TRUE(kill(source.command, 0) != 0 && errno == ESRCH) << c.script;
    }
}

} // namespace
