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

TEST_F(Timers, ZeroOrNoMouseKeepsTheCursor)
{
    conf->cursor_timeout = 0;
    cb_one_sec_timers(t0_ + 1000 * SEC);
    EXPECT_EQ(cursor_shown, 1);
    conf->cursor_timeout = 1;
    conf->no_mouse = 1;
    cb_one_sec_timers(t0_ + 1000 * SEC);
    EXPECT_EQ(cursor_shown, 1);
    EXPECT_EQ(count_calls("^cursor"), 0);
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

TEST_F(Timers, CameraNamesGoOnceTheirStreamRuns)
{
    conf->cursor_timeout = 0;
    for (int i = 0; i < 4; i++)
        run(i);
    ASSERT_TRUE(name_shown(2));
    EXPECT_EQ(cb_one_sec_timers(t0_ + 6 * SEC), 0);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 6 * SEC + 1), 4);
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(name_shown(i)) << i;

    // Selecting a window shows its name again, timed from then.
    g_monotime_microsec = t0_ + 10 * SEC;
    select_win(2);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 15 * SEC), 0);
    EXPECT_TRUE(name_shown(2));
    EXPECT_EQ(cb_one_sec_timers(t0_ + 17 * SEC), 1);
    EXPECT_FALSE(name_shown(2));
}

TEST_F(Timers, NamesStayWhileWaitingFailedAlarmedOrWithoutSignal)
{
    conf->cursor_timeout = 0;
    // Window 1: still waiting for its first frame.
    run(1);
    run(2);
    run(3);
    cams_[3]->alarm = 2;                   // window 3: alarm
    cams_[4]->srcs[0].no_signal = 1;       // window 4: no signal
    EXPECT_EQ(cb_one_sec_timers(t0_ + 60 * SEC), 1);
    EXPECT_TRUE(name_shown(0)) << "waiting";
    EXPECT_FALSE(name_shown(1));
    EXPECT_TRUE(name_shown(2)) << "alarm";
    EXPECT_TRUE(name_shown(3)) << "no signal";

    // Window 2 fails: its name comes back with the failure and stays.
    win_src_failed(&windows[1], &cams_[2]->srcs[0], 1);
    winStateSet(&windows[1], WS_DN);
    ASSERT_TRUE(windows[1].state & (WS_CF | WS_SF));
    EXPECT_EQ(cb_one_sec_timers(t0_ + 600 * SEC), 0);
    EXPECT_TRUE(name_shown(1)) << "failed";

    // Once the alarm is reset the name goes at the next run past the limit.
    reset_cam_alarm(cams_[3]);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 600 * SEC), 1);
    EXPECT_FALSE(name_shown(2));
}

TEST_F(Timers, ZeroCamnameTimeoutKeepsNames)
{
    conf->camname_timeout = 0;
    for (int i = 0; i < 4; i++)
        run(i);
    EXPECT_EQ(cb_one_sec_timers(t0_ + 100000 * SEC), 0);
    for (int i = 0; i < 4; i++)
        EXPECT_TRUE(name_shown(i));
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
