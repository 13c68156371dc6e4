// The table converter from planar YUV 4:2:0 to packed RGB (BGR byte order).
#include <gtest/gtest.h>

#include <vector>

#include "colorconv.h"

TEST(ColorConv, KnownValuesClampAndChromaRowsAdvance)
{
    color_yuv2rgb_init();
    // 2x4 picture: rows 0-1 share the first chroma row, rows 2-3 the second;
    // rows of the output are 8 bytes, 2 of them padding left alone.
    const struct {
        uint8_t y, u0, v0, u1, v1;
        std::vector<uint8_t> top, bottom; // first pixel of rows 0 and 2 (B, G, R)
    } cases[] = {
        {128, 128, 128, 128, 128, {128, 128, 128}, {128, 128, 128}},
        {255, 255, 255, 0, 0, {255, 85, 255}, {0, 255, 0}}, // clamped both ways
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> in = {c.y, c.y, c.y, c.y, c.y, c.y, c.y, c.y, c.u0, c.u1, c.v0, c.v1};
        std::vector<uint8_t> out(4 * 8, 0xEE);
        conv_image src = {2, 4, 0, in.data()}, dst = {2, 4, 8, out.data()};
        yuv420p_to_rgb24(&dst, &src);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), c.top);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.begin() + 11), c.top);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + 16, out.begin() + 19), c.bottom);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + 22, out.begin() + 24), std::vector<uint8_t>(2, 0xEE));
    }
    // An empty or missing picture writes nothing.
    std::vector<uint8_t> out(8, 9), in(8, 0);
    conv_image src = {4, 0, 0, in.data()}, dst = {4, 0, 12, out.data()};
    yuv420p_to_rgb24(&dst, &src);
    a_yuv420p_to_rgb24(&dst, &src);
    grey_to_tgb24(&dst, &src);
    yuv420p_to_rgb24(nullptr, &src);
    EXPECT_EQ(out, std::vector<uint8_t>(8, 9));
}
