// Window state: flag changes and their side effects, borders, binding and
// selection, against a video output that records its calls.
#include "layouts_fixture.h"

#include <string>
#include <vector>

#include "camera.h"
#include "vout.h"
#include "window.h"

using layouts_test::LayoutsTest;
using layouts_test::LogCapture;

namespace {

using testsupport::fake_vout;
std::vector<std::string> &calls = testsupport::vout_calls;

using strings = std::vector<std::string>;

class WinState : public LayoutsTest {
protected:
    void SetUp() override
    {
        LayoutsTest::SetUp();
        calls.clear();
        vout = &fake_vout;
        borderTB = 4;
        borderLR = 3;
        g_monotime_microsec = 1000;
        for (int i = 0; i < 4; i++) {
            cams[i].nr = i + 1;
            win_bind_cam(&windows[i], &cams[i]);
            windows[i].rect = {0, 0, 600, 500};
        }
    }
    // Camera records are large; keep them out of the stack.
    static inline camera cams[4];
};

} // namespace

TEST_F(WinState, SelectingAlsoShowsTheNameAndLogsTheWidenedMask)
{
    conf->verbose = 2;
    window &w = windows[1];
    LogCapture log;
    winStateSet(&w, WS_SE);
    EXPECT_EQ(w.state, uint32_t(WS_SE | WS_DN));
    EXPECT_EQ(w.state_mono[3], 1000u);
    EXPECT_EQ(w.state_mono[4], 1000u);
    EXPECT_EQ(log.count("(D) cam[2]:    set flags [Se,dN], diff=0x18"), 1)
        << log.text();
    EXPECT_EQ(calls, (strings{"border w1 153 102 51 0 0 0", "caption w1 1"}));

    // The logged names are those asked for, the diff only what changed.
    calls.clear();
    LogCapture log2;
    winStateSet(&w, WS_AL);
    EXPECT_EQ(log2.count("set flags [dN,AL], diff=0x100"), 1) << log2.text();
    LogCapture log3;
    winStateReset(&w, WS_PM | WS_SE);
    EXPECT_EQ(log3.count("(D) cam[2]:  reset flags [PM,Se], diff=0x8"), 1)
        << log3.text();
}

TEST_F(WinState, SideEffectsOfSettingComeInOrder)
{
    window &w = windows[0];
    LogCapture log;
    winStateSet(&w, WS_AL | WS_CF | WS_SF | WS_PM);
    EXPECT_EQ(calls, (strings{"border w0 192 255 255 0 0 0",
                              "alarm w0 1", "status w0", "caption w0 1",
                              "pause w0 1"}));
    const std::string &t = log.text();
    const size_t sf = t.find("server failure!"), cf = t.find("capture failed");
    ASSERT_NE(sf, std::string::npos) << t;
    ASSERT_NE(cf, std::string::npos) << t;
    EXPECT_LT(sf, cf);

    calls.clear();
    winStateSet(&w, WS_WT);
    EXPECT_EQ(calls, (strings{"status w0", "caption w0 1"}));
    calls.clear();
    winStateSet(&w, WS_FS | WS_PA | WS_RC);
    EXPECT_TRUE(calls.empty());
}

TEST_F(WinState, SideEffectsOfClearing)
{
    window &w = windows[0];
    winStateSet(&w, WS_CF | WS_SF | WS_PM | WS_AL | WS_SE);
    calls.clear();
    {
        LogCapture log;
        winStateReset(&w, WS_CF | WS_SF);
        EXPECT_EQ(log.count("restore surveillance"), 1) << log.text();
        EXPECT_TRUE(calls.empty()) << "clearing draws no captions";
    }
    winStateReset(&w, WS_PM | WS_AL | WS_SE);
    EXPECT_EQ(calls, (strings{"pause w0 0", "alarm w0 0",
                              "border w0 51 0 0 0 0 0"}));
    EXPECT_EQ(w.state, uint32_t(WS_DN));
}

TEST_F(WinState, BorderColoursOfEachState)
{
    window &w = windows[2];
    auto border_for = [&](uint32_t state) {
        w.state = state;
        calls.clear();
        update_win_border(&w);
        return calls;
    };
    EXPECT_EQ(border_for(0), strings{"border w2 51 0 0 0 0 0"});
    EXPECT_EQ(border_for(WS_SE), strings{"border w2 153 102 51 0 0 0"});
    EXPECT_EQ(border_for(WS_AL), strings{"border w2 192 255 255 0 0 0"});
    EXPECT_EQ(border_for(WS_MO), strings{"border w2 255 0 0 0 0 0"});
    EXPECT_EQ(border_for(WS_AL | WS_MO),
              strings{"border w2 192 255 255 0 0 0"});
    // Selected and alarmed: selection corners, then the alarm-coloured sides
    // between them (rect 600x500: corners 100 and 100).
    EXPECT_EQ(border_for(WS_SE | WS_AL),
              (strings{"border w2 153 102 51 1 100 100",
                       "border w2 192 255 255 0 100 100"}));
    EXPECT_EQ(border_for(WS_SE | WS_MO),
              (strings{"border w2 153 102 51 1 100 100",
                       "border w2 255 0 0 0 100 100"}));
    w.rect.w = 605;
    w.rect.h = 509;
    EXPECT_EQ(border_for(WS_SE | WS_AL)[0], "border w2 153 102 51 1 100 101");
    w.rect = {0, 0, 600, 500};

    // Remote control shows no keyboard selection.
    conf->rctrl_enabled = 1;
    EXPECT_EQ(border_for(WS_SE), strings{"border w2 51 0 0 0 0 0"});
    EXPECT_EQ(border_for(WS_SE | WS_AL),
              strings{"border w2 192 255 255 0 100 100"});
    EXPECT_EQ(border_for(WS_AL), strings{"border w2 192 255 255 0 0 0"});
}

