// Opening the real screen on an X server: mode, caption, icon, pointer,
// event filter, reports and failures.
#include <gtest/gtest.h>

#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

#include "harness.h"
#include "vout_test_conf.h"

namespace {

class ScreenSetup : public VoutTest {
protected:
    void TearDown() override
    {
        sdl_fini();
        VoutTest::TearDown();
    }
    // init with standard error (the log) and output collected.
    int init(std::string *log = nullptr, std::string *out = nullptr)
    {
        testsupport::FdCapture err(2), std_out(1);
        const int r = sdl_init(0);
        if (log)
            *log = err.take();
        if (out)
            *out = std_out.take();
        return r;
    }
    static std::string caption()
    {
        char *title = nullptr, *icon_title = nullptr;
        SDL_WM_GetCaption(&title, &icon_title);
        return std::string(title) + "/" + icon_title;
    }
};

TEST_F(ScreenSetup, DefaultWindowWithIconPointerAndEventFilter)
{
    ASSERT_EQ(init(), 1);
    EXPECT_EQ(screen->w, 648);
    EXPECT_EQ(vout_sdl.height, 488);
    EXPECT_EQ(screen->flags & (SDL_FULLSCREEN | SDL_NOFRAME), 0u);
    EXPECT_EQ(flip(), 0); // single-buffered
    EXPECT_EQ(caption(), "Tirsk cameras local viewer/tirsk-mon");
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(SDL_GetCursor(), cursor);
    EXPECT_EQ(overlay_format, uint32_t(SDL_YV12_OVERLAY));
    EXPECT_EQ(FakeFonts::init_height, 488);
    for (Uint8 type : {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION,
                       SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP, SDL_KEYUP,
                       SDL_MOUSEBUTTONUP})
        EXPECT_EQ(SDL_EventState(type, SDL_QUERY), SDL_IGNORE) << int(type);
    for (Uint8 type : {SDL_KEYDOWN, SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN})
        EXPECT_EQ(SDL_EventState(type, SDL_QUERY), SDL_ENABLE) << int(type);
    int delay = 0, interval = 0;
    SDL_GetKeyRepeat(&delay, &interval);
    EXPECT_EQ(delay * 1000 + interval, 500200);
    // show_cursor keeps what the library reports: the state before the call.
    EXPECT_EQ(show_cursor(0), 1);
    EXPECT_EQ(cursor_state, 1);
    EXPECT_EQ(show_cursor(1), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(ScreenSetup, TooLargeSizeIsRefusedAndFullscreenTakesTheDisplay)
{
    testsupport::Display small(640, 480);
    ASSERT_TRUE(small.ok());
    setenv("DISPLAY", small.name().c_str(), 1);
    std::string log;
    EXPECT_EQ(init(&log), 0);
    EXPECT_NE(log.find("Unsupported resolution: 648x488 (set by config or "
                       "cmdline) > 640x480 (current display)\n"),
              std::string::npos)
        << log;
    sdl_fini();
    cfg->geo = {0x80000000u, 480}; // must not pass as a negative width
    EXPECT_EQ(init(&log), 0);
    EXPECT_NE(log.find("Unsupported resolution: 2147483648x480 "),
              std::string::npos);
    sdl_fini();
    cfg->geo = {640, 480}; // exactly the display
    EXPECT_EQ(init(), 1);
    sdl_fini();

    cfg->geo = {1920, 1080};
    cfg->fullscreen = 1;
    ASSERT_EQ(init(), 1);
    EXPECT_EQ(vout_sdl.width * 10000 + vout_sdl.height, 6400480);
    EXPECT_EQ(screen->w, 640);
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
    EXPECT_EQ(popup_lines[0], nullptr);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(FakeFonts::fini_calls, 1);
    EXPECT_EQ(sdl_fini(), 1); // twice is harmless
}

TEST_F(ScreenSetup, MissingIconIsFatal)
{
    // A child with its own mount namespace hides the icon directory.
    EXPECT_EXIT(
        {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
                mount("none", "/usr/share/pixmaps", "tmpfs", 0, nullptr) ||
                mount("none", TIRSK_SOURCE_DIR "/data", "tmpfs", 0, nullptr))
                _exit(3);
            _exit(sdl_init(0) == 0 && screen == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "IMG_Load\\(\"/usr/share/pixmaps/tirsk-mon.xpm\"\\) failed: ");
}

} // namespace

// Screens that could show no picture (no YUV overlay on 8 bits, a window
// without width or height) are refused at set-up with one clear message.
TEST_F(ScreenSetup, ScreensThatCannotShowPicturesAreRefused)
{
    const testsupport::Display xvfb(640, 480, 8);
    ASSERT_TRUE(xvfb.ok());
    const std::string eight = xvfb.name();
    for (auto [name, geo, message] :
         {std::tuple{eight, u32_size{640, 480}, "640x480x8 screen cannot show YV12"},
          {display, u32_size{0, 0}, "Unsupported resolution: 0x0 (set by config or cmdline): "}}) {
        setenv("DISPLAY", name.c_str(), 1);
        cfg->geo = geo;
        std::string log;
        EXPECT_EQ(init(&log), 0);
        EXPECT_NE(log.find(message), std::string::npos) << log;
        sdl_fini();
    }
}
