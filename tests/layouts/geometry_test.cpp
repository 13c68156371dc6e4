// Window geometry: borders, aspect reduction, base cells, window rectangles
// and hit testing.
#include "layouts_fixture.h"

#include "layouts.h"
#include "media.h"

using layouts_test::LayoutsTest;
using layouts_test::LogCapture;

namespace {

class Geometry : public LayoutsTest {};

const layout_def *quad() { return find_layout_def("QUAD_4_4"); }

// The reduction written out step by step, as a reference.
aspect_pair reference_aspect(uint32_t w, uint32_t h)
{
    aspect_pair out{w, h};
    if (w == 0 || h == 0)
        return out;
    const uint32_t m = w < h ? w : h;
    for (uint32_t d = m - 1; d >= 2; d--)
        if (w % d == 0 && h % d == 0)
            return {w / d, h / d};
    return out;
}

} // namespace

TEST_F(Geometry, BordersFollowTheScreenOrTheOption)
{
    set_win_borders(1920, 1080);
    EXPECT_EQ(borderTB, 4);
    EXPECT_EQ(borderLR, 3);
    set_win_borders(320, 240);
    EXPECT_EQ(borderTB, 1);
    EXPECT_EQ(borderLR, 1);
    set_win_borders(399, 299);
    EXPECT_EQ(borderTB, 1);
    EXPECT_EQ(borderLR, 1);
    set_win_borders(0, 0);
    EXPECT_EQ(borderTB, 1);
    EXPECT_EQ(borderLR, 1);
    set_win_borders(800, 900);
    EXPECT_EQ(borderTB, 2);
    EXPECT_EQ(borderLR, 3);

    conf->border_size = {7, 5};
    set_win_borders(1920, 1080);
    EXPECT_EQ(borderTB, 7);
    EXPECT_EQ(borderLR, 5);
    // Only both values together replace the screen-derived ones.
    conf->border_size = {7, 0};
    set_win_borders(1920, 1080);
    EXPECT_EQ(borderTB, 4);
    EXPECT_EQ(borderLR, 3);
}

TEST_F(Geometry, BorderDebugLineNeedsVerbose3)
{
    conf->verbose = 2;
    {
        LogCapture log;
        set_win_borders(1920, 1080);
        EXPECT_EQ(log.count("cam windows border"), 0);
    }
    conf->verbose = 3;
    LogCapture log;
    set_win_borders(1920, 1080);
    EXPECT_EQ(log.count("(D) cam windows border TB:LR = 4:3"), 1) << log.text();
}

TEST_F(Geometry, CalcAspectKeepsTheLargestDivisorBelowTheMinimum)
{
    struct {
        uint32_t w, h, num, den;
    } cases[] = {
        {704, 576, 11, 9}, {640, 480, 4, 3}, {100, 100, 2, 2},
        {4, 8, 2, 4},      {3, 3, 3, 3},     {2, 7, 2, 7},
        {1, 1, 1, 1},      {0, 480, 0, 480}, {640, 0, 640, 0},
        {0, 0, 0, 0},      {1920, 1080, 16, 9}, {97, 194, 97, 194},
    };
    for (const auto &c : cases) {
        aspect_pair out{123, 456};
        calc_aspect(c.w, c.h, &out);
        EXPECT_EQ(out.num, c.num) << c.w << "x" << c.h;
        EXPECT_EQ(out.den, c.den) << c.w << "x" << c.h;
    }
    calc_aspect(4, 3, nullptr); // no crash

    // Against the step-by-step search over a range of sizes.
    for (uint32_t w = 1; w <= 130; w++)
        for (uint32_t h = 1; h <= 130; h++) {
            aspect_pair out, ref = reference_aspect(w, h);
            calc_aspect(w, h, &out);
            ASSERT_EQ(out.num, ref.num) << w << "x" << h;
            ASSERT_EQ(out.den, ref.den) << w << "x" << h;
        }
    // Huge sizes finish quickly (no step-by-step search from 4 billion).
    aspect_pair big;
    calc_aspect(4294967291u, 4294967291u, &big); // a prime
    EXPECT_EQ(big.num, 4294967291u);
    calc_aspect(0xFFFFFFFFu, 0xFFFFFFFEu, &big);
    EXPECT_EQ(big.num, 0xFFFFFFFFu);
}

