// Opening the real screen on an X server: mode, caption, icon, pointer,
// event filter and reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

#include "sdl_screen.h"
#include "vout_test_conf.h"

namespace {

class ScreenSetup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        display_ = new std::string(use_test_display());
        install_window_icon();
    }
    static void TearDownTestSuite() { delete display_; }

    void SetUp() override
    {
        ASSERT_FALSE(display_->empty()) << "no X server for the screen";
        cfg = new_test_conf();
        conf = cfg;
        FakeFonts::reset();
        vout_fonts = &FakeFonts::table;
    }
    void TearDown() override
    {
        sdl_fini();
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg);
    }

    // Runs init while collecting standard error (the log) and output.
    int init_captured(std::string *log, std::string *out = nullptr)
    {
        CapturedFd err(2), std_out(1);
        const int r = sdl_init(0);
        *log = err.text();
        if (out)
            *out = std_out.text();
        return r;
    }

    static inline std::string *display_;
    CONF *cfg = nullptr;
};

TEST_F(ScreenSetup, OpensWindowOfConfiguredSizeWithIconCaptionAndPointer)
{
    ASSERT_EQ(sdl_init(0), 1);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 648);
    EXPECT_EQ(screen->h, 488);
    EXPECT_EQ(vout_sdl.width, 648);
    EXPECT_EQ(vout_sdl.height, 488);
    EXPECT_EQ(screen->flags & (SDL_FULLSCREEN | SDL_NOFRAME | SDL_DOUBLEBUF),
              0u);
    EXPECT_EQ(flip(), 0); // single-buffered: drawing updates itself

    char *title = nullptr, *icon_title = nullptr;
    SDL_WM_GetCaption(&title, &icon_title);
    EXPECT_STREQ(title, "Tirsk cameras local viewer");
    EXPECT_STREQ(icon_title, "tirsk-mon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->w, 48);

    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(SDL_GetCursor(), cursor);
    EXPECT_EQ(cursor->area.w, 32);
    EXPECT_EQ(cursor->hot_x, 0);
    EXPECT_EQ(cursor->hot_y, 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    EXPECT_EQ(overlay_format, uint32_t(SDL_YV12_OVERLAY));
    EXPECT_EQ(FakeFonts::init_calls, 1);
    EXPECT_EQ(FakeFonts::init_height, 488);
}

TEST_F(ScreenSetup, EventFilterDropsWhatIsNeverHandled)
{
    ASSERT_EQ(sdl_init(0), 1);
    for (Uint8 type : {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION,
                       SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP, SDL_KEYUP,
                       SDL_MOUSEBUTTONUP})
        EXPECT_EQ(SDL_EventState(type, SDL_QUERY), SDL_IGNORE) << int(type);
    for (Uint8 type : {SDL_KEYDOWN, SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN,
                       SDL_ACTIVEEVENT, SDL_VIDEOEXPOSE, SDL_QUIT,
                       SDL_USEREVENT})
        EXPECT_EQ(SDL_EventState(type, SDL_QUERY), SDL_ENABLE) << int(type);
    int delay = 0, interval = 0;
    SDL_GetKeyRepeat(&delay, &interval);
    EXPECT_EQ(delay, 500);
    EXPECT_EQ(interval, 200);
}

TEST_F(ScreenSetup, WithoutMouseOrKeyboardTheirEventsAreIgnored)
{
    cfg->no_mouse = 1;
    cfg->no_keyboard = 1;
    ASSERT_EQ(sdl_init(0), 1);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY), SDL_IGNORE);
    EXPECT_EQ(SDL_EventState(SDL_MOUSEBUTTONDOWN, SDL_QUERY), SDL_IGNORE);
    EXPECT_EQ(SDL_EventState(SDL_KEYDOWN, SDL_QUERY), SDL_IGNORE);
    EXPECT_EQ(SDL_EventState(SDL_ACTIVEEVENT, SDL_QUERY), SDL_ENABLE);
    // The pointer state is left to the cursor timer: none was shown yet.
    EXPECT_EQ(cursor_state, 0);
}

