// The exported wrappers and the operations table: one output per process,
// installed once and never reopened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "globals.h"
#include "sdl_screen.h"
#include "vout_test_conf.h"

namespace {

class OutputLifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(use_test_display().empty());
        install_window_icon();
        cfg = new_test_conf();
        conf = cfg;
        FakeFonts::reset();
        vout_fonts = &FakeFonts::table;
    }
    void TearDown() override
    {
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg);
    }
    CONF *cfg = nullptr;
};

TEST(OutputTable, EverySlotHoldsItsOwnOperation)
{
    EXPECT_STREQ(vout_sdl.name, "SDL");
    // Slots of equal type could be swapped without the compiler noticing.
    EXPECT_EQ(vout_sdl.init, &sdl_init);
    EXPECT_EQ(vout_sdl.fini, &sdl_fini);
    EXPECT_EQ(vout_sdl.test, &sdl_test);
    EXPECT_EQ(vout_sdl.poll_events, &poll_events);
    EXPECT_EQ(vout_sdl.push_event, &push_event);
    EXPECT_EQ(vout_sdl.show_cursor, &show_cursor);
    EXPECT_EQ(vout_sdl.popup_text, &popup_text);
    EXPECT_EQ(vout_sdl.popup_close, &popup_close);
    EXPECT_EQ(vout_sdl.alloc_playback_resources, &alloc_playback_resources);
    EXPECT_EQ(vout_sdl.free_playback_resources, &free_playback_resources);
    EXPECT_EQ(vout_sdl.show_frame, &show_frame);
    EXPECT_EQ(vout_sdl.check_playback_resources, &check_playback_resources);
    EXPECT_EQ(vout_sdl.redisplay_win, &redisplay_win);
    EXPECT_EQ(vout_sdl.draw_win, &draw_win);
    EXPECT_EQ(vout_sdl.fill_win, &fill_win);
    EXPECT_EQ(vout_sdl.draw_border, &draw_border);
    EXPECT_EQ(vout_sdl.win_pause, &win_pause);
    EXPECT_EQ(vout_sdl.win_alarm, &win_alarm);
    EXPECT_EQ(vout_sdl.win_caption, &win_caption);
    EXPECT_EQ(vout_sdl.win_status, &win_status);
    EXPECT_EQ(vout_sdl.free_win_surfaces, &free_win_surfaces);
    EXPECT_EQ(vout_sdl.flip, &flip);
    EXPECT_EQ(vout_sdl.win_snapshot, &win_snapshot);
    EXPECT_EQ(vout_sdl.screen_snapshot, &screen_snapshot);
    EXPECT_EQ(vout_sdl.push_rctrl_event, &push_rctrl_event);
}

// One test walks the whole life: the wrappers keep process-wide state.
TEST_F(OutputLifecycle, InstalledOnceAndNeverReopened)
{
    EXPECT_EQ(vout_sdl.width, 648); // the size before any screen exists
    EXPECT_EQ(vout_sdl.height, 488);
    EXPECT_EQ(vout, nullptr);
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
    EXPECT_EQ(vout->width, 800);
    EXPECT_EQ(vout->height, 600);

    SDL_Surface *const opened = screen;
    g_monotime_microsec = 5;
    EXPECT_EQ(vout_init(0), 0);
    EXPECT_EQ(screen, opened);
    EXPECT_EQ(cursor_since, 123456789);
    EXPECT_EQ(FakeFonts::init_calls, 1);
    EXPECT_EQ(vout_test(12345), 0); // no such test mode

    EXPECT_EQ(vout_fini(), 1);
    EXPECT_EQ(vout, &vout_sdl);
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(vout_init(0), 0);
    EXPECT_EQ(screen, nullptr);
}

// Death-test suites run first, so the child starts with no output installed.
using OutputLifecycleDeathTest = OutputLifecycle;

TEST_F(OutputLifecycleDeathTest, FailedInitLeavesTheOutputToBeClosed)
{
    // A process of its own: vout is never reset once set.
    EXPECT_EXIT(
        {
            FakeFonts::init_result = 0;
            if (vout != nullptr)
                _exit(2);
            const bool ok = vout_init(0) == 0 && vout == &vout_sdl &&
                            vout_fini() == 1 && FakeFonts::fini_calls == 1 &&
                            SDL_WasInit(SDL_INIT_VIDEO) == 0;
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
