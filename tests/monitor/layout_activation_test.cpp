// Layout activation, switching and fullscreen.
#include "monitor_fixture.h"

using namespace monitortest;

namespace {

class Layouts : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        for (int i = 1; i <= 5; i++)
            cams_[i] = add_camera(i, i == 5);
        add_layout(0, "QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
        add_layout(1, "WIDE_2_2", {cams_[4], cams_[5]});
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
    }
    camera *cams_[6] = {};
};

} // namespace

TEST_F(Layouts, ApplySelectsTheMajorWindowAndBindsCameras)
{
    EXPECT_EQ(g_selectetWinIdx, 0);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(windows[i].cam, cams_[i + 1]);
        EXPECT_EQ(cams_[i + 1]->win, &windows[i]);
        EXPECT_TRUE(windows[i].state & WS_DN);
    }
    EXPECT_EQ(windows[4].cam, nullptr);
    EXPECT_EQ(count_calls("^draw_win"), 4);
}

TEST_F(Layouts, SwitchToCurrentLayoutLeavesFullscreenWithoutRebuilding)
{
    layout_to_fullscreen(1);
    ASSERT_EQ(g_fsWinIdx, 1);
    EXPECT_TRUE(windows[0].state & WS_PA);
    EXPECT_EQ(switch_layout(0, 1), 1);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_FALSE(windows[1].state & WS_FS);
    EXPECT_FALSE(windows[0].state & WS_PA);
    EXPECT_EQ(stream(cams_[1]).plays * 10 + stream(cams_[1]).stops, 10) << "not rebuilt";
}

TEST_F(Layouts, StreamThatWillNotStartLeavesTheWindowWaiting)
{
    stream(cams_[5]).play_ok = false;
    testsupport::LogCapture log;
    ASSERT_EQ(switch_layout(1, 1), 1);
    EXPECT_TRUE(log.contains("src#0: start source playing failed with #")) << log.text();
    EXPECT_TRUE(cams_[5]->win->state & WS_WT);
    EXPECT_EQ(cams_[5]->win->target_src, 0);
}

// Fullscreen of a camera with its own fullscreen stream: the others hidden,
// the window enlarged, the second stream started; back again, the layout
// geometry returns.
TEST_F(Layouts, FullscreenOfATwoStreamCameraAndBack)
{
    ASSERT_EQ(switch_layout(1, 1), 1);
    window *w = cams_[5]->win;
    const win_rect layout_rect = w->rect;
    g_monotime_microsec += 5000000;
    vout_calls.clear();
    layout_to_fullscreen(int(w - windows));
    EXPECT_EQ(g_fsWinIdx, int(w - windows));
    EXPECT_EQ(fs_since, uint64_t(g_monotime_microsec));
    EXPECT_GT(w->rect.w, layout_rect.w);
    EXPECT_EQ(w->state & (WS_FS | WS_PA | WS_WT), uint32_t(WS_FS | WS_WT));
    EXPECT_TRUE(cams_[4]->win->state & WS_PA);
    EXPECT_EQ(w->target_src, 1);
    EXPECT_EQ(stream(cams_[5], 1).plays, 1);
    EXPECT_EQ(slots(), (std::vector<std::string>{"fill", "redisplay", "draw_win"}));

    fullscreen_to_layout();
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(std::tuple(w->rect.x, w->rect.y, w->rect.w, w->rect.h),
              std::tuple(layout_rect.x, layout_rect.y, layout_rect.w, layout_rect.h));
    EXPECT_FALSE(w->state & (WS_FS | WS_PA));
    EXPECT_FALSE(cams_[4]->win->state & WS_PA);
}
