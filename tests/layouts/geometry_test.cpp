// Window geometry: borders, aspect reduction, base cells, window rectangles
// and hit testing.
#include "layouts_fixture.h"

#include <tuple>

#include "layouts.h"
#include "media.h"

using layouts_test::LayoutsTest;
using layouts_test::LogCapture;

namespace {

class Geometry : public LayoutsTest {
protected:
    void SetUp() override
    {
        LayoutsTest::SetUp();
        borderTB = 4; // as on a 1920x1080 screen
        borderLR = 3;
    }
    // video w, h, cell w, h, total w, h, offset x, y
    using cell_sizes = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t,
                                  uint32_t, uint32_t, uint32_t, uint32_t>;
    static cell_sizes sizes(const base_cell &b)
    {
        return {b.video_w, b.video_h, b.cell_w,  b.cell_h,
                b.total_w, b.total_h, b.off_x, b.off_y};
    }
    // Base cell of layout on a screen, for a stream and an aspect.
    int cell(const layout_def *layout, uint32_t sw, uint32_t sh, uint32_t vw,
             uint32_t vh, aspect_pair a)
    {
        return get_layout_base_cell_rects(layout, sw, sh, vw, vh, &a, &b);
    }
    const layout_def *quad = find_layout_def("QUAD_4_4");
    base_cell b{};
};

} // namespace

TEST_F(Geometry, BordersFollowTheScreenOrTheOption)
{
    const struct {
        uint32_t w, h;
        int tb, lr;
    } cases[] = {{1920, 1080, 4, 3}, {320, 240, 1, 1}, {399, 299, 1, 1},
                 {0, 0, 1, 1},       {800, 900, 2, 3}};
    for (const auto &c : cases) {
        set_win_borders(c.w, c.h);
        EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(c.tb, c.lr))
            << c.w << "x" << c.h;
    }
    conf->border_size = {7, 5};
    set_win_borders(1920, 1080);
    EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(7, 5));
    conf->border_size = {7, 0}; // only both values together count
    set_win_borders(1920, 1080);
    EXPECT_EQ(std::pair(borderTB, borderLR), std::pair(4, 3));

}

TEST_F(Geometry, CalcAspectNeverDividesByTheMinimumItself)
{
    const struct {
        uint32_t w, h, num, den;
    } cases[] = {{704, 576, 11, 9}, {640, 480, 4, 3}, {100, 100, 2, 2},
                 {4, 8, 2, 4},      {3, 3, 3, 3},     {2, 7, 2, 7},
                 {0, 480, 0, 480},  {640, 0, 640, 0}, {0, 0, 0, 0}};
    for (const auto &c : cases) {
        aspect_pair out{123, 456};
        calc_aspect(c.w, c.h, &out);
        EXPECT_EQ(std::pair(out.num, out.den), std::pair(c.num, c.den))
            << c.w << "x" << c.h;
    }
    // Huge sizes finish at once (4294967291 is prime).
    aspect_pair big;
    calc_aspect(4294967291u, 4294967291u, &big);
    EXPECT_EQ(big.num, 4294967291u);
}

TEST_F(Geometry, TargetAspectFromOptionsOrSource)
{
    media_source src{};
    src.aspect_w = 11;
    src.aspect_h = 9;
    auto target = [&](const media_source *s) {
        aspect_pair a{77, 77};
        set_target_video_aspect(s, &a);
        return std::pair(a.num, a.den);
    };
    EXPECT_EQ(target(&src), std::pair(11u, 9u));
    conf->force_aspect = {16, 0}; // incomplete: ignored
    EXPECT_EQ(target(&src), std::pair(11u, 9u));
    conf->force_aspect = {16, 9};
    EXPECT_EQ(target(&src), std::pair(16u, 9u));
    conf->fit2screen = 1;
    EXPECT_EQ(target(&src), std::pair(0u, 0u));
    conf->fit2screen = 0;
    conf->force_aspect = {0, 0};
    EXPECT_EQ(target(nullptr), std::pair(0u, 0u));
}

TEST_F(Geometry, BaseCellLimitedByHeightWidthOrFittedToScreen)
{
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    EXPECT_EQ(sizes(b), cell_sizes(708, 531, 714, 539, 1428, 1078, 246, 1));
    EXPECT_EQ(std::pair(b.aspect.num, b.aspect.den), std::pair(4u, 3u));

    ASSERT_EQ(cell(quad, 1920, 1080, 0, 0, {2, 1}), 1); // width limits
    EXPECT_EQ(sizes(b), cell_sizes(954, 477, 960, 485, 1920, 970, 0, 55));

    ASSERT_EQ(cell(quad, 1920, 1080, 0, 0, {0, 0}), 1); // no aspect
    EXPECT_EQ(sizes(b), cell_sizes(954, 532, 960, 540, 1920, 1080, 0, 0));
    conf->fit2screen = 1;
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    EXPECT_EQ(sizes(b), cell_sizes(954, 532, 960, 540, 1920, 1080, 0, 0));
}

