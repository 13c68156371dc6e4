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
        add_layout(1, "WIDE_2_2", {cams_[4], cams_[5]});
        show_layout("QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
    }
    camera *cams_[6] = {};
};

} // namespace

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

TEST_F(Layouts, FullscreenThatCannotBeBuiltKeepsTheLayout)
{
    conf->force_aspect = {1, 60000}; // taller than any screen
    layout_to_fullscreen(0);
    EXPECT_EQ(quit, 0);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(windows[1].state & WS_PA, 0u);
    EXPECT_NE(vout_calls.back().find("Ошибка переключения"), std::string::npos);
}
