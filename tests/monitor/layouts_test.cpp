// Layout types, window geometry and window state: the tiling of every
// built-in type, the arithmetic where it turns, flag changes and their side
// effects against a video output that records its calls.
#include <tuple>

#include "monitor_fixture.h"

using namespace monitortest;

namespace {

class Geometry : public MonitorTest {
protected:
    // Base cell of layout on a screen, for a stream and an aspect.
    int cell(const layout_def *layout, uint32_t sw, uint32_t sh, uint32_t vw, uint32_t vh, aspect_pair a)
    {
        return get_layout_base_cell_rects(layout, sw, sh, vw, vh, &a, &b);
    }
    // video w, h, cell w, h, total w, h, offset x, y
    std::vector<uint32_t> sizes() const
    {
        return {b.video_w, b.video_h, b.cell_w, b.cell_h, b.total_w, b.total_h, b.off_x, b.off_y};
    }
    const layout_def *quad = find_layout_def("QUAD_4_4");
    base_cell b{};
};

strings &calls = vout_calls;

// Cameras 1 to 4 in windows 0 to 3 of 600x500 (no layout applied).
class WinState : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        g_monotime_microsec = 1000;
        cur_layout = 0;
        for (int i = 0; i < 4; i++) {
            cams[i] = add_camera(i + 1);
            win_bind_cam(&windows[i], cams[i]);
            windows[i].rect = {0, 0, 600, 500};
        }
        calls.clear();
    }
    camera *cams[4] = {};
};

} // namespace

// (The build refuses a table whose rows do not tile their grids.)  Lookup
// ignores case and never returns the terminator or a prefix.
TEST(LayoutDefs, FoundByWholeNameInAnyCase)
{
    for (const layout_def *d = layouts_defs; d->id != LAYOUT_DEF_END_ID; d++)
        EXPECT_EQ(find_layout_def(d->name), d) << d->name;
    EXPECT_EQ(find_layout_def("Quad_4_4"), &layouts_defs[3]);
    for (const char *bad : {"", "QUAD_4", "QUAD_4_44", " QUAD_4_4", "999", "WIDE_61_60", (const char *)nullptr})
        EXPECT_EQ(find_layout_def(bad), nullptr) << (bad ? bad : "null");
}

TEST_F(Geometry, BordersAndAspectReduction)
{
    const struct {
        uint32_t w, h;
        int tb, lr;
    } borders[] = {{1920, 1080, 4, 3}, {320, 240, 1, 1}, {399, 299, 1, 1}, {0, 0, 1, 1}, {800, 900, 2, 3}};
    for (const auto &c : borders) {
        set_win_borders(c.w, c.h);
        EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(c.tb, c.lr)) << c.w << "x" << c.h;
    }
    conf->border_size = {7, 5};
    set_win_borders(1920, 1080);
    EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(7, 5));
    conf->border_size = {7, 0}; // only both values together count
    set_win_borders(1920, 1080);
    EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(4, 3));

    // Reduction stops at the smallest divisor above 2; huge sizes finish at once.
    for (auto [w, h, num, den] : {std::tuple{704u, 576u, 11u, 9u}, {4u, 8u, 2u, 4u}, {3u, 3u, 3u, 3u},
                                  {0u, 480u, 0u, 480u}, {4294967291u, 4294967291u, 4294967291u, 4294967291u}}) {
        aspect_pair out{123, 456};
        calc_aspect(w, h, &out);
        EXPECT_EQ(std::pair(out.num, out.den), std::pair(num, den)) << w << "x" << h;
    }
}