TEST_F(WinState, BordersOnlyForVisibleBoundWindows)
{
    windows[5].state = WS_SE; // no camera
    update_win_border(&windows[5]);
    EXPECT_TRUE(calls.empty());

    g_fsWinIdx = 1; // hidden behind the fullscreen window
    update_win_border(&windows[0]);
    EXPECT_TRUE(calls.empty());
    update_win_border(&windows[1]);
    EXPECT_EQ(calls.size(), 1u);

    // Without a video output the flags still change.
    vout = nullptr;
    calls.clear();
    winStateSet(&windows[1], WS_AL | WS_CF | WS_PM);
    winStateReset(&windows[1], WS_AL | WS_CF | WS_PM);
    update_win_border(&windows[1]);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(windows[1].state, uint32_t(WS_DN));
    winStateSet(nullptr, WS_PM);
    winStateReset(nullptr, WS_PM);
    update_win_border(nullptr);
}

TEST_F(WinState, BindAndUnbind)
{
    window &w = windows[7];
    camera cam{};
    cam.nr = 8;
    w.surfaces = &cam; // anything non-null
    EXPECT_EQ(win_bind_cam(&w, &cam), 0);
    EXPECT_TRUE(w.cam == &cam && cam.win == &w);
    EXPECT_TRUE(w.cur_src == -1 && w.target_src == -1);

    w.state = WS_AL | WS_DN;
    w.rect = {1, 2, 3, 4};
    EXPECT_EQ(win_unbind_cam(&w), 0);
    EXPECT_EQ(calls, strings{"free_surfaces w7"});
    EXPECT_EQ(cam.win, nullptr);
    EXPECT_TRUE(!w.cam && !w.state && !w.rect.w && !w.surfaces);
    EXPECT_TRUE(w.cur_src == -1 && w.target_src == -1);

    // A camera that moved to another window stays bound there.
    win_bind_cam(&windows[8], &cam);
    windows[9].cam = &cam;
    win_unbind_cam(&windows[9]);
    EXPECT_EQ(cam.win, &windows[8]);

    vout = nullptr;
    EXPECT_EQ(win_unbind_cam(&windows[8]), 0);
    EXPECT_EQ(win_unbind_cam(nullptr), 0);
}

TEST_F(WinState, SelectWinMovesTheSelection)
{
    conf->layouts[0].def = find_layout_def("MULTI_13_16");
    cur_layout = 0;
    cams[3].nr = 4;
    select_win(1);
    EXPECT_EQ(g_selectetWinIdx, 1);
    EXPECT_EQ(windows[1].state, uint32_t(WS_SE | WS_DN));
    EXPECT_EQ(sel_row, 0);
    EXPECT_EQ(sel_col, 1);

    // Windows 6 and 7 of MULTI_13_16: the big one at 1,1 and the next at 1,3.
    win_bind_cam(&windows[5], &cams[3]);
    calls.clear();
    select_win(5);
    EXPECT_EQ(g_selectetWinIdx, 5);
    EXPECT_EQ(windows[1].state, uint32_t(WS_DN));
    EXPECT_EQ(sel_row, 1);
    EXPECT_EQ(sel_col, 1);
    EXPECT_EQ(calls, (strings{"border w1 51 0 0 0 0 0",
                              "border w5 153 102 51 0 0 0",
                              "caption w5 1"}));
    select_win(6);
    EXPECT_EQ(sel_row, 1);
    EXPECT_EQ(sel_col, 3);
}

TEST_F(WinState, SelectWinSurvivesAMissingLayout)
{
    sel_row = 7;
    sel_col = 8;
    cur_layout = -1;
    select_win(0);
    EXPECT_EQ(g_selectetWinIdx, 0);
    cur_layout = MAX_LAYOUTS;
    select_win(1);
    cur_layout = 0; // no type
    select_win(2);
    conf->layouts[0].def = find_layout_def("WIDE_2_2");
    select_win(3); // beyond the type's windows
    EXPECT_EQ(g_selectetWinIdx, 3);
    EXPECT_EQ(sel_row, 7);
    EXPECT_EQ(sel_col, 8);
}