TEST_F(Geometry, TargetAspectFromOptionsOrSource)
{
    media_source src{};
    src.aspect_w = 11;
    src.aspect_h = 9;
    aspect_pair a;
    set_target_video_aspect(&src, &a);
    EXPECT_EQ(a.num, 11u);
    EXPECT_EQ(a.den, 9u);

    conf->force_aspect = {16, 0}; // incomplete: ignored
    set_target_video_aspect(&src, &a);
    EXPECT_EQ(a.num, 11u);
    conf->force_aspect = {16, 9};
    set_target_video_aspect(&src, &a);
    EXPECT_EQ(a.num, 16u);
    EXPECT_EQ(a.den, 9u);

    conf->fit2screen = 1;
    set_target_video_aspect(&src, &a);
    EXPECT_EQ(a.num, 0u);
    EXPECT_EQ(a.den, 0u);

    conf->fit2screen = 0;
    conf->force_aspect = {0, 0};
    set_target_video_aspect(nullptr, &a);
    EXPECT_EQ(a.num, 0u);
    set_target_video_aspect(&src, nullptr); // no crash
}

TEST_F(Geometry, QuadOnFullHdWithAspect4To3)
{
    borderTB = 4;
    borderLR = 3;
    const aspect_pair a{4, 3};
    base_cell b;
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 704, 576, &a, &b), 1);
    EXPECT_EQ(b.video_w, 708u);
    EXPECT_EQ(b.video_h, 531u);
    EXPECT_EQ(b.cell_w, 714u);
    EXPECT_EQ(b.cell_h, 539u);
    EXPECT_EQ(b.total_w, 1428u);
    EXPECT_EQ(b.total_h, 1078u);
    EXPECT_EQ(b.off_x, 246u);
    EXPECT_EQ(b.off_y, 1u);
    EXPECT_EQ(b.aspect.num, 4u);
    EXPECT_EQ(b.aspect.den, 3u);

    // Width-limited: a wide aspect on the same screen.
    const aspect_pair wide{2, 1};
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, &wide, &b), 1);
    EXPECT_EQ(b.video_w, 954u); // k = 954 / 2
    EXPECT_EQ(b.video_h, 477u);
    EXPECT_EQ(b.total_w, 1920u);
    EXPECT_EQ(b.total_h, 970u);
    EXPECT_EQ(b.off_x, 0u);
    EXPECT_EQ(b.off_y, 55u);
}

TEST_F(Geometry, Fit2ScreenFillsTheCells)
{
    borderTB = 4;
    borderLR = 3;
    conf->fit2screen = 1;
    const aspect_pair a{4, 3}; // ignored
    base_cell b;
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 704, 576, &a, &b), 1);
    EXPECT_EQ(b.video_w, 954u);
    EXPECT_EQ(b.video_h, 532u);
    EXPECT_EQ(b.total_w, 1920u);
    EXPECT_EQ(b.total_h, 1080u);
    EXPECT_EQ(b.off_x, 0u);
    EXPECT_EQ(b.off_y, 0u);

    // {0, 0} works the same without the option.
    conf->fit2screen = 0;
    const aspect_pair none{0, 0};
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, &none, &b), 1);
    EXPECT_EQ(b.video_w, 954u);
    EXPECT_EQ(b.video_h, 532u);
}

TEST_F(Geometry, AspectTooLargeForTheCellFailsWithItsMessage)
{
    borderTB = 4;
    borderLR = 3;
    base_cell b;
    {
        LogCapture log;
        const aspect_pair a{2000, 1};
        EXPECT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, &a, &b), 0);
        EXPECT_EQ(log.count("cell_w_avail(954) < target_video_aspect->num(2000)"), 1)
            << log.text();
    }
    LogCapture log;
    const aspect_pair a{1, 2000};
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, &a, &b), 0);
    EXPECT_EQ(log.count("cell_h_avail(532) < target_video_aspect->den(2000)"), 1)
        << log.text();
}

TEST_F(Geometry, DegenerateInputsFailCleanly)
{
    borderTB = 4;
    borderLR = 3;
    const aspect_pair a{4, 3}, none{0, 0};
    base_cell b;
    EXPECT_EQ(get_layout_base_cell_rects(nullptr, 1920, 1080, 0, 0, &a, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 0, 1080, 0, 0, &a, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 1920, 0, 0, 0, &a, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, nullptr, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 0, 0, &a, nullptr), 0);

    layout_def empty{99, "EMPTY", 0, 0, 0, nullptr, 0};
    EXPECT_EQ(get_layout_base_cell_rects(&empty, 1920, 1080, 0, 0, &a, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(&empty, 1920, 1080, 0, 0, &none, &b), 0);
    layout_def negative{99, "NEG", 1, -1, 2, nullptr, 1};
    EXPECT_EQ(get_layout_base_cell_rects(&negative, 1920, 1080, 0, 0, &a, &b), 0);

    // A screen no larger than the borders leaves no video area.
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 12, 16, 0, 0, &none, &b), 0);
    {
        LogCapture log;
        EXPECT_EQ(get_layout_base_cell_rects(quad(), 10, 10, 0, 0, &a, &b), 0);
        EXPECT_EQ(log.count("target_video_aspect"), 1) << log.text();
    }
    EXPECT_EQ(b.video_w, 0u);
    EXPECT_EQ(b.cell_w, 0u);

    // Absurd option values do not overflow the comparison.
    const aspect_pair huge{0xFFFFFFFFu, 0xFFFFFFFFu};
    LogCapture log;
    EXPECT_EQ(get_layout_base_cell_rects(quad(), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0,
                                         &huge, &b),
              0);
}