TEST_F(Geometry, BaseCells)
{
    using V = std::vector<uint32_t>;
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1); // height limits
    EXPECT_EQ(sizes(), (V{708, 531, 714, 539, 1428, 1078, 246, 1}));
    ASSERT_EQ(cell(quad, 1920, 1080, 0, 0, {2, 1}), 1); // width limits
    EXPECT_EQ(sizes(), (V{954, 477, 960, 485, 1920, 970, 0, 55}));
    ASSERT_EQ(cell(quad, 1920, 1080, 0, 0, {0, 0}), 1); // no aspect: the screen
    EXPECT_EQ(sizes(), (V{954, 532, 960, 540, 1920, 1080, 0, 0}));
    conf->fit2screen = 1;
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    EXPECT_EQ(sizes(), (V{954, 532, 960, 540, 1920, 1080, 0, 0}));
    conf->fit2screen = 0;

    // Aspects too large for the cell fail with their message; so do empty
    // or absurd inputs, without overflow.
    LogCapture log;
    EXPECT_EQ(cell(quad, 1920, 1080, 0, 0, {2000, 1}), 0);
    EXPECT_EQ(cell(quad, 1920, 1080, 0, 0, {1, 2000}), 0);
    EXPECT_EQ(log.count("cell_w_avail(954) < target_video_aspect->num(2000)"), 1) << log.text();
    EXPECT_EQ(log.count("cell_h_avail(532) < target_video_aspect->den(2000)"), 1) << log.text();
    const layout_def empty{99, "EMPTY", 0, 0, 0, nullptr, 0}, negative{99, "NEG", 1, -1, 2, nullptr, 1};
    const aspect_pair a{4, 3};
    for (auto [layout, w, h, asp] : {std::tuple{(const layout_def *)nullptr, 1920u, 1080u, a}, {quad, 0u, 1080u, a},
                                     {quad, 1920u, 0u, a}, {&empty, 1920u, 1080u, a}, {&empty, 1920u, 1080u, {0, 0}},
                                     {&negative, 1920u, 1080u, a}, {quad, 12u, 16u, {0, 0}}, {quad, 10u, 10u, a},
                                     {quad, 0xFFFFFFFFu, 0xFFFFFFFFu, {0xFFFFFFFFu, 0xFFFFFFFFu}}})
        EXPECT_EQ(cell(layout, w, h, 0, 0, asp), 0) << w << "x" << h;
    EXPECT_EQ(get_layout_base_cell_rects(quad, 1920, 1080, 0, 0, nullptr, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad, 1920, 1080, 0, 0, &a, nullptr), 0);
}

TEST_F(Geometry, SmartScaleTakesWholeFractionsOrMultiples)
{
    conf->smart_scale = 1;
    borderTB = borderLR = 0;
    // screen, stream, aspect: video size
    for (auto [sw, sh, vw, vh, a, w, h] : {
             std::tuple{352u, 288u, 704u, 576u, aspect_pair{11, 9}, 231u, 189u}, // a third, not the half
             {1000u, 900u, 352u, 288u, {11, 9}, 704u, 576u},                      // whole multiples when growing
             {640u, 480u, 640u, 400u, {4, 3}, 320u, 240u},                        // the width decides
             {352u, 288u, 0u, 0u, {11, 9}, 352u, 288u}, // unknown stream size: the cell stays
             {352u, 288u, 704u, 0u, {11, 9}, 352u, 288u}}) {
        ASSERT_EQ(cell(onecam_layout_def, sw, sh, vw, vh, a), 1);
        EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(w, h)) << sw << "x" << sh << " " << vw;
    }
    // A stream of 2^32-1 squared once divided by zero.
    ASSERT_EQ(cell(onecam_layout_def, 1920, 1080, UINT32_MAX, UINT32_MAX, {1, 200}), 1);
    EXPECT_GT(b.video_w, 0u);
}

TEST_F(Geometry, WindowRectanglesOfSingleAndMultiCellWindows)
{
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    const aspect_pair cam{11, 9}, four3{4, 3};
    auto rects = [&](layout_cell c, aspect_pair s, int keep) {
        win_rect r{}, v{};
        EXPECT_EQ(get_win_rects(&c, &b, 704, 576, &s, keep, &r, &v), 1);
        return std::vector<int64_t>{r.x, r.y, r.w, r.h, v.x, v.y, v.w, v.h};
    };
    using V = std::vector<int64_t>;
    EXPECT_EQ(rects({0, 1, 1, 1}, cam, 0), (V{960, 1, 714, 539, 963, 5, 708, 531}));
    EXPECT_EQ(rects({1, 1, 1, 1}, four3, 1), (V{960, 540, 714, 539, 963, 544, 708, 531}));
    // A 2x2 window keeping 11:9: centred vertically (4), not horizontally.
    EXPECT_EQ(rects({0, 0, 2, 2}, cam, 1), (V{246, 1, 1428, 1078, 249, 9, 1298, 1062}));
    // A window too small for its video gets an empty video area.
    b = {};
    b.cell_w = b.cell_h = 2;
    LogCapture log;
    EXPECT_EQ(rects({0, 0, 2, 2}, cam, 1), (V{0, 0, 4, 4, 3, 4, 0, 0}));
}

