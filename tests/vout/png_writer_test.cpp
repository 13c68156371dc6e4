// The PNG writer (colour types, byte orders, conversions, failures) and the
// snapshot files written with it.
#include <signal.h>
#include <sys/resource.h>

#include <memory>

#include "monitor.h"
#include "vout_fixture.h"

namespace {

constexpr int SW = 7, SH = 5; // odd sizes: rows are padded in memory

// What the surface itself says pixel (x, y) is.
Rgb surface_rgb(SDL_Surface *s, int x, int y)
{
    Uint32 v = 0;
    std::memcpy(&v, static_cast<Uint8 *>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel,
                s->format->BytesPerPixel);
    Uint8 r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return {r, g, b};
}

} // namespace

// Every kind of surface the screen may be comes back from its file with its
// own picture: RGB in either byte order, 16-bit widened.
TEST(PngWriter, EverySurfaceKindKeepsItsPicture)
{
    testsupport::TempDir dir;
    const struct {
        const char *name;
        int bpp;
        Uint32 r, g, b;
        int tolerance; // packed 16-bit channels may be widened by shifting only
    } cases[] = {
        {"RGB", 24, 0xFF, 0xFF00, 0xFF0000, 0}, {"BGR", 24, 0xFF0000, 0xFF00, 0xFF, 0},
        {"565", 16, 0xF800, 0x07E0, 0x001F, 7}, {"555", 15, 0x7C00, 0x03E0, 0x001F, 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, SW, SH, c.bpp, c.r, c.g, c.b, 0);
        ASSERT_NE(s, nullptr);
        for (int y = 0; y < SH; y++)
            for (int x = 0; x < SW; x++) {
                SDL_Rect px = {Sint16(x), Sint16(y), 1, 1};
                SDL_FillRect(s, &px, SDL_MapRGB(s->format, Uint8(30 * x + 1), Uint8(40 * y + 2), Uint8(255 - 9 * (x + y))));
            }
        SDL_Surface *prepared = SDL_PNGFormatAlpha(s);
        ASSERT_NE(prepared, nullptr);
        const std::string path = dir.file(std::string(c.name) + ".png");
        EXPECT_EQ(SDL_SavePNG_RW(prepared, SDL_RWFromFile(path.c_str(), "wb"), 1), 0) << SDL_GetError();
        SDL_FreeSurface(prepared);
        const Image png = testsupport::read_png(path);
        ASSERT_TRUE(png.width == SW && png.height == SH && png.rgb8);
        int bad = 0;
        for (int y = 0; y < SH; y++)
            for (int x = 0; x < SW; x++)
                bad += !near(png.pixel(x, y), surface_rgb(s, x, y), c.tolerance);
        EXPECT_EQ(bad, 0);
        SDL_FreeSurface(s);
    }
}

// Never written through a link, never half written, never overwriting the
// shot taken a moment before, never readable by others.
TEST(Snapshots, LinksLimitsAndShotsWithinOneSecond)
{
    // A 32-bit screen without alpha, as the X server gives, and the options
    // and output of a viewer taking shots; all restored afterwards.
    struct Restore {
        ~Restore() { SDL_FreeSurface(std::exchange(screen, nullptr)), conf = nullptr, vout = nullptr; }
    } restore;
    const testsupport::TempDir dir_;
    std::string shot_dir = dir_.path();
    const std::unique_ptr<CONF, void (*)(void *)> cfg(static_cast<CONF *>(std::calloc(1, sizeof(CONF))), std::free);
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 320, 240, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    conf = cfg.get(), conf->shot_dir = shot_dir.data(), conf->display = 'L', vout = &vout_sdl;
    auto files = [&] { return testsupport::run({"ls", "-l", dir_.path()}).out; };

    testsupport::write_file(dir_.file("victim"), "keep", 0600);
    ASSERT_EQ(symlink(dir_.file("victim").c_str(), dir_.file("link.png").c_str()), 0);
    EXPECT_EQ(screen_snapshot(dir_.file("link.png").c_str()), 0);
    EXPECT_EQ(testsupport::read_file(dir_.file("victim")), "keep");

    // A file-size limit (as a full disk) cuts the file: a failure, no file.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old, small = {100, 0};
    getrlimit(RLIMIT_FSIZE, &old);
    small.rlim_max = old.rlim_max;
    setrlimit(RLIMIT_FSIZE, &small);
    const int cut = screen_snapshot(dir_.file("cut.png").c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(files().find("cut"), std::string::npos) << files();

    screen_shot();
    screen_shot();
    EXPECT_EQ(testsupport::occurrences(files(), " tirskmon("), 2) << files();
    EXPECT_EQ(files().find("-rw-r--r--"), std::string::npos) << files();
}
