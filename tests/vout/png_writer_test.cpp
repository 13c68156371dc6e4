// The PNG writer: colour types, byte orders, conversions and failures.
#include <gtest/gtest.h>

#include "harness.h"
#include "vout/sdl_private.h"

using testsupport::Image;
using testsupport::read_png;
using testsupport::TempDir;

namespace {

constexpr int W = 7, H = 5; // odd sizes: rows are padded in memory

// A colour for every pixel that differs in each channel.
SDL_Color pattern(int x, int y)
{
    return {Uint8(30 * x + 1), Uint8(40 * y + 2), Uint8(255 - 9 * (x + y)), 0};
}

SDL_Surface *make(int bpp, Uint32 r, Uint32 g, Uint32 b, Uint32 a = 0)
{
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, W, H, bpp, r, g, b, a);
    if (!s)
        return nullptr;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const SDL_Color c = pattern(x, y);
            SDL_Rect px = {Sint16(x), Sint16(y), 1, 1};
            SDL_FillRect(s, &px,
                         a ? SDL_MapRGBA(s->format, c.r, c.g, c.b, Uint8(x * 20))
                           : SDL_MapRGB(s->format, c.r, c.g, c.b));
        }
    return s;
}

// What the surface itself says pixel (x, y) is.
SDL_Color surface_rgb(SDL_Surface *s, int x, int y)
{
    const Uint8 *p = static_cast<Uint8 *>(s->pixels) + y * s->pitch +
                     x * s->format->BytesPerPixel;
    Uint32 v = 0;
    memcpy(&v, p, s->format->BytesPerPixel); // little-endian machine
    SDL_Color c = {};
    SDL_GetRGB(v, s->format, &c.r, &c.g, &c.b);
    return c;
}

class PngWriter : public ::testing::Test {
protected:
    // Prepare as a snapshot does, write, read back.
    Image save(SDL_Surface *s)
    {
        SDL_Surface *prepared = SDL_PNGFormatAlpha(s);
        EXPECT_NE(prepared, nullptr);
        const std::string path = dir_.file("out.png");
        const int r = SDL_SavePNG_RW(prepared, SDL_RWFromFile(path.c_str(), "wb"), 1);
        EXPECT_EQ(r, 0) << SDL_GetError();
        SDL_FreeSurface(prepared);
        return read_png(path);
    }
    // tolerance: packed 16-bit channels may be widened by shifting only.
    void expect_pixels(const Image &png, SDL_Surface *s, int tolerance = 0)
    {
        ASSERT_TRUE(png.ok());
        ASSERT_EQ(png.width, W);
        ASSERT_EQ(png.height, H);
        EXPECT_EQ(png.bit_depth, 8);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const SDL_Color want = surface_rgb(s, x, y);
                const auto got = png.pixel(x, y);
                ASSERT_NEAR(got.r, want.r, tolerance) << x << "," << y;
                ASSERT_NEAR(got.g, want.g, tolerance) << x << "," << y;
                ASSERT_NEAR(got.b, want.b, tolerance) << x << "," << y;
            }
    }
    testsupport::TempDir dir_;
};

// A stream that counts closes and can refuse to write.
struct Probe {
    int closes = 0;
    bool fail_writes = false;
    size_t written = 0;
};

SDL_RWops *probe_stream(Probe *p)
{
    SDL_RWops *rw = SDL_AllocRW();
    rw->hidden.unknown.data1 = p;
    rw->seek = [](SDL_RWops *, int, int) { return -1; };
    rw->read = [](SDL_RWops *, void *, int, int) { return -1; };
    rw->write = [](SDL_RWops *ctx, const void *, int size, int num) {
        auto *p = static_cast<Probe *>(ctx->hidden.unknown.data1);
        if (p->fail_writes)
            return 0;
        p->written += size_t(size) * num;
        return num;
    };
    rw->close = [](SDL_RWops *ctx) {
        static_cast<Probe *>(ctx->hidden.unknown.data1)->closes++;
        SDL_FreeRW(ctx);
        return 0;
    };
    return rw;
}

} // namespace

