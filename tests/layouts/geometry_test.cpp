// Window geometry: borders, aspect reduction, base cells, window rectangles
// and hit testing, at the sizes and boundaries where the arithmetic turns.
#include <tuple>

#include "layouts_fixture.h"
#include "media.h"

using testsupport::LogCapture;

namespace {

class Geometry : public LayoutsTest {
protected:
    void SetUp() override
    {
        LayoutsTest::SetUp();
        borderTB = 4; // as on a 1920x1080 screen
        borderLR = 3;
    }
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

} // namespace

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
    const struct {
        uint32_t sw, sh, vw, vh;
        aspect_pair a;
        uint32_t w, h;
    } cases[] = {
        {352, 288, 704, 576, {11, 9}, 231, 189},  // a third, not the half
        {1000, 900, 352, 288, {11, 9}, 704, 576}, // whole multiples when growing
        {640, 480, 640, 400, {4, 3}, 320, 240},   // the width decides
        {352, 288, 0, 0, {11, 9}, 352, 288}, // unknown stream size: the cell stays
        {352, 288, 704, 0, {11, 9}, 352, 288},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(cell(onecam_layout_def, c.sw, c.sh, c.vw, c.vh, c.a), 1);
        EXPECT_EQ(std::pair(b.video_w, b.video_h), std::pair(c.w, c.h)) << c.sw << "x" << c.sh << " " << c.vw;
    }
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