TEST_F(Geometry, SmartScaleShrinksToTheNextSmallerFraction)
{
    conf->smart_scale = 1;
    const aspect_pair a{11, 9};
    base_cell b;
    // A 352x288 cell for a 704x576 stream becomes a third, not a half.
    ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 352, 288, 704, 576,
                                         &a, &b),
              1);
    EXPECT_EQ(b.video_w, 231u);
    EXPECT_EQ(b.video_h, 189u);

    // Growing takes whole multiples of the stream size.
    ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 1000, 900, 352, 288,
                                         &a, &b),
              1);
    EXPECT_EQ(b.video_w, 704u);
    EXPECT_EQ(b.video_h, 576u);

    // Width decides: a cell as wide as the stream but of another height
    // becomes one half.
    const aspect_pair four3{4, 3};
    ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 640, 480, 640, 400,
                                         &four3, &b),
              1);
    EXPECT_EQ(b.video_w, 320u);
    EXPECT_EQ(b.video_h, 240u);

    // Equal sizes stay.
    ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 704, 576, 704, 576,
                                         &a, &b),
              1);
    EXPECT_EQ(b.video_w, 704u);
    EXPECT_EQ(b.video_h, 576u);

    // An unknown stream size leaves the cell as it is, instead of dividing
    // by zero.
    for (auto [vw, vh] : {std::pair{0u, 0u}, {704u, 0u}, {0u, 576u}}) {
        ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 352, 288, vw, vh,
                                             &a, &b),
                  1);
        EXPECT_EQ(b.video_w, 352u);
        EXPECT_EQ(b.video_h, 288u);
    }
}

TEST_F(Geometry, WindowRectanglesOfSingleAndMultiCellWindows)
{
    borderTB = 4;
    borderLR = 3;
    const aspect_pair a{4, 3}, cam{11, 9};
    base_cell b;
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 704, 576, &a, &b), 1);

    win_rect r, v;
    const layout_cell second{0, 1, 1, 1};
    ASSERT_EQ(get_win_rects(&second, &b, 704, 576, &cam, 0, &r, &v), 1);
    EXPECT_EQ(r.x, 246 + 714);
    EXPECT_EQ(r.y, 1);
    EXPECT_EQ(r.w, 714u);
    EXPECT_EQ(r.h, 539u);
    EXPECT_EQ(v.x, 246 + 714 + 3);
    EXPECT_EQ(v.y, 1 + 4);
    EXPECT_EQ(v.w, 708u);
    EXPECT_EQ(v.h, 531u);

    // The same window keeping a 4:3 stream aspect: equals the layout's.
    ASSERT_EQ(get_win_rects(&second, &b, 640, 480, &a, 1, &r, &v), 1);
    EXPECT_EQ(v.w, 708u);
    EXPECT_EQ(v.h, 531u);

    // A 2x2 window keeping an 11:9 stream: centred vertically only.
    const layout_cell big{0, 0, 2, 2};
    ASSERT_EQ(get_win_rects(&big, &b, 704, 576, &cam, 1, &r, &v), 1);
    EXPECT_EQ(r.x, 246);
    EXPECT_EQ(r.y, 1);
    EXPECT_EQ(r.w, 1428u);
    EXPECT_EQ(r.h, 1078u);
    EXPECT_EQ(v.x, 249);
    EXPECT_EQ(v.y, 9);
    EXPECT_EQ(v.w, 1298u);
    EXPECT_EQ(v.h, 1062u);

    // Missing arguments.
    EXPECT_EQ(get_win_rects(nullptr, &b, 0, 0, &cam, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, nullptr, 0, 0, &cam, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, nullptr, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, &cam, 0, nullptr, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, &cam, 0, &r, nullptr), 0);

    // A window too small for its video gets an empty video area.
    base_cell tiny{};
    tiny.cell_w = tiny.cell_h = 2;
    ASSERT_EQ(get_win_rects(&big, &tiny, 704, 576, &cam, 1, &r, &v), 1);
    EXPECT_EQ(v.w, 0u);
    EXPECT_EQ(v.h, 0u);
}

