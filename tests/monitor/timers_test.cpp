// The one-second timers: cursor, fullscreen and camera-name time-outs.
#include "monitor_fixture.h"

using namespace monitortest;

namespace {

constexpr int64_t SEC = 1000000;

class Timers : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        conf->cursor_timeout = 4;
        conf->fs_timeout = 300;
        conf->camname_timeout = 6;
        for (int i = 1; i <= 4; i++)
            cams_[i] = add_camera(i);
        add_layout(0, "QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
        t0_ = g_monotime_microsec;
        cursor_shown = 1;
        cursor_since = t0_;
        vout_calls.clear();
    }
    // Let window i's stream deliver its first frame.
    void run(int i)
    {
        stream(cams_[i + 1]).polls = {1};
        poll_wins_sources(g_monotime_microsec);
        ASSERT_TRUE(cams_[i + 1]->srcs[0].started);
        ASSERT_EQ(windows[i].cur_src, 0);
    }
    bool name_shown(int i) const { return windows[i].state & WS_DN; }
    camera *cams_[5] = {};
    int64_t t0_ = 0;
};

} // namespace

TEST_F(Timers, CursorHidesAfterItsTimeoutWithoutCountingAChange)
{
    EXPECT_EQ(cb_one_sec_timers(t0_ + 4 * SEC), 0);
    EXPECT_EQ(cursor_shown, 1) << "exactly T is not past T";
    EXPECT_EQ(cb_one_sec_timers(t0_ + 4 * SEC + 1), 0);
    EXPECT_EQ(cursor_shown, 0);
    EXPECT_EQ(count_calls("^cursor 0"), 1);
    cb_one_sec_timers(t0_ + 9 * SEC);
    EXPECT_EQ(count_calls("^cursor 0"), 1) << "hidden once";

    // Moving the mouse brings it back and restarts the clock.
    g_monotime_microsec = t0_ + 10 * SEC;
    mouse_motion(5, 5);
    EXPECT_EQ(cursor_shown, 1);
    cb_one_sec_timers(t0_ + 13 * SEC);
    EXPECT_EQ(cursor_shown, 1);
}

TEST_F(Timers, FullscreenReturnsToTheLayoutAfterItsTimeout)
{
    conf->cursor_timeout = 0;
    conf->camname_timeout = 0;
    conf->fs_timeout = 2;
    layout_to_fullscreen(1);
    ASSERT_EQ(g_fsWinIdx, 1);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 2 * SEC), 0);
    EXPECT_EQ(g_fsWinIdx, 1);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 2 * SEC + 1), 1);
    EXPECT_EQ(g_fsWinIdx, -1);

    conf->fs_timeout = 0;
    layout_to_fullscreen(1);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 100000 * SEC), 0);
    EXPECT_EQ(g_fsWinIdx, 1) << "0 keeps fullscreen until the user leaves";
}

TEST_F(Timers, LargeTimeoutsDoNotOverflow)
{
    conf->cursor_timeout = UINT32_MAX;
    conf->camname_timeout = UINT32_MAX;
    conf->fs_timeout = UINT32_MAX;
    run(0);
    layout_to_fullscreen(0);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 1000000 * SEC), 0);
    EXPECT_EQ(cursor_shown, 1);
    EXPECT_EQ(g_fsWinIdx, 0);
    EXPECT_TRUE(name_shown(0));
}
