// The video test mode on a 640x480 display: the scales measured, what is
// printed, and the picture's colours on the screen afterwards.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "harness.h"
#include "vout_test_conf.h"

namespace {

namespace fs = std::filesystem;

class VideoTestMode : public VoutTest {
protected:
    void SetUp() override
    {
        VoutTest::SetUp();
        ASSERT_TRUE(xvfb.ok());
        setenv("DISPLAY", xvfb.name().c_str(), 1);
        cfg->geo = {640, 480};
        ASSERT_EQ(sdl_init(0), 1);
        // test.bmp is read from the working directory.
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    void TearDown() override
    {
        fs::current_path(cwd);
        fs::remove_all(dir);
        sdl_fini(); // before the server goes
        VoutTest::TearDown();
    }
    int run(int mode)
    {
        testsupport::FdCapture e(2), o(1);
        const int r = sdl_test(mode);
        out = o.take();
        err = e.take();
        return r;
    }
    // The centre of the screen as {r, g, b}.
    static std::array<int, 3> centre()
    {
        const Uint8 *p = static_cast<const Uint8 *>(screen->pixels);
        const Uint32 px = *reinterpret_cast<const Uint32 *>(
            p + screen->h / 2 * screen->pitch + screen->w / 2 * 4);
        Uint8 r, g, b;
        SDL_GetRGB(px, screen->format, &r, &g, &b);
        return {r, g, b};
    }

    testsupport::Display xvfb{640, 480};
    fs::path cwd = fs::current_path();
    fs::path dir = fs::temp_directory_path() /
                   ("tirsk-vtest-" + std::to_string(getpid()));
    std::string out, err;
};

TEST_F(VideoTestMode, StretchStopsBeforeTheFirstScaleWiderThanTheScreen)
{
    EXPECT_EQ(run(1), 1);
    EXPECT_EQ(err, "Screen resolutions [ 640 x 480 ]\n");
    EXPECT_EQ(out.rfind("\nDisplay bmp 480x360\n", 0), 0u) << out;
    for (const char *line : {"\tscale x 0.5 [  240 x  180 ], time ",
                             "\tscale x 1.0 [  480 x  360 ], time ",
                             "\tscale x 1.3 [  624 x  467 ], time ", // 1.3f
                             "\tscale x fs  [  640 x  480 ], time "})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    EXPECT_EQ(out.find("scale x 1.5"), std::string::npos);
    EXPECT_EQ(centre(), (std::array<int, 3>{255, 0, 0})); // the red picture
}

TEST_F(VideoTestMode, OverlayShowsThePictureInItsColours)
{
    SDL_Surface *bmp = SDL_CreateRGBSurface(SDL_SWSURFACE, 160, 120, 24,
                                            0xFF0000, 0xFF00, 0xFF, 0);
    SDL_FillRect(bmp, nullptr, SDL_MapRGB(bmp->format, 200, 40, 30));
    ASSERT_EQ(SDL_SaveBMP(bmp, "test.bmp"), 0);
    SDL_FreeSurface(bmp);

    EXPECT_EQ(run(2), 1);
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("\nCreated 160x120x3 software YV12 overlay\n"
                       "\tplane 0: pitch=160 ("),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nDisplay overlay 160x120\n\tscale x 0.5 [0080x0060]"),
              std::string::npos);
    EXPECT_NE(out.find("\tscale x 3.0 [0480x0360], time "), std::string::npos);
    EXPECT_NE(out.find("\tscale x fs  [0640x0480], time "), std::string::npos);
    const auto rgb = centre(); // through YUV and back: within a few units
    EXPECT_NEAR(rgb[0], 200, 8);
    EXPECT_NEAR(rgb[1], 40, 8);
    EXPECT_NEAR(rgb[2], 30, 8);
}

TEST_F(VideoTestMode, MissingPictureAndUnknownModesRunNothing)
{
    EXPECT_EQ(run(2), 1);
    EXPECT_EQ(err.rfind("CreateRGBSurface failed: ", 0), 0u) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(run(0) + run(3), 0);
    EXPECT_EQ(out + err, "");
}

} // namespace