TEST_F(Geometry, UpdateWinRectsKeepsAspectInFullscreenAndWarnsOnMismatch)
{
    borderTB = 4;
    borderLR = 3;
    conf->verbose = 2;
    const aspect_pair a{4, 3};
    base_cell b;
    ASSERT_EQ(get_layout_base_cell_rects(quad(), 1920, 1080, 704, 576, &a, &b), 1);

    media_source src{};
    src.index = 0;
    src.width = 704;
    src.height = 576;
    src.aspect_w = 11;
    src.aspect_h = 9;
    window &w = windows[0];
    w.cur_src = -1;
    const layout_cell cell{0, 0, 1, 1};
    {
        LogCapture log;
        const aspect_pair expected{0, 0};
        update_win_rects(&w, &cell, &b, &expected, &src);
        EXPECT_EQ(w.video_rect.w, 708u); // the layout's aspect, not kept
        EXPECT_EQ(log.count("update window rect(246,1 714x539), "
                            "video_rect(249,5 708x531)"),
                  1)
            << log.text();
        EXPECT_EQ(log.count("aspect"), 0) << "0x0 matches nothing";
    }
    {
        w.cur_src = 0;
        w.state = WS_FS;
        LogCapture log;
        const aspect_pair expected{708, 531};
        update_win_rects(&w, &cell, &b, &expected, &src);
        EXPECT_NE(w.video_rect.w, 708u); // fullscreen keeps 11:9
        EXPECT_EQ(uint64_t(w.video_rect.w) * 9, uint64_t(w.video_rect.h) * 11);
        EXPECT_EQ(log.count("create window rect("), 1) << log.text();
        EXPECT_EQ(log.count("win video aspect "), 1) << log.text();
        EXPECT_EQ(log.count("!= 708x531 target video source aspect"), 1);
    }
    {
        // fit2screen without keep: no check.
        conf->fit2screen = 1;
        w.state = 0;
        conf->verbose = 0;
        LogCapture log;
        const aspect_pair expected{1, 1000};
        update_win_rects(&w, &cell, &b, &expected, &src);
        EXPECT_EQ(log.text(), "");
    }
    update_win_rects(nullptr, &cell, &b, nullptr, &src); // no crash
    update_win_rects(&w, &cell, &b, nullptr, nullptr);
}

TEST_F(Geometry, CursorHitTestIsStrictOnEveryEdge)
{
    camera cam{};
    windows[3].cam = &cam;
    windows[3].rect = {10, 20, 100, 50};
    EXPECT_EQ(get_win_index_uder_cursor(11, 21), 3);
    EXPECT_EQ(get_win_index_uder_cursor(109, 69), 3);
    EXPECT_EQ(get_win_index_uder_cursor(10, 30), -1);  // left edge
    EXPECT_EQ(get_win_index_uder_cursor(50, 20), -1);  // top edge
    EXPECT_EQ(get_win_index_uder_cursor(110, 30), -1); // right edge
    EXPECT_EQ(get_win_index_uder_cursor(50, 70), -1);  // bottom edge

    // Earlier windows win; windows without a camera never do.
    windows[1].rect = {0, 0, 1000, 1000};
    EXPECT_EQ(get_win_index_uder_cursor(50, 30), 3);
    windows[1].cam = &cam;
    EXPECT_EQ(get_win_index_uder_cursor(50, 30), 1);

    // Rectangles reaching past the 32-bit range do not wrap.
    windows[1].cam = nullptr;
    windows[3].rect = {0x7FFFFF00, 0, 0xFFFFFFFFu, 10};
    EXPECT_EQ(get_win_index_uder_cursor(0x7FFFFFFF, 5), 3);
}

TEST_F(Geometry, WindowIndexAndVisibility)
{
    EXPECT_EQ(getWinIdx(&windows[0]), 0);
    EXPECT_EQ(getWinIdx(&windows[59]), 59);
    EXPECT_EQ(getWinIdx(nullptr), -1);
    window other{};
    EXPECT_EQ(getWinIdx(&other), -1);
    EXPECT_EQ(getWinIdx(windows + WINDOWS_COUNT), -1);
    auto *inside = reinterpret_cast<const window *>(
        reinterpret_cast<const char *>(&windows[2]) + 8);
    EXPECT_EQ(getWinIdx(inside), -1);

    camera cam{};
    EXPECT_EQ(is_win_visible(&windows[2]), 0); // no camera
    windows[2].cam = &cam;
    windows[4].cam = &cam;
    EXPECT_EQ(is_win_visible(&windows[2]), 1);
    g_fsWinIdx = 4;
    EXPECT_EQ(is_win_visible(&windows[2]), 0);
    EXPECT_EQ(is_win_visible(&windows[4]), 1);
    EXPECT_EQ(is_win_visible(nullptr), 0);
}
