// The exported wrappers and the operations table: one output per process,
// installed once and never reopened.
#include <gtest/gtest.h>

#include <unistd.h>

#include "globals.h"
#include "vout_test_conf.h"

using OutputLifecycle = VoutTest;

TEST_F(OutputLifecycle, InstalledOnceAndNeverReopened)
{
    EXPECT_EQ(vout_sdl.width * 1000 + vout_sdl.height, 648488);
    EXPECT_EQ(vout_fini(), 0);
    EXPECT_EQ(vout_test(1), 0);
    EXPECT_EQ(vout_init(1), 0); // no other kind of output exists
    EXPECT_EQ(vout, nullptr);
    EXPECT_EQ(cursor_shown, 0);

    g_monotime_microsec = 123456789;
    cfg->geo = {800, 600};
    ASSERT_EQ(vout_init(0), 1);
    EXPECT_EQ(vout, &vout_sdl);
    EXPECT_EQ(cursor_shown, 1);
    EXPECT_EQ(cursor_since, 123456789);
    EXPECT_EQ(vout->width * 1000 + vout->height, 800600);
    SDL_Surface *const opened = screen;
    g_monotime_microsec = 5;
    EXPECT_EQ(vout_init(0), 0);
    EXPECT_EQ(screen, opened);
    EXPECT_EQ(cursor_since, 123456789);
    EXPECT_EQ(vout_test(12345), 0); // no such test mode

    EXPECT_EQ(vout_fini(), 1);
    EXPECT_EQ(vout, &vout_sdl);
    EXPECT_EQ(vout_init(0), 0);
    EXPECT_EQ(screen, nullptr);
}

// Death-test suites run first, so the child starts with no output installed
// even when the whole binary runs in one process.
using OutputLifecycleDeathTest = VoutTest;

TEST_F(OutputLifecycleDeathTest, FailedInitLeavesTheOutputToBeClosed)
{
    FakeFonts::init_result = 0;
    EXPECT_EXIT(_exit(vout == nullptr && vout_init(0) == 0 &&
                              vout == &vout_sdl && vout_fini() == 1 &&
                              FakeFonts::fini_calls == 1 &&
                              SDL_WasInit(SDL_INIT_VIDEO) == 0
                          ? 0
                          : 1),
                ::testing::ExitedWithCode(0), "");
}