TEST_F(PngWriter, TwentyFourBitSurfacesAreRgbInEitherByteOrder)
{
    for (bool bgr : {false, true}) {
        SDL_Surface *s = bgr ? make(24, 0xFF0000, 0xFF00, 0xFF)
                             : make(24, 0xFF, 0xFF00, 0xFF0000);
        ASSERT_NE(s, nullptr);
        SDL_Surface *prepared = SDL_PNGFormatAlpha(s);
        EXPECT_EQ(prepared, s) << "written as is";
        EXPECT_EQ(s->refcount, 2);
        SDL_FreeSurface(prepared);
        const Image png = save(s);
        EXPECT_EQ(png.color_type, 2) << bgr;
        expect_pixels(png, s);
        SDL_FreeSurface(s);
    }
}

TEST_F(PngWriter, ThirtyTwoBitWithAlphaKeepsIt)
{
    SDL_Surface *s = make(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
    ASSERT_NE(s, nullptr);
    const Image png = save(s);
    EXPECT_EQ(png.color_type, 6);
    ASSERT_TRUE(png.ok());
    for (int x = 0; x < W; x++) {
        const auto got = png.pixel(x, 2);
        EXPECT_EQ(got.a, x * 20);
        EXPECT_EQ(got.r, pattern(x, 2).r);
        EXPECT_EQ(got.b, pattern(x, 2).b);
    }
    SDL_FreeSurface(s);
}

TEST_F(PngWriter, SixteenBitSurfacesAreConvertedSoThePictureIsRight)
{
    for (Uint32 rmask : {0xF800u, 0x7C00u}) { // 565 and 555
        SDL_Surface *s = rmask == 0xF800u ? make(16, 0xF800, 0x07E0, 0x001F)
                                          : make(15, 0x7C00, 0x03E0, 0x001F);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->format->BytesPerPixel, 2);
        const Image png = save(s);
        EXPECT_EQ(png.color_type, 2);
        expect_pixels(png, s, 7);
        SDL_FreeSurface(s);
    }
}

TEST_F(PngWriter, PaletteSurfacesKeepTheirPalette)
{
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, W, H, 8, 0, 0, 0, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->format->palette, nullptr);
    SDL_Color colours[4] = {{10, 20, 30, 0}, {200, 0, 0, 0}, {0, 250, 5, 0},
                            {1, 2, 255, 0}};
    SDL_SetColors(s, colours, 0, 4);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            static_cast<Uint8 *>(s->pixels)[y * s->pitch + x] = Uint8((x + y) % 4);
    const Image png = save(s);
    EXPECT_EQ(png.color_type, 3);
    ASSERT_TRUE(png.ok());
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const SDL_Color &c = colours[(x + y) % 4];
            const auto got = png.pixel(x, y);
            ASSERT_EQ(got.r, c.r);
            ASSERT_EQ(got.g, c.g);
            ASSERT_EQ(got.b, c.b);
        }
    SDL_FreeSurface(s);
}

TEST_F(PngWriter, AFailingStreamIsAFailureNotACutFile)
{
    SDL_Surface *s = make(24, 0xFF, 0xFF00, 0xFF0000);
    Probe p;
    p.fail_writes = true;
    EXPECT_EQ(SDL_SavePNG_RW(s, probe_stream(&p), 1), -1);
    EXPECT_STREQ(SDL_GetError(), "libpng: write error\n");
    EXPECT_EQ(p.closes, 1);

    // libpng's own complaints come back the same way: a zero-sized picture.
    SDL_Surface *empty = SDL_CreateRGBSurface(SDL_SWSURFACE, 0, 0, 24, 0xFF,
                                              0xFF00, 0xFF0000, 0);
    if (empty) {
        Probe q;
        EXPECT_EQ(SDL_SavePNG_RW(empty, probe_stream(&q), 1), -1);
        EXPECT_EQ(std::string(SDL_GetError()).rfind("libpng: ", 0), 0u)
            << SDL_GetError();
        EXPECT_EQ(q.closes, 1);
        SDL_FreeSurface(empty);
    }
    SDL_FreeSurface(s);
}