TEST_F(Geometry, AspectTooLargeForTheCellFailsWithItsMessage)
{
    {
        LogCapture log;
        EXPECT_EQ(cell(quad, 1920, 1080, 0, 0, {2000, 1}), 0);
        EXPECT_EQ(log.count("cell_w_avail(954) < target_video_aspect->num(2000)"), 1)
            << log.text();
    }
    LogCapture log;
    EXPECT_EQ(cell(quad, 1920, 1080, 0, 0, {1, 2000}), 0);
    EXPECT_EQ(log.count("cell_h_avail(532) < target_video_aspect->den(2000)"), 1)
        << log.text();
}

TEST_F(Geometry, DegenerateInputsFailCleanly)
{
    const aspect_pair a{4, 3};
    EXPECT_EQ(cell(nullptr, 1920, 1080, 0, 0, a), 0);
    EXPECT_EQ(cell(quad, 0, 1080, 0, 0, a), 0);
    EXPECT_EQ(cell(quad, 1920, 0, 0, 0, a), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad, 1920, 1080, 0, 0, nullptr, &b), 0);
    EXPECT_EQ(get_layout_base_cell_rects(quad, 1920, 1080, 0, 0, &a, nullptr), 0);

    const layout_def empty{99, "EMPTY", 0, 0, 0, nullptr, 0};
    const layout_def negative{99, "NEG", 1, -1, 2, nullptr, 1};
    EXPECT_EQ(cell(&empty, 1920, 1080, 0, 0, a), 0);
    EXPECT_EQ(cell(&empty, 1920, 1080, 0, 0, {0, 0}), 0);
    EXPECT_EQ(cell(&negative, 1920, 1080, 0, 0, a), 0);

    // A screen no larger than the borders leaves no video area.
    EXPECT_EQ(cell(quad, 12, 16, 0, 0, {0, 0}), 0);
    LogCapture log;
    EXPECT_EQ(cell(quad, 10, 10, 0, 0, a), 0);
    EXPECT_EQ(log.count("target_video_aspect"), 1) << log.text();
    EXPECT_EQ(sizes(b), cell_sizes(0, 0, 0, 0, 0, 0, 0, 0));
    // Absurd values do not overflow the comparison.
    EXPECT_EQ(cell(quad, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0,
                   {0xFFFFFFFFu, 0xFFFFFFFFu}),
              0);
}

TEST_F(Geometry, SmartScaleTakesWholeFractionsOrMultiples)
{
    conf->smart_scale = 1;
    borderTB = borderLR = 0;
    // A 352x288 cell for a 704x576 stream becomes a third, not the half.
    ASSERT_EQ(cell(onecam_layout_def, 352, 288, 704, 576, {11, 9}), 1);
    EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(231u, 189u));
    // Growing takes whole multiples of the stream size (990x810 -> 2x).
    ASSERT_EQ(cell(onecam_layout_def, 1000, 900, 352, 288, {11, 9}), 1);
    EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(704u, 576u));
    // Width decides: as wide as the stream but of another height -> half.
    ASSERT_EQ(cell(onecam_layout_def, 640, 480, 640, 400, {4, 3}), 1);
    EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(320u, 240u));
    ASSERT_EQ(cell(onecam_layout_def, 704, 576, 704, 576, {11, 9}), 1);
    EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(704u, 576u));
    // An unknown stream size leaves the cell as it is (no division by zero).
    for (auto [vw, vh] : {std::pair{0u, 0u}, {704u, 0u}, {0u, 576u}}) {
        ASSERT_EQ(cell(onecam_layout_def, 352, 288, vw, vh, {11, 9}), 1);
        EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(352u, 288u));
    }
}

