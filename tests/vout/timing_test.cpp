// The video test mode on a 640x480 display: which scales are measured, what
// is printed, and that the overlay shows the picture in its own colours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "sdl_screen.h"
#include "vout_test_conf.h"

namespace {

class VideoTestMode : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(use_test_display().empty());
        install_window_icon();
        ASSERT_TRUE(xvfb.start(640, 480)) << xvfb.error();
        saved_display = getenv("DISPLAY");
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        cfg = new_test_conf();
        cfg->geo = {640, 480};
        conf = cfg;
        FakeFonts::reset();
        vout_fonts = &FakeFonts::table;
        ASSERT_EQ(sdl_init(0), 1);

        dir = std::filesystem::temp_directory_path() /
              ("tirsk-vtest-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_cwd);
        std::filesystem::remove_all(dir);
        sdl_fini();
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg);
        setenv("DISPLAY", saved_display.c_str(), 1);
    }

    // Runs the test slot, collecting both output streams.
    int run(int mode, std::string *out, std::string *err)
    {
        CapturedFd e(2), o(1);
        const int r = sdl_test(mode);
        *out = o.text();
        *err = e.text();
        return r;
    }

    // A test.bmp of one colour, written in the usual B, G, R order.
    static void write_bmp(int w, int h, Uint8 r, Uint8 g, Uint8 b)
    {
        SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF0000,
                                              0x00FF00, 0x0000FF, 0);
        ASSERT_NE(s, nullptr);
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, r, g, b));
        ASSERT_EQ(SDL_SaveBMP(s, "test.bmp"), 0);
        SDL_FreeSurface(s);
    }

    static Uint32 screen_pixel(int x, int y)
    {
        SDL_LockSurface(screen);
        const Uint32 p = *reinterpret_cast<const Uint32 *>(
            static_cast<const Uint8 *>(screen->pixels) + y * screen->pitch +
            x * 4);
        SDL_UnlockSurface(screen);
        return p;
    }

    PrivateXvfb xvfb;
    std::string saved_display;
    CONF *cfg = nullptr;
    std::filesystem::path dir, old_cwd;
};

TEST_F(VideoTestMode, StretchStopsAtTheFirstScaleWiderThanTheScreen)
{
    std::string out, err;
    EXPECT_EQ(run(1, &out, &err), 1);
    EXPECT_NE(err.find("Screen resolutions [ 640 x 480 ]\n"), std::string::npos);
    EXPECT_EQ(err.find("failed"), std::string::npos) << err;
    EXPECT_EQ(out.rfind("\nDisplay bmp 480x360\n", 0), 0u) << out;
    for (const char *line : {"\tscale x 0.5 [  240 x  180 ], time ",
                             "\tscale x 0.7 [  336 x  252 ], time ",
                             "\tscale x 1.0 [  480 x  360 ], time ",
                             "\tscale x 1.3 [  624 x  467 ], time ", // 360 * 1.3f
                             "\tscale x fs  [  640 x  480 ], time "})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(out.find("scale x 1.5"), std::string::npos);
    EXPECT_NE(out.find(" ms, fps "), std::string::npos);
    // The last draw filled the screen with the red picture.
    Uint8 r, g, b;
    SDL_GetRGB(screen_pixel(320, 240), screen->format, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g + b, 0);
}

TEST_F(VideoTestMode, OverlayShowsThePictureInItsColours)
{
    write_bmp(160, 120, 200, 40, 30);
    std::string out, err;
    EXPECT_EQ(run(2, &out, &err), 1);
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("\nCreated 160x120x3 software YV12 overlay\n"
                       "\tplane 0: pitch=160 ("),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nDisplay overlay 160x120\n"), std::string::npos);
    EXPECT_NE(out.find("\tscale x 0.5 [0080x0060], time "), std::string::npos);
    EXPECT_NE(out.find("\tscale x 3.0 [0480x0360], time "), std::string::npos);
    EXPECT_NE(out.find("\tscale x fs  [0640x0480], time "), std::string::npos);
    // Software overlays are converted into the screen; the colour survives
    // the round trip through YUV within a few units.
    Uint8 r, g, b;
    SDL_GetRGB(screen_pixel(100, 100), screen->format, &r, &g, &b);
    EXPECT_NEAR(r, 200, 8);
    EXPECT_NEAR(g, 40, 8);
    EXPECT_NEAR(b, 30, 8);
}

TEST_F(VideoTestMode, MissingPictureAndUnknownModesRunNothing)
{
    std::string out, err;
    EXPECT_EQ(run(2, &out, &err), 1);
    EXPECT_EQ(err.rfind("CreateRGBSurface failed: ", 0), 0u) << err;
    EXPECT_EQ(out, "");

    for (int mode : {0, 3, -1}) {
        EXPECT_EQ(run(mode, &out, &err), 0);
        EXPECT_EQ(out + err, "");
    }
}

} // namespace
