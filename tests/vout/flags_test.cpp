// Surface-flag names and the pointer's bit masks: pure functions, no screen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vout/sdl_private.h"

namespace {

// Bit (row, col) of a 32x32 cursor bit array.
bool bit(const uint8_t *bits, int row, int col)
{
    return (bits[row * 4 + col / 8] >> (7 - col % 8)) & 1;
}

} // namespace

TEST(SurfaceFlagNames, ZeroIsSoftwareSurface)
{
    EXPECT_STREQ(SDL_flags_to_str(0), "SWSURFACE");
}

TEST(SurfaceFlagNames, NamesInTableOrderJoinedByBars)
{
    // FULLSCREEN precedes HWSURFACE in bit value but follows it in the table.
    EXPECT_STREQ(SDL_flags_to_str(0x80000001), "HWSURFACE | FULLSCREEN");
    EXPECT_STREQ(SDL_flags_to_str(SDL_NOFRAME | SDL_DOUBLEBUF | SDL_ASYNCBLIT),
                 "ASYNCBLIT | DOUBLEBUF | NOFRAME");
    EXPECT_STREQ(SDL_flags_to_str(SDL_PREALLOC), "PREALLOC");
}

TEST(SurfaceFlagNames, SharedBitsNameEveryRowTheyTouch)
{
    // OPENGLBLIT is 0xA: it shares bit 0x2 with OPENGL and owns bit 0x8.
    EXPECT_STREQ(SDL_flags_to_str(0x2), "OPENGL | OPENGLBLIT");
    EXPECT_STREQ(SDL_flags_to_str(0x8), "OPENGLBLIT");
    // A bit no row has gives no name, not garbage from the previous call.
    SDL_flags_to_str(0xFFFFFFFF);
    EXPECT_STREQ(SDL_flags_to_str(0x40), "");
}

TEST(SurfaceFlagNames, EveryFlagFitsTheBuffer)
{
    const char *all = SDL_flags_to_str(0xFFFFFFFF);
    EXPECT_EQ(std::strlen(all), 171u);
    EXPECT_EQ(all, flags_text);
    EXPECT_EQ(std::string(all).rfind("HWSURFACE | ASYNCBLIT", 0), 0u);
    EXPECT_EQ(std::string(all).substr(std::strlen(all) - 19),
              "SRCALPHA | PREALLOC");
}

TEST(SurfaceFlagNames, TableEndsWithSoftwareRowAndKeepsDescriptions)
{
    int rows = 0;
    while (sdl_surface_flags[rows].flag != 0)
        rows++;
    EXPECT_EQ(rows, 15);
    EXPECT_STREQ(sdl_surface_flags[rows].name, "SWSURFACE");
    EXPECT_STREQ(sdl_surface_flags[11].name, "SRCCOLORKEY");
    EXPECT_STREQ(sdl_surface_flags[7].description,
                 "Surface supports OpenGL blitting (Display Surface).");
}

TEST(CursorBits, ArrowOutlineIsBlackAndFillIsWhite)
{
    uint8_t data[128], mask[128];
    int hx = -1, hy = -1;
    std::memset(data, 0xAA, sizeof data); // must all be overwritten
    std::memset(mask, 0xAA, sizeof mask);
    cursor_bits_from_xpm(cursor_xpm, data, mask, &hx, &hy);
    EXPECT_EQ(hx, 0);
    EXPECT_EQ(hy, 0);

    // Row 0 "X": only the leftmost bit, black.
    EXPECT_EQ(data[0], 0x80);
    EXPECT_EQ(mask[0], 0x80);
    for (int i = 1; i < 4; i++) {
        EXPECT_EQ(data[i], 0);
        EXPECT_EQ(mask[i], 0);
    }
    // Row 3 "X..X": black ends, white middle.
    EXPECT_EQ(data[12], 0x90);
    EXPECT_EQ(mask[12], 0xF0);
    // Row 21 "X.X.............XX..XX" reaches column 21 (byte 2).
    EXPECT_TRUE(bit(data, 21, 21));
    // Row 19 "X.X..............X.X": white at column 18, black at 19.
    EXPECT_TRUE(bit(mask, 19, 18));
    EXPECT_FALSE(bit(data, 19, 18));
    EXPECT_TRUE(bit(data, 19, 19));
    EXPECT_FALSE(bit(mask, 21, 22));
    // Nothing beyond column 21 and the last row is "XX".
    for (int row = 0; row < 32; row++)
        for (int col = 22; col < 32; col++)
            ASSERT_FALSE(bit(mask, row, col)) << row << "," << col;
    EXPECT_EQ(data[31 * 4], 0xC0);
    EXPECT_EQ(mask[31 * 4], 0xC0);
    // Black is always inside the mask.
    for (int i = 0; i < 128; i++)
        ASSERT_EQ(data[i] & ~mask[i], 0) << i;
}

TEST(CursorBits, ShortRowsAreTransparentAndHotSpotIsRead)
{
    const char *xpm[37] = {"    32    32        3            1", "X c #000000",
                           ". c #ffffff", "  c None"};
    for (int r = 0; r < 32; r++)
        xpm[4 + r] = r == 5 ? "X.X" : ""; // rows cut short of 32 characters
    xpm[36] = "7,9";
    uint8_t data[128], mask[128];
    int hx, hy;
    cursor_bits_from_xpm(xpm, data, mask, &hx, &hy);
    EXPECT_EQ(hx, 7);
    EXPECT_EQ(hy, 9);
    EXPECT_EQ(data[20], 0xA0);
    EXPECT_EQ(mask[20], 0xE0);
    int set = 0;
    for (int i = 0; i < 128; i++)
        set += mask[i] != 0;
    EXPECT_EQ(set, 1);

    xpm[36] = "not a hot spot";
    cursor_bits_from_xpm(xpm, data, mask, &hx, &hy);
    EXPECT_EQ(hx, 0);
    EXPECT_EQ(hy, 0);
}