TEST_F(ScreenSetup, ModeOptionsBecomeScreenFlagsAndOverlayFormat)
{
    cfg->iyuv = 1;
    cfg->no_winframe = 1;
    cfg->doublebuf = 1;
    std::string log, out;
    cfg->verbose = 1;
    ASSERT_EQ(init_captured(&log, &out), 1) << log;
    EXPECT_EQ(overlay_format, uint32_t(SDL_IYUV_OVERLAY));
    EXPECT_NE(screen->flags & SDL_NOFRAME, 0u);
    // All three were asked of the library.
    EXPECT_NE(out.find("videomode_flags 0x40000020\n"), std::string::npos)
        << out;
    // The library may grant or drop double buffering; flip follows the
    // screen it got.
    EXPECT_EQ(flip(), (screen->flags & SDL_DOUBLEBUF) ? 1 : 0);
}

TEST_F(ScreenSetup, CaptionNamesTheDisplaySide)
{
    cfg->display_set = 1;
    cfg->display = 'R';
    ASSERT_EQ(sdl_init(0), 1);
    char *title = nullptr, *icon_title = nullptr;
    SDL_WM_GetCaption(&title, &icon_title);
    EXPECT_STREQ(title, "Tirsk ( right display )");
    EXPECT_STREQ(icon_title, "tirsk-mon");
    sdl_fini();

    cfg->display = 'L';
    ASSERT_EQ(sdl_init(0), 1);
    SDL_WM_GetCaption(&title, &icon_title);
    EXPECT_STREQ(title, "Tirsk ( left display )");
}

TEST_F(ScreenSetup, VerboseReportsGoToStandardOutput)
{
    cfg->verbose = 1;
    std::string log, out;
    ASSERT_EQ(init_captured(&log, &out), 1) << log;
    EXPECT_EQ(out.rfind("Current \"x11\" display settings: 1920x1080@", 0), 0u)
        << out;
    EXPECT_NE(out.find(" MB video memory and\n"), std::string::npos);
    EXPECT_NE(out.find("\twindow manager available\n"), std::string::npos);
    EXPECT_NE(out.find("SDL_SetVideoMode 648x488@"), std::string::npos);
    EXPECT_NE(out.find("bpp, videomode_flags 0x0\n"), std::string::npos);
    EXPECT_NE(out.find("Screen 648x488x"), std::string::npos);
    EXPECT_NE(out.find(", flags: 0x0 (SWSURFACE)\n"), std::string::npos);
    sdl_fini();

    // Quiet keeps the mode lines back but not the display report.
    cfg->quiet = 1;
    ASSERT_EQ(init_captured(&log, &out), 1);
    EXPECT_NE(out.find("Current \"x11\" display settings"), std::string::npos);
    EXPECT_EQ(out.find("SDL_SetVideoMode"), std::string::npos);
    EXPECT_EQ(out.find("Screen "), std::string::npos);
    sdl_fini();

    cfg->quiet = 0;
    cfg->verbose = 0;
    ASSERT_EQ(init_captured(&log, &out), 1);
    EXPECT_EQ(out, "");
}

TEST_F(ScreenSetup, FontFailureFailsInitBeforeThePointerIsMade)
{
    FakeFonts::init_result = 0;
    EXPECT_EQ(sdl_init(0), 0);
    EXPECT_EQ(FakeFonts::init_calls, 1);
    EXPECT_NE(screen, nullptr); // the shutdown path closes it
    EXPECT_EQ(cursor, nullptr);
}

