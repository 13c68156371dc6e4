// A real SDL screen for the drawing tests: an X display (the test run's,
// or a private Xvfb when there is none), a software screen of our own size,
// the fonts, and one camera bound to one window.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "camera.h"
#include "conf.h"
#include "vout/sdl_private.h"
#include "harness.h"

/* libX11 keeps a few strings for the life of the process. */
extern "C" __attribute__((weak)) const char *__lsan_default_suppressions()
{
    return "leak:libX11.so\n";
}

namespace sdltest {

struct Rgb {
    int r, g, b;
};

inline bool near(const Rgb &a, const Rgb &b, int tol = 6)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol &&
           std::abs(a.b - b.b) <= tol;
}

inline std::ostream &operator<<(std::ostream &os, const Rgb &c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

class SdlScreenFixture : public ::testing::Test {
  protected:
    static constexpr int W = 800;
    static constexpr int H = 720;

    /* The screen is opened once per process and closed at exit: an X
     * server that resets when its last client leaves refuses connections
     * for a moment, so suites do not reopen it. */
    static void SetUpTestSuite()
    {
        static bool opened = false;
        if (!opened) {
            opened = true;
            ASSERT_FALSE(testsupport::use_test_display().empty()) << "no X display";
            int rc = -1;
            for (int attempt = 0; attempt < 50 && rc != 0; ++attempt) {
                rc = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
                if (rc != 0)
                    usleep(100000);
            }
            ASSERT_EQ(rc, 0) << SDL_GetError();
            screen = SDL_SetVideoMode(W, H, 32, SDL_SWSURFACE);
            ASSERT_NE(screen, nullptr) << SDL_GetError();
            conf = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
            ASSERT_EQ(sdl_fonts_init(H), 1);
            vout = &vout_sdl;
            std::atexit([] {
                popup_close();
                Fonts.fini();
                SDL_Quit();
                screen = nullptr;
                std::free(conf);
                conf = nullptr;
            });
        }
        ASSERT_NE(screen, nullptr);
    }

    static void TearDownTestSuite() { popup_close(); }

    void SetUp() override
    {
        ASSERT_NE(screen, nullptr);
        popup_close();
        std::memset(conf->alarm_msgs, 0, sizeof conf->alarm_msgs);
        conf->font_factor = 1.0;
        conf->quiet = 1;
        overlay_format = SDL_YV12_OVERLAY;
        cursor_state = 1;
        fill_screen({0, 0, 0});
        cam = &conf->cams[0];
        std::memset(cam, 0, sizeof *cam);
        cam->nr = 1;
        std::strcpy(cam->name, " CAM 1 ");
        cam->nsrcs = 1;
        src = &cam->srcs[0];
        src->cam = cam;
        std::strcpy(src->uri, "rtsp://127.0.0.1/cam1");
        win = &windows[0];
        std::memset(win, 0, sizeof *win);
        set_rects(100, 80, 400, 300, 4);
        win->cam = cam;
        cam->win = win;
        win->cur_src = 0;
        win->target_src = -1;
    }

    void TearDown() override
    {
        popup_close();
        free_playback_resources(src);
        free_win_surfaces(win);
        std::memset(win, 0, sizeof *win);
    }

    /* rect at (x, y) of w x h, video_rect inside it with border b. */
    void set_rects(int x, int y, int w, int h, int b)
    {
        win->rect = {x, y, uint32_t(w), uint32_t(h)};
        win->video_rect = {x + b, y + b, uint32_t(w - 2 * b), uint32_t(h - 2 * b)};
    }

    /* A caption block as the first full draw makes it, without drawing. */
    caption_block *make_block()
    {
        if (!win->surfaces)
            win->surfaces = std::calloc(1, sizeof(caption_block));
        return static_cast<caption_block *>(win->surfaces);
    }

    static void fill_screen(Rgb c)
    {
        SDL_SetClipRect(screen, nullptr);
        SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, c.r, c.g, c.b));
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    }

    static void fill_area(const win_rect &r, Rgb c)
    {
        SDL_SetClipRect(screen, nullptr);
        SDL_Rect sr = {Sint16(r.x), Sint16(r.y), Uint16(r.w), Uint16(r.h)};
        SDL_FillRect(screen, &sr, SDL_MapRGB(screen->format, c.r, c.g, c.b));
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    }

    static Rgb pixel(int x, int y)
    {
        const int bpp = screen->format->BytesPerPixel;
        const Uint8 *p = static_cast<const Uint8 *>(screen->pixels) +
                         y * screen->pitch + x * bpp;
        Uint32 v = 0;
        std::memcpy(&v, p, bpp); /* little-endian */
        Uint8 r, g, b;
        SDL_GetRGB(v, screen->format, &r, &g, &b);
        return {r, g, b};
    }

    /* The screen's colours (the unused byte of 32-bit pixels left out). */
    static std::vector<Uint32> snapshot()
    {
        const SDL_PixelFormat *f = screen->format;
        const Uint32 rgb = f->Rmask | f->Gmask | f->Bmask;
        std::vector<Uint32> out;
        out.reserve(size_t(W) * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                Uint32 v = 0;
                std::memcpy(&v, static_cast<const Uint8 *>(screen->pixels) +
                                    y * screen->pitch + x * f->BytesPerPixel,
                            f->BytesPerPixel);
                out.push_back(v & rgb);
            }
        return out;
    }

    /* Pixels that differ between two snapshots. */
    static size_t differences(const std::vector<Uint32> &a, const std::vector<Uint32> &b)
    {
        size_t n = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            n += a[i] != b[i];
        return n;
    }

    /* Bounding box of the pixels inside r that differ from c; w 0 when none. */
    static win_rect changed_box(const win_rect &r, Rgb c, int tol = 2)
    {
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
        for (int y = r.y; y < r.y + int(r.h); ++y)
            for (int x = r.x; x < r.x + int(r.w); ++x)
                if (!near(pixel(x, y), c, tol)) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
        if (x1 < 0)
            return {0, 0, 0, 0};
        return {x0, y0, uint32_t(x1 - x0 + 1), uint32_t(y1 - y0 + 1)};
    }

    /* Does any pixel in r (clipped to the screen) come close to c? */
    static bool has_colour(const win_rect &r, Rgb c, int tol = 4)
    {
        for (int y = std::max(r.y, 0); y < std::min(r.y + int(r.h), H); ++y)
            for (int x = std::max(r.x, 0); x < std::min(r.x + int(r.w), W); ++x)
                if (near(pixel(x, y), c, tol))
                    return true;
        return false;
    }

    camera *cam = nullptr;
    media_source *src = nullptr;
    window *win = nullptr;
};

} // namespace sdltest
