// Fixtures of the SDL output tests: the real set-up on a display (with a
// font provider stand-in), and a software screen of our own with the fonts,
// one camera and one window, read back as an Image.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "camera.h"
#include "conf.h"
#include "harness.h"
#include "vout/sdl_private.h"

using testsupport::Box;
using testsupport::Image;
using testsupport::Rgb;

inline Box box(const win_rect &r) { return {r.x, r.y, int(r.w), int(r.h)}; }

// A font provider stand-in: the set-up needs no glyphs.
constexpr font_provider no_fonts = {[](int) { return 1; }, [] {}, [](uint32_t, float) -> TTF_Font * { return nullptr; }};

// For sdl_init: a display, the option defaults the set-up reads and the fake
// fonts; DISPLAY, conf and the provider are restored after each test.
class VoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = testsupport::use_test_display();
        ASSERT_FALSE(display.empty()) << "no X server";
        cfg = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
        cfg->geo = {648, 488};
        cfg->display = 'L';
        conf = cfg;
        vout_fonts = &no_fonts;
    }
    void TearDown() override
    {
        sdl_fini();
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg);
        setenv("DISPLAY", display.c_str(), 1);
    }
    std::string display;
    CONF *cfg = nullptr;
};

// A software screen W x H with the real fonts, opened for each suite (the
// set-up tests close SDL between theirs), and camera 1 bound to window 0.
class SdlScreen : public ::testing::Test {
protected:
    static constexpr int W = 800, H = 720;

    static void SetUpTestSuite()
    {
        ASSERT_FALSE(testsupport::use_test_display().empty()) << "no X display";
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0) << SDL_GetError();
        screen = SDL_SetVideoMode(W, H, 32, SDL_SWSURFACE);
        ASSERT_NE(screen, nullptr) << SDL_GetError();
        ASSERT_EQ(sdl_fonts_init(H), 1);
    }
    static void TearDownTestSuite()
    {
        popup_close();
        Fonts.fini();
        SDL_Quit();
        screen = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(screen, nullptr);
        conf = cfg_ = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
        conf->font_factor = 1.0, conf->quiet = 1;
        overlay_format = SDL_YV12_OVERLAY, cursor_state = 1;
        fill_screen({0, 0, 0});
        cam = &conf->cams[0], src = &cam->srcs[0], win = &windows[0];
        cam->nr = 1, cam->nsrcs = 1, src->cam = cam;
        std::strcpy(cam->name, " CAM 1 ");
        std::strcpy(src->uri, "rtsp://127.0.0.1/cam1");
        std::memset(win, 0, sizeof *win);
        set_rects(100, 80, 400, 300, 4);
        win->cam = cam, cam->win = win, win->target_src = -1;
    }
    void TearDown() override
    {
        popup_close();
        free_playback_resources(src);
        free_win_surfaces(win);
        std::memset(win, 0, sizeof *win);
        conf = nullptr;
        std::free(cfg_);
    }
    // rect at (x, y) of w x h, video_rect inside it with border b.
    void set_rects(int x, int y, int w, int h, int b)
    {
        win->rect = {x, y, uint32_t(w), uint32_t(h)};
        win->video_rect = {x + b, y + b, uint32_t(w - 2 * b), uint32_t(h - 2 * b)};
    }
    // A caption block as the first full draw makes it, without drawing.
    void make_block()
    {
        if (!win->surfaces)
            win->surfaces = std::calloc(1, sizeof(caption_block));
    }
    static void fill_screen(Rgb c)
    {
        SDL_SetClipRect(screen, nullptr);
        SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, c.r, c.g, c.b));
    }
    static Image shot() { return testsupport::from_surface(screen); }
    // Where the screen is not colour c.
    static Box changed(Rgb c, Box in = {0, 0, W, H}, int tol = 2)
    {
        return testsupport::bounds(shot(), in, c, tol, true);
    }

    CONF *cfg_ = nullptr;
    camera *cam = nullptr;
    media_source *src = nullptr;
    window *win = nullptr;
};

namespace testsupport {
inline std::ostream &operator<<(std::ostream &os, const Box &b)
{ return os << b.w << "x" << b.h << "+" << b.x << "+" << b.y; }
inline std::ostream &operator<<(std::ostream &os, const Rgb &c)
{ return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }
} // namespace testsupport
