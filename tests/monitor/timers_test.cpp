// The one-second timers: cursor, fullscreen and camera-name time-outs.
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
