// Colour conversion tables and converters.
#include <gtest/gtest.h>

#include <vector>

#include "colorconv.h"

namespace {

std::vector<uint8_t> yuv(uint32_t w, uint32_t h, uint8_t y, uint8_t u, uint8_t v)
{
    std::vector<uint8_t> p(size_t(w) * h * 3 / 2);
    std::fill(p.begin(), p.begin() + w * h, y);
    std::fill(p.begin() + w * h, p.begin() + w * h * 5 / 4, u);
    std::fill(p.begin() + w * h * 5 / 4, p.end(), v);
    return p;
}

} // namespace

TEST(ColorConv, TableConverterOnKnownValues)
{
    color_yuv2rgb_init();
    color_yuv2rgb_init(); // idempotent
    auto mid = yuv(4, 2, 128, 128, 128);
    std::vector<uint8_t> out(4 * 2 * 3, 7);
    conv_image src = {4, 2, 0, mid.data()}, dst = {4, 2, 12, out.data()};
    yuv420p_to_rgb24(&dst, &src);
    for (uint8_t b : out)
        EXPECT_EQ(b, 128);

    auto hi = yuv(2, 2, 255, 255, 255);
    std::vector<uint8_t> o2(2 * 2 * 3);
    src = {2, 2, 0, hi.data()};
    dst = {2, 2, 6, o2.data()};
    yuv420p_to_rgb24(&dst, &src);
    EXPECT_EQ(o2[0], 255); // blue, clamped from 509
    EXPECT_EQ(o2[1], 85);  // green: 255 - 127 - 43
    EXPECT_EQ(o2[2], 255); // red
}

TEST(ColorConv, PitchAndChromaRowsAdvanceCorrectly)
{
    // 2x4 picture: top chroma row dark-blue-ish, bottom row red-ish.
    std::vector<uint8_t> p = {100, 100, 100, 100, 100, 100, 100, 100,
                              200, 50,  // U rows
                              100, 220}; // V rows
    std::vector<uint8_t> out(4 * 8, 0xEE);
    conv_image src = {2, 4, 0, p.data()}, dst = {2, 4, 8, out.data()};
    yuv420p_to_rgb24(&dst, &src);
    // Rows 0 and 1 share chroma, rows 2 and 3 share the next one.
    EXPECT_EQ(out[0], out[8]);
    EXPECT_EQ(out[16], out[24]);
    EXPECT_NE(out[0], out[16]);
    // Padding after each row is left alone.
    EXPECT_EQ(out[6], 0xEE);
    EXPECT_EQ(out[7], 0xEE);
}

TEST(ColorConv, EmptyOrMissingPicturesWriteNothing)
{
    std::vector<uint8_t> out(8, 9);
    std::vector<uint8_t> in(8, 0);
    conv_image src = {4, 0, 0, in.data()}, dst = {4, 0, 12, out.data()};
    yuv420p_to_rgb24(&dst, &src);
    a_yuv420p_to_rgb24(&dst, &src);
    grey_to_tgb24(&dst, &src);
    yuv420p_to_rgb24(nullptr, &src);
    for (uint8_t b : out)
        EXPECT_EQ(b, 9);
}
