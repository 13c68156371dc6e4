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
        add_layout(2, "QUAD_9_9", {cams_[1], nullptr, nullptr, nullptr, nullptr});
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
        EXPECT_GT(windows[i].video_rect.w, 0u);
    }
    EXPECT_EQ(windows[4].cam, nullptr);
    EXPECT_EQ(count_calls("draw_win"), 4);
}

TEST_F(Layouts, CameraInBothLayoutsKeepsItsStream)
{
    stream(cams_[4]).polls = {1};
    g_monotime_microsec += 40000;
    poll_wins_sources(g_monotime_microsec);
    ASSERT_TRUE(cams_[4]->srcs[0].started);
    const int plays = stream(cams_[4]).plays;
    ASSERT_EQ(switch_layout(1, 1), 1);
    EXPECT_EQ(cur_layout, 1);
    EXPECT_EQ(stream(cams_[4]).plays, plays) << "no restart";
    EXPECT_EQ(stream(cams_[4]).stops, 0);
    EXPECT_FALSE(cams_[4]->win->state & WS_WT);
    EXPECT_EQ(stream(cams_[1]).state, SRC_STATE_STOPPED) << "left the layout";
    EXPECT_EQ(cams_[1]->win, nullptr);
}

TEST_F(Layouts, MajorPositionEmptyTakesTheFirstOccupied)
{
    ASSERT_EQ(switch_layout(2, 0), 1);
    EXPECT_EQ(g_selectetWinIdx, 0);
    EXPECT_EQ(windows[0].cam, cams_[1]);
}

TEST_F(Layouts, UndefinedLayoutShowsThePopupOnlyWhenAsked)
{
    vout_calls.clear();
    EXPECT_EQ(switch_layout(7, 0), 0);
    EXPECT_EQ(count_calls("popup:"), 0);
    EXPECT_EQ(switch_layout(7, 1), 1);
    ASSERT_EQ(count_calls("popup:"), 1);
    EXPECT_NE(vout_calls.back().find("№7"), std::string::npos);
    EXPECT_EQ(cur_layout, 0);
}

TEST_F(Layouts, SwitchToCurrentLayoutLeavesFullscreenWithoutRebuilding)
{
    layout_to_fullscreen(1);
    ASSERT_EQ(g_fsWinIdx, 1);
    EXPECT_TRUE(windows[1].state & WS_FS);
    EXPECT_TRUE(windows[0].state & WS_PA);
    vout_calls.clear();
    EXPECT_EQ(switch_layout(0, 1), 1);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_FALSE(windows[1].state & WS_FS);
    EXPECT_FALSE(windows[0].state & WS_PA);
    EXPECT_EQ(windows[0].cam, cams_[1]) << "not rebuilt";
}

TEST_F(Layouts, FullscreenOfAOneSourceCameraStartsNothing)
{
    const int plays = stream(cams_[2]).plays;
    const win_rect before = windows[1].rect;
    layout_to_fullscreen(1);
    EXPECT_EQ(stream(cams_[2]).plays, plays);
    EXPECT_GT(windows[1].rect.w, before.w);
    fullscreen_to_layout();
    EXPECT_EQ(windows[1].rect.x, before.x);
    EXPECT_EQ(windows[1].rect.w, before.w);
}
