// Surface-flag names and the pointer's bit masks: pure functions, no screen.
#include <gtest/gtest.h>

#include <cstring>

#include "vout/sdl_private.h"

TEST(SurfaceFlagNames, TableOrderSharedBitsAndLimits)
{
    EXPECT_STREQ(SDL_flags_to_str(0), "SWSURFACE");
    // FULLSCREEN's bit is higher but its row comes later.
    EXPECT_STREQ(SDL_flags_to_str(0x80000001), "HWSURFACE | FULLSCREEN");
    // OPENGLBLIT (0xA) shares bit 0x2 with OPENGL.
    EXPECT_STREQ(SDL_flags_to_str(0x2), "OPENGL | OPENGLBLIT");
    EXPECT_STREQ(SDL_flags_to_str(0x8), "OPENGLBLIT");
    EXPECT_EQ(std::strlen(SDL_flags_to_str(0xFFFFFFFF)), 171u);
    // A bit no row has gives no name, not what the last call left.
    EXPECT_STREQ(SDL_flags_to_str(0x40), "");
}

TEST(CursorBits, ArrowRowsAndHotSpot)
{
    uint8_t data[128], mask[128];
    int hx = -1, hy = -1;
    std::memset(data, 0xAA, sizeof data); // every byte must be written
    std::memset(mask, 0xAA, sizeof mask);
    cursor_bits_from_xpm(cursor_xpm, data, mask, &hx, &hy);
    EXPECT_EQ(hx, 0);
    EXPECT_EQ(hy, 0);
    EXPECT_EQ(data[0], 0x80); // "X": black tip
    EXPECT_EQ(mask[0], 0x80);
    EXPECT_EQ(data[12], 0x90); // "X..X": white inside
    EXPECT_EQ(mask[12], 0xF0);
    // Row 21 "X.X.............XX..XX": columns 16-23 are "XX..XX  ".
    EXPECT_EQ(data[21 * 4 + 2], 0xCC);
    EXPECT_EQ(mask[21 * 4 + 2], 0xFC);
    EXPECT_EQ(mask[21 * 4 + 3], 0);
    for (int i = 0; i < 128; i++)
        ASSERT_EQ(data[i] & ~mask[i], 0) << i; // black lies inside the mask

    // Rows cut short are transparent to their end; the hot spot is read.
    const char *xpm[37] = {"", "", "", ""};
    for (int r = 0; r < 32; r++)
        xpm[4 + r] = r == 5 ? "X.X" : "";
    xpm[36] = "7,9";
    cursor_bits_from_xpm(xpm, data, mask, &hx, &hy);
    EXPECT_EQ(hx, 7);
    EXPECT_EQ(hy, 9);
    EXPECT_EQ(data[20], 0xA0);
    EXPECT_EQ(mask[20], 0xE0);
    EXPECT_EQ(mask[21] | mask[19], 0);
}
