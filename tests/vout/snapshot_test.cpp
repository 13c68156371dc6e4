// Whole-screen and window snapshots read back from their files.
#include <gtest/gtest.h>

#include "harness.h"
#include "vout/sdl_private.h"

using testsupport::Image;
using testsupport::read_png;
using testsupport::TempDir;

namespace {

constexpr int SW = 64, SH = 48;

class Snapshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A 32-bit screen without alpha, as the X server gives.
        screen = SDL_CreateRGBSurface(SDL_SWSURFACE, SW, SH, 32, 0xFF0000,
                                      0xFF00, 0xFF, 0);
        ASSERT_NE(screen, nullptr);
        for (int y = 0; y < SH; y++)
            for (int x = 0; x < SW; x++) {
                SDL_Rect px = {Sint16(x), Sint16(y), 1, 1};
                SDL_FillRect(screen, &px, SDL_MapRGB(screen->format, colour(x, y).r,
                                                     colour(x, y).g, colour(x, y).b));
            }
    }
    void TearDown() override
    {
        SDL_FreeSurface(screen);
        screen = nullptr;
    }
    static SDL_Color colour(int x, int y)
    {
        return {Uint8(x * 4), Uint8(y * 5), Uint8(200 - x - y), 0};
    }
    static void expect_area(const Image &png, int x0, int y0)
    {
        ASSERT_TRUE(png.ok());
        for (int y = 0; y < png.height; y++)
            for (int x = 0; x < png.width; x++) {
                const SDL_Color want = colour(x0 + int(x), y0 + int(y));
                const auto got = png.pixel(x, y);
                ASSERT_EQ(got.r, want.r) << x << "," << y;
                ASSERT_EQ(got.g, want.g) << x << "," << y;
                ASSERT_EQ(got.b, want.b) << x << "," << y;
            }
    }
    testsupport::TempDir dir_;
};

} // namespace

TEST_F(Snapshots, UnwritablePlacesAndMissingScreenFailCleanly)
{
    testing::internal::CaptureStderr();
    const std::string path = dir_.file("no/such/dir/x.png");
    EXPECT_EQ(screen_snapshot(path.c_str()), 0);
    window w = {};
    w.video_rect = {0, 0, 8, 8};
    EXPECT_EQ(win_snapshot(&w, path.c_str()), 0);
    EXPECT_EQ(win_snapshot(nullptr, path.c_str()), 0);
    SDL_Surface *keep = screen;
    screen = nullptr;
    EXPECT_EQ(screen_snapshot(dir_.file("a.png").c_str()), 0);
    EXPECT_EQ(win_snapshot(&w, dir_.file("b.png").c_str()), 0);
    screen = keep;
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("SDL_SaveBMP(screen, " + path + ") failed: No such file"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("SDL_SaveBMP(camshot, " + path + ") failed: No such file"),
              std::string::npos)
        << log;
    EXPECT_FALSE(read_png(dir_.file("a.png")).ok());
    EXPECT_EQ(screen->refcount, 1);
}
