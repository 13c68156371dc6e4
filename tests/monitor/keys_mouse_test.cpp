// Keyboard and mouse commands of the operator.
#include "monitor_fixture.h"

using namespace monitortest;

namespace {

// SDL 1.2 key codes used below.
constexpr uint32_t ESC = 27, RET = 13, SPACE = 32, KP_ENTER = 271;
constexpr uint32_t UP = 273, DOWN = 274, RIGHT = 275, LEFT = 276;
constexpr uint32_t KP_DIV = 267, KP_MUL = 268, KP_MINUS = 269, KP_PLUS = 270;
constexpr uint32_t F1 = 282, F2 = 283, F9 = 290, KP0 = 256;
constexpr uint32_t LSHIFT = 0x1, RSHIFT = 0x2, LCTRL = 0x40;

class Keys : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        quit = 0;
        for (int i = 1; i <= 6; i++)
            cams_[i] = add_camera(i, i == 6);
        add_layout(0, "QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
        add_layout(1, "MULTI_6_9",
                   {cams_[1], cams_[2], cams_[3], cams_[4], cams_[5], cams_[6]});
        add_layout(2, "ONECAM", {cams_[1]});
        add_layout(3, "ONECAM", {cams_[6]});
        add_layout(4, "WIDE_2_2", {nullptr, nullptr}); // nothing to show
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
        vout_calls.clear();
    }
    void TearDown() override
    {
        quit = 0;
        MonitorTest::TearDown();
    }
    int key(uint32_t k, uint32_t mod = 0) { return have_keydown(mod, k); }
    void open_popup() { popup_printf(0x102, "%s", "message"); }
    // A point well inside window i.
    void centre(int i, int &x, int &y)
    {
        x = windows[i].rect.x + int(windows[i].rect.w / 2);
        y = windows[i].rect.y + int(windows[i].rect.h / 2);
    }
    camera *cams_[7] = {};
};

} // namespace

TEST_F(Keys, UndefinedLayoutShowsNotDefinedAndAFailedSwitchKeepsTheLayout)
{
    EXPECT_EQ(key('7'), 1);
    EXPECT_EQ(cur_layout, 0);
    ASSERT_EQ(count_calls("^popup "), 1);
    EXPECT_NE(vout_calls.back().find("не определа"), std::string::npos);
    EXPECT_NE(vout_calls.back().find("№7"), std::string::npos);
    // A layout that cannot be built: the shown one stays, streams and all.
    EXPECT_EQ(key('4'), 1);
    EXPECT_NE(vout_calls.back().find("Ошибка переключения"), std::string::npos);
    EXPECT_EQ(cur_layout, 0);
    EXPECT_EQ(windows[3].cam, cams_[4]);
    EXPECT_EQ(stream(cams_[4]).stops, 0);
}

TEST_F(Keys, AnyKeyClosesAPopupAndEscWithAPopupOnlyClosesIt)
{
    open_popup();
    EXPECT_EQ(key('a'), 1);
    EXPECT_FALSE(popup_open);
    EXPECT_EQ(quit, 0);

    open_popup();
    EXPECT_EQ(key(ESC), 1);
    EXPECT_FALSE(popup_open);
    EXPECT_EQ(quit, 0) << "the first Esc only closed the popup";
    EXPECT_EQ(key(ESC), 1);
    EXPECT_EQ(quit, 1);
}

TEST_F(Keys, DisabledKeyDoesNothingNotEvenCloseAPopup)
{
    conf->disable_keys[0] = '1';
    conf->disable_keys[1] = ESC;
    conf->disable_keys_count = 2;
    open_popup();
    vout_calls.clear();
    EXPECT_EQ(key(ESC), 1);
    EXPECT_EQ(key('1'), 1);
    EXPECT_TRUE(popup_open);
    EXPECT_EQ(count_calls("^popup_close"), 0);
    EXPECT_EQ(cur_layout, 0);
    EXPECT_EQ(quit, 0);
    // Keys outside the list still work, and a count past the table's end
    // reads no further than the table.
    conf->disable_keys_count = UINT64_MAX;
    EXPECT_EQ(key('2'), 1);
    EXPECT_EQ(cur_layout, 2);
}

