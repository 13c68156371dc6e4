// Opening the real screen on an X server: the screens and failures that
// are refused, and the clean-up after them.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "vout_fixture.h"

namespace {

class ScreenSetup : public VoutTest {
protected:
    // init with standard error (the log) collected.
    int init(std::string *log = nullptr)
    {
        testsupport::FdCapture err(2);
        const int r = sdl_init(0);
        if (log)
            *log = err.take();
        return r;
    }
};

// Sizes beyond the display (also one that would pass as a negative width),
// no size, and a screen without YUV overlays are refused with one clear
// message; exactly the display's size is taken, and fullscreen takes it.
TEST_F(ScreenSetup, ScreensThatCannotShowPicturesAreRefused)
{
    const testsupport::Display small(640, 480), eight(640, 480, 8);
    ASSERT_TRUE(small.ok() && eight.ok());
    const struct {
        const std::string &display;
        u32_size geo;
        const char *message; // null: taken
    } cases[] = {
        {small.name(), {648, 488}, "Unsupported resolution: 648x488 (set by config or cmdline) > 640x480 (current display)\n"},
        {small.name(), {0x80000000u, 480}, "Unsupported resolution: 2147483648x480 "},
        {display, {0, 0}, "Unsupported resolution: 0x0 (set by config or cmdline): "},
        {eight.name(), {640, 480}, "640x480x8 screen cannot show YV12"},
        {small.name(), {640, 480}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.geo.width) + "x" + std::to_string(c.geo.height));
        setenv("DISPLAY", c.display.c_str(), 1);
        cfg->geo = c.geo;
        std::string log;
        EXPECT_EQ(init(&log), !c.message);
        if (c.message) {
            EXPECT_NE(log.find(c.message), std::string::npos) << log;
        }
        sdl_fini();
    }
    setenv("DISPLAY", small.name().c_str(), 1);
    cfg->geo = {1920, 1080};
    cfg->fullscreen = 1;
    ASSERT_EQ(init(), 1);
    EXPECT_EQ(vout_sdl.width * 10000 + vout_sdl.height, 6400480);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, 0u);
    sdl_fini(); // while its server still runs
}

TEST_F(ScreenSetup, FontFailureFailsBeforeThePointerAndFiniCleansUp)
{
    FakeFonts::init_result = 0;
    popup_lines[0] = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 32, 0, 0, 0, 0);
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(sdl_fini(), 1);
    EXPECT_TRUE(!popup_lines[0] && !icon && !screen);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(FakeFonts::fini_calls, 1);
    EXPECT_EQ(sdl_fini(), 1); // twice is harmless
}

TEST_F(ScreenSetup, MissingIconIsFatal)
{
    // A child with its own mount namespace hides the icon directories.
    EXPECT_EXIT(
        {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
                mount("none", "/usr/share/pixmaps", "tmpfs", 0, nullptr) ||
                mount("none", TIRSK_SOURCE_DIR "/data", "tmpfs", 0, nullptr))
                _exit(3);
            _exit(sdl_init(0) == 0 && screen == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "IMG_Load\\(\"/usr/share/pixmaps/tirsk-mon.xpm\"\\) failed: ");
}

} // namespace