TEST_F(Geometry, CursorHitTestIsStrictOnEveryEdge)
{
    camera cam{};
    windows[3].cam = &cam;
    windows[3].rect = {10, 20, 100, 50};
    for (auto [x, y, want] : {std::tuple{11, 21, 3}, {109, 69, 3}, {10, 30, -1}, {50, 20, -1}, {110, 30, -1},
                              {50, 70, -1}})
        EXPECT_EQ(get_win_index_uder_cursor(x, y), want) << x << "," << y;
    // Earlier windows win; windows without a camera never do.
    windows[1].rect = {0, 0, 1000, 1000};
    EXPECT_EQ(get_win_index_uder_cursor(50, 30), 3);
    windows[1].cam = &cam;
    EXPECT_EQ(get_win_index_uder_cursor(50, 30), 1);
    // Right edges past the 32-bit range do not wrap.
    windows[1].cam = nullptr;
    windows[3].rect = {0x7FFFFF00, 0, 0xFFFFFFFFu, 10};
    EXPECT_EQ(get_win_index_uder_cursor(0x7FFFFFFF, 5), 3);
}

// Setting flags draws what they show, in order (selecting also shows the
// name); clearing draws only what goes away; the end of a failure is logged.
TEST_F(WinState, SideEffectsOfSettingAndClearingInOrder)
{
    window &w = windows[1];
    LogCapture log;
    winStateSet(&w, WS_SE);
    EXPECT_EQ(w.state, uint32_t(WS_SE | WS_DN));
    EXPECT_EQ(calls, (strings{"border w1 153 102 51 0 0 0", "caption w1 1"}));
    calls.clear();
    winStateSet(&w, WS_AL | WS_CF | WS_SF | WS_PM);
    EXPECT_EQ(calls, (strings{"border w1 153 102 51 1 100 100", "border w1 192 255 255 0 100 100", "alarm w1 1",
                              "status w1", "caption w1 1", "pause w1 1"}));
    const size_t sf = log.text().find("server failure!"), cf = log.text().find("capture failed");
    EXPECT_TRUE(sf != std::string::npos && cf != std::string::npos && sf < cf) << log.text();
    calls.clear();
    winStateSet(&w, WS_FS | WS_PA | WS_RC);
    winStateReset(&w, WS_CF | WS_SF);
    EXPECT_TRUE(calls.empty()) << "these flags draw nothing, nor does clearing the failures";
    EXPECT_EQ(log.count("restore surveillance"), 1) << log.text();
    winStateReset(&w, WS_PM | WS_AL | WS_SE);
    EXPECT_EQ(calls, (strings{"pause w1 0", "alarm w1 0", "border w1 51 0 0 0 0 0"}));
    EXPECT_EQ(w.state, uint32_t(WS_DN | WS_FS | WS_PA | WS_RC));
}

TEST_F(WinState, BorderColoursOfEachState)
{
    window &w = windows[2];
    // State, remote control on, borders drawn.  Selected and alarmed:
    // selection corners (of 100 and 100 at 600x500), then the alarm colour
    // between them; remote control shows no keyboard selection.
    const std::tuple<uint32_t, int, strings> cases[] = {
        {0, 0, {"border w2 51 0 0 0 0 0"}},          {WS_SE, 0, {"border w2 153 102 51 0 0 0"}},
        {WS_AL, 0, {"border w2 192 255 255 0 0 0"}}, {WS_MO, 0, {"border w2 255 0 0 0 0 0"}},
        {WS_AL | WS_MO, 0, {"border w2 192 255 255 0 0 0"}},
        {WS_SE | WS_AL, 0, {"border w2 153 102 51 1 100 100", "border w2 192 255 255 0 100 100"}},
        {WS_SE | WS_MO, 0, {"border w2 153 102 51 1 100 100", "border w2 255 0 0 0 100 100"}},
        {WS_SE, 1, {"border w2 51 0 0 0 0 0"}},      {WS_SE | WS_AL, 1, {"border w2 192 255 255 0 100 100"}},
    };
    for (const auto &[state, rctrl, drawn] : cases) {
        w.state = state;
        conf->rctrl_enabled = rctrl;
        calls.clear();
        update_win_border(&w);
        EXPECT_EQ(calls, drawn) << std::hex << state << " rctrl " << rctrl;
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

TEST_F(WinState, BindAndUnbind)
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

    // Selecting without a layout, or beyond the table, keeps the cell.
    sel_row = 1, sel_col = 3;
    for (int layout : {-1, MAX_LAYOUTS, 1}) {
        cur_layout = layout;
        select_win(2);
        EXPECT_EQ(std::pair(sel_row, sel_col), std::pair(1, 3));
    }
}
