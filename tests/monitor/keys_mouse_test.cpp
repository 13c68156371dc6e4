// Keyboard and mouse commands of the operator: selection, layouts and
// fullscreen, alarms, and the snapshot files they ask for.
#include "monitor_fixture.h"

using namespace monitortest;

namespace {

// SDL 1.2 key codes and modifiers used below.
constexpr uint32_t ESC = 27, RET = 13, UP = 273, DOWN = 274, RIGHT = 275, LEFT = 276;
constexpr uint32_t KP_DIV = 267, KP_MUL = 268, KP_MINUS = 269, KP_PLUS = 270;
constexpr uint32_t F9 = 290, LSHIFT = 0x1;

class Keys : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        for (int i = 1; i <= 6; i++)
            cams_[i] = add_camera(i, i == 6);
        add_layout(1, "MULTI_6_9", {cams_[1], cams_[2], cams_[3], cams_[4], cams_[5], cams_[6]});
        add_layout(2, "ONECAM", {cams_[1]});
        show_layout("QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
        vout_calls.clear();
    }
    int key(uint32_t k, uint32_t mod = 0) { return have_keydown(mod, k); }
    camera *cams_[7] = {};
};

} // namespace

// Arrows and keypad move the selection over the grid, wrapping at its
// edges, stepping over a big window's block and over windows without a
// camera; a one-window layout or fullscreen has nowhere to go.
TEST_F(Keys, SelectionMovesOverTheGridWithWrapAround)
{
    const struct {
        const char *name;
        uint32_t layout_key;
        int from;
        uint32_t key;
        int want;
        int emptied = -1; // window that loses its camera first
        bool fullscreen = false;
    } cases[] = {
        {"right wraps to column 0", '0', 3, RIGHT, 2},  {"down wraps to row 0", '0', 3, DOWN, 1},
        {"left", '0', 1, LEFT, 0},                      {"left wraps to the last column", '0', 0, LEFT, 1},
        {"up wraps to the bottom row", '0', 1, UP, 3},  {"keypad / is up", '0', 3, KP_DIV, 1},
        {"keypad * is left", '0', 1, KP_MUL, 0},        {"keypad + is down", '0', 0, KP_PLUS, 2},
        {"keypad - is right", '0', 2, KP_MINUS, 3},     {"below the block", '1', 0, DOWN, 3},
        {"up onto the block", '1', 3, UP, 0},           {"right of the block", '1', 0, RIGHT, 1},
        {"nothing below the block", '1', 0, DOWN, 0, 3}, {"one window", '2', 0, LEFT, 0},
        {"fullscreen", '0', 1, RIGHT, 1, -1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(key(c.layout_key), 1);
        select_win(c.from);
        if (c.fullscreen) {
            key(RET);
            ASSERT_EQ(g_fsWinIdx, c.from);
        }
        camera *kept = c.emptied >= 0 ? windows[c.emptied].cam : nullptr;
        if (c.emptied >= 0)
            windows[c.emptied].cam = nullptr;
        key(c.key);
        EXPECT_EQ(g_selectetWinIdx, c.want);
        int selected = 0;
        for (const window &w : windows)
            selected += (w.state & WS_SE) != 0;
        EXPECT_TRUE(selected == 1 && (windows[c.want].state & WS_SE));
        if (c.emptied >= 0)
            windows[c.emptied].cam = kept;
        if (c.fullscreen)
            key(ESC);
    }
}

TEST_F(Keys, DisabledKeyDoesNothingNotEvenCloseAPopup)
{
    conf->disable_keys[0] = '1';
    conf->disable_keys[1] = ESC;
    conf->disable_keys_count = 2;
    popup_printf(0x102, "%s", "message");
    vout_calls.clear();
    EXPECT_EQ(key(ESC), 1);
    EXPECT_EQ(key('1'), 1);
    EXPECT_TRUE(popup_open);
    EXPECT_EQ(cur_layout, 0);
    EXPECT_EQ(quit, 0);
    // Keys outside the list still work; a count past the table's end reads
    // no further than the table.
    conf->disable_keys_count = UINT64_MAX;
    EXPECT_EQ(key('2'), 1);
    EXPECT_EQ(cur_layout, 2);
}

// (Which window a point is in, edges excluded, is the hit test's.)
TEST_F(Keys, LeftClickTogglesFullscreenAndSelects)
{
    const win_rect r = windows[3].rect;
    mouse_press_left(r.x + 1, r.y + 1);
    EXPECT_EQ(g_fsWinIdx, 3);
    EXPECT_EQ(g_selectetWinIdx, 3);
    mouse_press_left(1, 1); // in fullscreen any click concerns its window
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(g_selectetWinIdx, 3);
}

// Shift+F9 resets every camera's alarm, on the screen or not, up to the
// first unused record; F9 alone does nothing.
TEST_F(Keys, ShiftF9ResetsAllAlarms)
{
    for (int i : {1, 3, 5}) {
        cams_[i]->alarm = 2;
        cams_[i]->alarm_code = 1;
        winStateSet(cams_[i]->win, WS_AL);
    }
    camera *late = &conf->cams[conf->cams_count + 1]; // after a gap
    late->nr = 99;
    late->alarm = 2;
    key(F9);
    EXPECT_EQ(cams_[1]->alarm, 2u);
    key(F9, LSHIFT);
    for (int i : {1, 3, 5})
        EXPECT_EQ(cams_[i]->alarm * 10 + cams_[i]->alarm_code, 0u) << i;
    EXPECT_FALSE(windows[0].state & WS_AL);
    EXPECT_EQ(late->alarm, 2u);
}

TEST_F(Keys, SwitchToCurrentLayoutLeavesFullscreenWithoutRebuilding)
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

TEST_F(Keys, FullscreenThatCannotBeBuiltKeepsTheLayout)
{
    conf->force_aspect = {1, 60000}; // taller than any screen
    layout_to_fullscreen(0);
    EXPECT_EQ(quit, 0);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(windows[1].state & WS_PA, 0u);
    EXPECT_NE(vout_calls.back().find("Ошибка переключения"), std::string::npos);
}

// Snapshot file names carry the display and the camera; names too long for
// their buffer are refused, not cut.
TEST_F(MonitorTest, SnapshotNamesCarryTheCameraAndTooLongOnesAreRefusedNotCut)
{
    show_layout("WIDE_2_2", {add_camera(7), add_camera(123)});
    conf->display = 'R';
    conf->shot_dir = strdup("/var/tmp/pics");
    select_win(1);
    cam_shot();
    EXPECT_EQ(count_calls(R"(^win_snapshot w1 /var/tmp/pics/tirskmon\(R\)_cam123_\d{4}-\d\d-\d\d_\d\d:\d\d:\d\d\.png$)"), 1)
        << vout_calls.back();

    // 299 characters fit: the directory plus 35 for the screen's name; the
    // camera's is 6 longer.
    free(conf->shot_dir);
    conf->shot_dir = strdup(("/" + std::string(262, 'd')).c_str());
    vout_calls.clear();
    LogCapture log;
    screen_shot();
    ASSERT_EQ(count_calls("^screen_snapshot "), 1);
    EXPECT_EQ(vout_calls[0].size(), strlen("screen_snapshot ") + 299);
    cam_shot();
    EXPECT_EQ(count_calls("^win_snapshot "), 0);
    EXPECT_TRUE(log.contains("snapshot refused: file name longer than 299")) << log.text();
    free(conf->shot_dir);
    conf->shot_dir = nullptr;
}