TEST_F(Geometry, WindowRectanglesOfSingleAndMultiCellWindows)
{
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    const aspect_pair cam{11, 9}, four3{4, 3};
    auto rects = [&](layout_cell c, aspect_pair s, int keep) {
        win_rect r{}, v{};
        EXPECT_EQ(get_win_rects(&c, &b, 704, 576, &s, keep, &r, &v), 1);
        return std::tuple(r.x, r.y, r.w, r.h, v.x, v.y, v.w, v.h);
    };
    using rt = std::tuple<int32_t, int32_t, uint32_t, uint32_t, int32_t,
                          int32_t, uint32_t, uint32_t>;
    EXPECT_EQ(rects({0, 1, 1, 1}, cam, 0),
              rt(960, 1, 714, 539, 963, 5, 708, 531));
    EXPECT_EQ(rects({1, 1, 1, 1}, four3, 1), // kept aspect equals the layout's
              rt(960, 540, 714, 539, 963, 544, 708, 531));
    // A 2x2 window keeping 11:9: centred vertically (4), not horizontally.
    EXPECT_EQ(rects({0, 0, 2, 2}, cam, 1),
              rt(246, 1, 1428, 1078, 249, 9, 1298, 1062));

    win_rect r, v;
    const layout_cell big{0, 0, 2, 2};
    EXPECT_EQ(get_win_rects(nullptr, &b, 0, 0, &cam, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, nullptr, 0, 0, &cam, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, nullptr, 0, &r, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, &cam, 0, nullptr, &v), 0);
    EXPECT_EQ(get_win_rects(&big, &b, 0, 0, &cam, 0, &r, nullptr), 0);

    // A window too small for its video gets an empty video area.
    base_cell tiny{};
    tiny.cell_w = tiny.cell_h = 2;
    LogCapture log;
    ASSERT_EQ(get_win_rects(&big, &tiny, 704, 576, &cam, 1, &r, &v), 1);
    EXPECT_EQ(std::pair(v.w, v.h), std::pair(0u, 0u));
}

TEST_F(Geometry, UpdateWinRectsKeepsAspectInFullscreenAndWarnsOnMismatch)
{
    conf->verbose = 2;
    ASSERT_EQ(cell(quad, 1920, 1080, 704, 576, {4, 3}), 1);
    media_source src{};
    src.width = 704;
    src.height = 576;
    src.aspect_w = 11;
    src.aspect_h = 9;
    window &w = windows[0];
    w.cur_src = -1;
    const layout_cell one{0, 0, 1, 1};
    {
        LogCapture log;
        const aspect_pair expected{0, 0};
        update_win_rects(&w, &one, &b, &expected, &src);
        EXPECT_EQ(w.video_rect.w, 708u); // the layout's aspect
        EXPECT_EQ(log.count("update window rect(246,1 714x539), "
                            "video_rect(249,5 708x531)"),
                  1)
            << log.text();
        EXPECT_EQ(log.count("aspect"), 0);
    }
    {
        w.cur_src = 0;
        w.state = WS_FS; // fullscreen keeps the stream's 11:9
        LogCapture log;
        const aspect_pair expected{708, 531};
        update_win_rects(&w, &one, &b, &expected, &src);
        EXPECT_EQ(std::pair(w.video_rect.w, w.video_rect.h),
                  std::pair(649u, 531u));
        EXPECT_EQ(log.count("create window rect("), 1) << log.text();
        EXPECT_EQ(log.count("win video aspect 649x531 != 708x531 target "
                            "video source aspect"),
                  1);
    }
    conf->fit2screen = 1; // without keep: no check
    conf->verbose = 0;
    w.state = 0;
    LogCapture log;
    const aspect_pair odd{1, 1000};
    update_win_rects(&w, &one, &b, &odd, &src);
    update_win_rects(nullptr, &one, &b, nullptr, &src);
    update_win_rects(&w, &one, &b, nullptr, nullptr);
    EXPECT_EQ(log.text(), "");
}

TEST_F(Geometry, CursorHitTestIsStrictOnEveryEdge)
{
    camera cam{};
    windows[3].cam = &cam;
    windows[3].rect = {10, 20, 100, 50};
    EXPECT_EQ(get_win_index_uder_cursor(11, 21), 3);
    EXPECT_EQ(get_win_index_uder_cursor(109, 69), 3);
    for (auto [x, y] : {std::pair{10, 30}, {50, 20}, {110, 30}, {50, 70}})
        EXPECT_EQ(get_win_index_uder_cursor(x, y), -1) << x << "," << y;

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

TEST_F(Geometry, WindowIndexAndVisibility)
{
    EXPECT_EQ(getWinIdx(&windows[0]), 0);
    EXPECT_EQ(getWinIdx(&windows[59]), 59);
    window other{};
    EXPECT_EQ(getWinIdx(&other), -1);
    EXPECT_EQ(getWinIdx(nullptr), -1);
    EXPECT_EQ(getWinIdx(windows + WINDOWS_COUNT), -1);
    EXPECT_EQ(getWinIdx(reinterpret_cast<const window *>(
                  reinterpret_cast<const char *>(&windows[2]) + 8)),
              -1);

    camera cam{};
    EXPECT_EQ(is_win_visible(&windows[2]), 0); // no camera
    windows[2].cam = windows[4].cam = &cam;
    EXPECT_EQ(is_win_visible(&windows[2]), 1);
    g_fsWinIdx = 4;
    EXPECT_EQ(is_win_visible(&windows[2]), 0);
    EXPECT_EQ(is_win_visible(&windows[4]), 1);
    EXPECT_EQ(is_win_visible(nullptr), 0);
}