TEST_F(Keys, ArrowsAndKeypadMoveTheSelectionWithWrapAround)
{
    select_win(3); // window 4: row 1, column 1
    ASSERT_EQ(sel_row, 1);
    ASSERT_EQ(sel_col, 1);
    key(RIGHT);
    EXPECT_EQ(g_selectetWinIdx, 2) << "wraps to column 0";
    select_win(3);
    key(DOWN);
    EXPECT_EQ(g_selectetWinIdx, 1) << "wraps to row 0";
    key(LEFT);
    EXPECT_EQ(g_selectetWinIdx, 0);
    key(LEFT);
    EXPECT_EQ(g_selectetWinIdx, 1) << "wraps to the last column";
    key(UP);
    EXPECT_EQ(g_selectetWinIdx, 3) << "wraps to the bottom row";
    EXPECT_EQ(windows[3].state & WS_SE, uint32_t(WS_SE));
    EXPECT_EQ(windows[1].state & WS_SE, 0u);

    key(KP_DIV); // up
    EXPECT_EQ(g_selectetWinIdx, 1);
    key(KP_MUL); // left
    EXPECT_EQ(g_selectetWinIdx, 0);
    key(KP_PLUS); // down
    EXPECT_EQ(g_selectetWinIdx, 2);
    key(KP_MINUS); // right
    EXPECT_EQ(g_selectetWinIdx, 3);
}

TEST_F(Keys, MovingFromABigWindowStepsOverItsBlockAndSkipsEmptyWindows)
{
    ASSERT_EQ(key('1'), 1); // MULTI_6_9: window 1 covers rows 0-1, cols 0-1
    ASSERT_EQ(g_selectetWinIdx, 0);
    key(DOWN);
    EXPECT_EQ(g_selectetWinIdx, 3) << "the window below the block";
    key(UP);
    EXPECT_EQ(g_selectetWinIdx, 0);
    key(RIGHT);
    EXPECT_EQ(g_selectetWinIdx, 1) << "the window right of the block";

    // Window 4 loses its camera: nothing else covers column 0 below the
    // block, so the selection stays.
    select_win(0);
    windows[3].cam = nullptr;
    key(DOWN);
    EXPECT_EQ(g_selectetWinIdx, 0);
}

TEST_F(Keys, NoNavigationInFullscreenOrInAOneWindowLayout)
{
    key(RET);
    ASSERT_EQ(g_fsWinIdx, 0);
    key(RIGHT);
    EXPECT_EQ(g_selectetWinIdx, 0);
    key(ESC);
    ASSERT_EQ(key('2'), 1);
    key(DOWN);
    key(LEFT);
    EXPECT_EQ(g_selectetWinIdx, 0);
}

TEST_F(Keys, LeftClickTogglesFullscreenAndSelectsButNotOnAnEdge)
{
    const win_rect r = windows[3].rect;
    mouse_press_left(r.x, r.y + int(r.h / 2)); // left edge
    mouse_press_left(r.x + int(r.w / 2), r.y); // top edge
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(g_selectetWinIdx, 0);

    mouse_press_left(r.x + 1, r.y + 1);
    EXPECT_EQ(g_fsWinIdx, 3);
    EXPECT_EQ(g_selectetWinIdx, 3);
    // In fullscreen any click concerns the fullscreen window.
    mouse_press_left(1, 1);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(g_selectetWinIdx, 3);
}

TEST_F(Keys, F2NeedsASelectedWindowShiftF2DoesNot)
{
    char dir[] = "/tmp/shots";
    conf->shot_dir = dir;
    select_win(2);
    key(F2);
    ASSERT_EQ(count_calls("^win_snapshot w\\d+ /tmp/shots/tirskmon\\(L\\)_cam03_"), 1);
    winStateReset(&windows[2], WS_SE);
    g_selectetWinIdx = -1;
    key(F2);
    EXPECT_EQ(count_calls("^win_snapshot"), 1);
    key(F2, RSHIFT);
    EXPECT_EQ(count_calls("^screen_snapshot /tmp/shots/tirskmon\\(L\\)_"), 1);
    key(F2, LCTRL);
    EXPECT_EQ(count_calls("^screen_snapshot"), 1) << "Ctrl is not Shift";
    conf->shot_dir = nullptr;
}

TEST_F(Keys, ShiftF9ResetsAllAlarmsF9AloneDoesNot)
{
    for (int i : {1, 3}) {
        cams_[i]->alarm = 2;
        cams_[i]->alarm_code = 1;
        cams_[i]->alarm_tv = {1700000000, 0};
        winStateSet(cams_[i]->win, WS_AL);
    }
    cams_[5]->alarm = 2; // not on the screen
    key(F9);
    EXPECT_EQ(cams_[1]->alarm, 2u);
    EXPECT_TRUE(windows[0].state & WS_AL);
    key(F9, LSHIFT);
    for (int i : {1, 3, 5}) {
        EXPECT_EQ(cams_[i]->alarm, 0u) << i;
        EXPECT_EQ(cams_[i]->alarm_code, 0u) << i;
    }
    EXPECT_FALSE(windows[0].state & WS_AL);
    EXPECT_FALSE(windows[2].state & WS_AL);
}

TEST_F(Keys, ResetAllStopsAtTheFirstUnusedCameraRecord)
{
    camera *late = &conf->cams[conf->cams_count + 1]; // after a gap
    late->nr = 99;
    late->alarm = 2;
    reset_all_alarms();
    EXPECT_EQ(late->alarm, 2u);
}
