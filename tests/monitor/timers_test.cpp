// Time arithmetic and tick rate of the program frame; the one-second
// timers: cursor, fullscreen and camera-name time-outs.
#include "frame.h"
#include "monitor_fixture.h"

using namespace monitortest;

TEST_F(MonitorTest, TimeOutsFireOnlyPastTheirTimeAndZeroIsNever)
{
    constexpr int64_t SEC = 1000000;
    std::vector<camera *> cams = {add_camera(1), add_camera(2)};
    show_layout("WIDE_2_2", cams);
    stream(cams[0]).polls = {1}; // window 1 has its picture: its name may go
    poll_wins_sources(g_monotime_microsec);
    ASSERT_TRUE(cams[0]->srcs[0].started);
    const int64_t t0 = g_monotime_microsec;

    enum { CURSOR = 1, FULLSCREEN = 2, NAME = 4 };
    const struct {
        int which;
        uint32_t timeout;
        int64_t at;
        bool fires;
    } cases[] = {
        {CURSOR, 4, 4 * SEC, false},         {CURSOR, 4, 4 * SEC + 1, true},
        {FULLSCREEN, 2, 2 * SEC, false},     {FULLSCREEN, 2, 2 * SEC + 1, true},
        {FULLSCREEN, 0, 100000 * SEC, false}, {NAME, 6, 6 * SEC, false},
        {NAME, 6, 6 * SEC + 1, true},        {CURSOR | FULLSCREEN | NAME, UINT32_MAX, 1000000 * SEC, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.which) + " after " + std::to_string(c.at));
        conf->cursor_timeout = c.which & CURSOR ? c.timeout : 0;
        conf->fs_timeout = c.which & FULLSCREEN ? c.timeout : 0;
        conf->camname_timeout = c.which & NAME ? c.timeout : 0;
        g_monotime_microsec = t0;
        cursor_shown = 1;
        cursor_since = t0;
        if (g_fsWinIdx < 0)
            layout_to_fullscreen(0);
        winStateReset(&windows[0], WS_DN);
        winStateSet(&windows[0], WS_DN);
        vout_calls.clear();
        cb_one_sec_timers(t0 + c.at);
        const bool fired = !cursor_shown || g_fsWinIdx < 0 || !(windows[0].state & WS_DN);
        EXPECT_EQ(fired, c.fires);
        EXPECT_EQ(count_calls("^cursor 0"), int(c.fires && c.which == CURSOR));
    }
}

TEST(FrameTime, DeltasTimeOutsAndTickInterval)
{
    const struct {
        timespec a, b;
        int abs;
        int64_t delta;
    } deltas[] = {
        // Each nanosecond part is truncated to microseconds on its own.
        {{10, 1999}, {9, 999}, 0, 1000001},
        {{9, 999}, {10, 1999}, 0, -1000001},
        {{9, 999}, {10, 1999}, 1, 1000001},
        {{4000000000L, 0}, {0, 0}, 0, 4000000000LL * 1000000}, // no overflow
    };
    for (const auto &d : deltas)
        EXPECT_EQ(get_delta_usec(&d.a, &d.b, d.abs), d.delta) << d.a.tv_sec;

    const timespec b = {100, 0}, exact = {100, 5000000}, later = {100, 5001000};
    EXPECT_EQ(has_timeout(&exact, &b, 5), 0) << "strictly greater than the limit";
    EXPECT_EQ(has_timeout(&later, &b, 5), 1);
    EXPECT_EQ(has_timeout(&b, &later, 0), 0);
    EXPECT_EQ(has_timeout(nullptr, &b, 0), 0);
    EXPECT_EQ(has_timeout(&b, nullptr, -1), 1) << "a missing time only times out a negative limit";

    for (auto [fps, ms] : {std::pair{30u, 25u}, {60u, 14u}, {5u, 66u}, {0u, 66u}})
        EXPECT_EQ(frame_tick_interval_ms(fps), ms) << fps;
}