TEST_F(ScreenSetup, ConfiguredSizeLargerThanDisplayIsRefused)
{
    // Sizes past INT32_MAX must not compare as negative and slip through.
    cfg->geo.width = 0x80000000u;
    std::string log;
    EXPECT_EQ(init_captured(&log), 0);
    EXPECT_NE(log.find("Unsupported resolution: 2147483648x488 (set by config "
                       "or cmdline) > 1920x1080 (current display)\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(screen, nullptr);
    sdl_fini();

    cfg->geo.width = 1920;
    cfg->geo.height = 1081;
    EXPECT_EQ(init_captured(&log), 0);
    EXPECT_NE(log.find("Unsupported resolution: 1920x1081 "), std::string::npos);
}

TEST_F(ScreenSetup, SmallDisplayRefusesGeoButOpensFullscreen)
{
    PrivateXvfb small;
    ASSERT_TRUE(small.start(640, 480)) << small.error();
    const std::string saved = getenv("DISPLAY");
    setenv("DISPLAY", small.display().c_str(), 1);

    std::string log;
    EXPECT_EQ(init_captured(&log), 0);
    EXPECT_NE(log.find("Unsupported resolution: 648x488 (set by config or "
                       "cmdline) > 640x480 (current display)\n"),
              std::string::npos)
        << log;
    sdl_fini();

    cfg->geo = {640, 480}; // exactly the display: allowed
    EXPECT_EQ(sdl_init(0), 1);
    EXPECT_EQ(screen->w, 640);
    sdl_fini();

    cfg->geo = {1920, 1080}; // ignored in fullscreen
    cfg->fullscreen = 1;
    EXPECT_EQ(init_captured(&log), 1) << log;
    EXPECT_EQ(vout_sdl.width, 640);
    EXPECT_EQ(vout_sdl.height, 480);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 640);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, 0u);
    EXPECT_EQ(FakeFonts::init_height, 480);
    sdl_fini();
    setenv("DISPLAY", saved.c_str(), 1);
}

TEST_F(ScreenSetup, NoDisplayFailsAndFiniStillCleansUp)
{
    PrivateXvfb gone;
    ASSERT_TRUE(gone.start(320, 240)) << gone.error();
    const std::string name = gone.display();
    gone.stop();
    // In a child: after a failed start SDL 1.2 refuses every later one in
    // the same process.
    EXPECT_EXIT(
        {
            setenv("DISPLAY", name.c_str(), 1);
            const int r = sdl_init(0);
            const bool ok = r == 0 && FakeFonts::init_calls == 0 &&
                            sdl_fini() == 1 && sdl_fini() == 1;
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "Couldn't initialize SDL: ");
}

TEST_F(ScreenSetup, MissingIconIsFatal)
{
    // In a child with its own mount namespace, hide the icon directory.
    EXPECT_EXIT(
        {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
                mount("none", "/usr/share/pixmaps", "tmpfs", 0, nullptr))
                _exit(3);
            const int r = sdl_init(0);
            _exit(r == 0 && screen == nullptr && FakeFonts::init_calls == 0
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0),
        "IMG_Load\\(\"/usr/share/pixmaps/tirsk-mon.xpm\"\\) failed: ");
}

TEST_F(ScreenSetup, ShowCursorKeepsWhatTheLibraryReported)
{
    ASSERT_EQ(sdl_init(0), 1);
    EXPECT_EQ(cursor_state, 0);
    EXPECT_EQ(show_cursor(0), 1); // hid a visible pointer
    EXPECT_EQ(cursor_state, 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(show_cursor(1), 0); // showed a hidden one
    EXPECT_EQ(cursor_state, 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(ScreenSetup, FiniFreesEverythingAndMayRunTwice)
{
    ASSERT_EQ(sdl_init(0), 1);
    for (int i = 0; i < 2; i++)
        popup_lines[i] = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 32, 0, 0,
                                              0, 0);
    EXPECT_EQ(sdl_fini(), 1);
    EXPECT_EQ(popup_lines[0], nullptr);
    EXPECT_EQ(popup_lines[1], nullptr);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(TTF_WasInit(), 0);
    EXPECT_EQ(FakeFonts::fini_calls, 1);
    EXPECT_EQ(sdl_fini(), 1);
}

} // namespace
