// Window state: flag changes and their side effects, border colours, binding
// and selection, against a video output that records its calls.
#include <string>
#include <vector>

#include "camera.h"
#include "layouts_fixture.h"

using testsupport::LogCapture;

namespace {

using strings = std::vector<std::string>;
strings &calls = testsupport::vout_calls;

class WinState : public LayoutsTest {
protected:
    void SetUp() override
    {
        LayoutsTest::SetUp();
        calls.clear();
        vout = &testsupport::fake_vout;
        g_monotime_microsec = 1000;
        for (int i = 0; i < 4; i++) {
            cams[i].nr = i + 1;
            win_bind_cam(&windows[i], &cams[i]);
            windows[i].rect = {0, 0, 600, 500};
        }
    }
    static inline camera cams[4]; // large: kept off the stack
};

} // namespace

TEST_F(WinState, SideEffectsOfSettingAndClearingInOrder)
{
    conf->verbose = 2;
    window &w = windows[1];
    {
        LogCapture log;
        winStateSet(&w, WS_SE); // selecting also shows the name
        EXPECT_EQ(w.state, uint32_t(WS_SE | WS_DN));
        EXPECT_EQ(w.state_mono[4], 1000u);
        EXPECT_EQ(log.count("(D) cam[2]:    set flags [Se,dN], diff=0x18"), 1) << log.text();
        EXPECT_EQ(calls, (strings{"border w1 153 102 51 0 0 0", "caption w1 1"}));
    }
    calls.clear();
    LogCapture log;
    winStateSet(&w, WS_AL | WS_CF | WS_SF | WS_PM);
    EXPECT_EQ(calls, (strings{"border w1 153 102 51 1 100 100", "border w1 192 255 255 0 100 100", "alarm w1 1",
                              "status w1", "caption w1 1", "pause w1 1"}));
    const size_t sf = log.text().find("server failure!"), cf = log.text().find("capture failed");
    EXPECT_TRUE(sf != std::string::npos && cf != std::string::npos && sf < cf) << log.text();
    calls.clear();
    winStateSet(&w, WS_FS | WS_PA | WS_RC);
    EXPECT_TRUE(calls.empty());

    winStateReset(&w, WS_CF | WS_SF);
    EXPECT_EQ(log.count("restore surveillance"), 1) << log.text();
    EXPECT_TRUE(calls.empty()) << "clearing draws no captions";
    winStateReset(&w, WS_PM | WS_AL | WS_SE);
    EXPECT_EQ(calls, (strings{"pause w1 0", "alarm w1 0", "border w1 51 0 0 0 0 0"}));
    EXPECT_EQ(w.state, uint32_t(WS_DN | WS_FS | WS_PA | WS_RC));
}

TEST_F(WinState, BorderColoursOfEachState)
{
    window &w = windows[2];
    const struct {
        uint32_t state;
        int rctrl;
        strings drawn;
    } cases[] = {
        {0, 0, {"border w2 51 0 0 0 0 0"}},
        {WS_SE, 0, {"border w2 153 102 51 0 0 0"}},
        {WS_AL, 0, {"border w2 192 255 255 0 0 0"}},
        {WS_MO, 0, {"border w2 255 0 0 0 0 0"}},
        {WS_AL | WS_MO, 0, {"border w2 192 255 255 0 0 0"}},
        // selected and alarmed: selection corners, then the alarm colour
        // between them (600x500: corners of 100 and 100)
        {WS_SE | WS_AL, 0, {"border w2 153 102 51 1 100 100", "border w2 192 255 255 0 100 100"}},
        {WS_SE | WS_MO, 0, {"border w2 153 102 51 1 100 100", "border w2 255 0 0 0 100 100"}},
        // remote control shows no keyboard selection
        {WS_SE, 1, {"border w2 51 0 0 0 0 0"}},
        {WS_SE | WS_AL, 1, {"border w2 192 255 255 0 100 100"}},
    };
    for (const auto &c : cases) {
        w.state = c.state;
        conf->rctrl_enabled = c.rctrl;
        calls.clear();
        update_win_border(&w);
        EXPECT_EQ(calls, c.drawn) << std::hex << c.state << " rctrl " << c.rctrl;
    }
    conf->rctrl_enabled = 0;
    w.state = WS_SE | WS_AL;
    w.rect = {0, 0, 605, 509};
    calls.clear();
    update_win_border(&w);
    EXPECT_EQ(calls[0], "border w2 153 102 51 1 100 101");

    // Only visible windows with a camera get one; without a video output
    // the flags still change.
    windows[5].state = WS_SE;
    g_fsWinIdx = 1;
    calls.clear();
    for (int i : {5, 0, 1})
        update_win_border(&windows[i]);
    EXPECT_EQ(calls, strings{"border w1 51 0 0 0 0 0"});
    vout = nullptr;
    winStateSet(&windows[1], WS_AL);
    update_win_border(nullptr);
    EXPECT_EQ(windows[1].state, uint32_t(WS_AL | WS_DN));
}

TEST_F(WinState, BindUnbindAndSelect)
{
    window &w = windows[7];
    camera cam{};
    w.surfaces = &cam; // anything non-null
    EXPECT_EQ(win_bind_cam(&w, &cam), 0);
    EXPECT_TRUE(w.cam == &cam && cam.win == &w && w.cur_src == -1 && w.target_src == -1);
    w.state = WS_AL | WS_DN;
    w.rect = {1, 2, 3, 4};
    EXPECT_EQ(win_unbind_cam(&w), 0);
    EXPECT_EQ(calls, strings{"free_surfaces w7"});
    EXPECT_TRUE(!cam.win && !w.cam && !w.state && !w.rect.w && !w.surfaces);
    // A camera that moved to another window stays bound there.
    win_bind_cam(&windows[8], &cam);
    windows[9].cam = &cam;
    win_unbind_cam(&windows[9]);
    EXPECT_EQ(cam.win, &windows[8]);
    EXPECT_EQ(win_unbind_cam(nullptr), 0);

    // Windows 2, 6 and 7 of MULTI_13_16: at 0,1, the big one at 1,1, the
    // next at 1,3.
    conf->layouts[0].def = find_layout_def("MULTI_13_16");
    win_bind_cam(&windows[5], &cams[3]);
    select_win(1);
    calls.clear();
    select_win(5);
    EXPECT_EQ(g_selectetWinIdx, 5);
    EXPECT_EQ(windows[1].state, uint32_t(WS_DN));
    EXPECT_EQ(std::pair(sel_row, sel_col), std::pair(1, 1));
    EXPECT_EQ(calls, (strings{"border w1 51 0 0 0 0 0", "border w5 153 102 51 0 0 0", "caption w5 1"}));
    select_win(6);
    EXPECT_EQ(std::pair(sel_row, sel_col), std::pair(1, 3));
    // Without a layout, or beyond its windows, the cell stays as it was.
    for (int layout : {-1, MAX_LAYOUTS, 1}) {
        cur_layout = layout;
        select_win(2);
        EXPECT_EQ(std::pair(sel_row, sel_col), std::pair(1, 3));
    }
}
