// SimPumpUntil: when it asks for its condition, and when it stops early.
#include "driver_fixture.h"

namespace {

int gTaken;

// A queue that does not empty before 1000 messages: each one posts the next.
bool Repost(MSG&) {
    if (++gTaken < 1000)
        PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    return true;
}

bool StopAtQuit(MSG& msg) {
    return msg.message != WM_QUIT;
}

} // namespace

TEST(SimPumpTest, ABatchAsksWhileTheQueueIsNeverEmpty) {
    SimPumpUntil([] { return true; }, 0); // nothing left from before
    gTaken = 0;
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_TRUE(SimPumpUntil([] { return gTaken >= 40; }, 5000, Repost, 16));
    EXPECT_EQ(gTaken, 48);
    SimPumpUntil([] { return true; }, 0, Repost);
}

TEST(SimPumpTest, TheHandlerEndsThePumpAtOnce) {
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_FALSE(SimPumpUntil([] { return false; }, 5000, StopAtQuit));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "taken after the end";
}
