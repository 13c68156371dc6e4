// Opening and closing the screen: library start-up, display report, mode,
// caption, icon, event filter, fonts and mouse pointer.
#include <clocale>
#include <cstdio>
#include <initializer_list>
#include <libintl.h>
#include <stdlib.h>
#include <string.h>

#include <SDL_image.h>

#include "conf.h"
#include "vout/draw_util.h"
#include "vout/sdl_private.h"

extern "C" {
constinit const font_provider *vout_fonts = &Fonts;
}

namespace {

void report_display(const char *driver, const SDL_VideoInfo *vi)
{
    std::printf("Current \"%s\" display settings: %dx%d@%d with %u MB video "
                "memory and\n",
                driver, vi->current_w, vi->current_h, vi->vfmt->BitsPerPixel,
                vi->video_mem >> 10);
    const struct {
        unsigned set;
        const char *text;
    } caps[] = {
        {vi->hw_available, "\tpossible to create hardware surfaces\n"},
        {vi->wm_available, "\twindow manager available\n"},
        {vi->blit_hw, "\thardware to hardware blits accelerated\n"},
        {vi->blit_hw_CC, "\thardware to hardware colorkey blits accelerated\n"},
        {vi->blit_hw_A, "\thardware to hardware alpha blits accelerated\n"},
        {vi->blit_sw, "\tsoftware to hardware blits accelerated\n"},
        {vi->blit_sw_CC, "\tsoftware to hardware colorkey blits accelerated\n"},
        {vi->blit_sw_A, "\tsoftware to hardware alpha blits accelerated\n"},
        {vi->blit_fill, "\tcolor fills accelerated\n"},
    };
    for (const auto &cap : caps)
        if (cap.set)
            std::fputs(cap.text, stdout);
    // Standard output is fully buffered when the journal reads it.
    std::fflush(stdout);
}

void set_caption(void)
{
    if (!conf->display_set) {
        SDL_WM_SetCaption("Tirsk cameras local viewer", "tirsk-mon");
        return;
    }
    char title[200];
    const char *side = conf->display == 'R' ? "right" : "left";
    std::snprintf(title, sizeof title, "Tirsk ( %s %s )",
                  dcgettext(nullptr, side, LC_MESSAGES),
                  dcgettext(nullptr, "display", LC_MESSAGES));
    SDL_WM_SetCaption(title, "tirsk-mon");
}

// Event types the viewer never acts on are dropped by the library itself.
void filter_events(void)
{
    for (Uint8 type : {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION,
                       SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP, SDL_KEYUP,
                       SDL_MOUSEBUTTONUP})
        SDL_EventState(type, SDL_IGNORE);
    if (conf->no_keyboard)
        SDL_EventState(SDL_KEYDOWN, SDL_IGNORE);
    else
        SDL_EnableKeyRepeat(500, 200);
    if (conf->no_mouse) {
        SDL_EventState(SDL_MOUSEBUTTONDOWN, SDL_IGNORE);
        SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    }
}

// Every picture goes through a YUV overlay: a screen that cannot take one
// (an 8-bit display) could show nothing but labels, so it is refused here
// rather than at the first frame.
bool overlays_possible(void)
{
    SDL_Overlay *probe = SDL_CreateYUVOverlay(2, 2, overlay_format, screen);
    if (probe == nullptr) {
        tirsklog_r(nullptr, 3,
                   "the %dx%dx%d screen cannot show %s video overlays: %s\n",
                   screen->w, screen->h, screen->format->BitsPerPixel,
                   overlay_format_name(overlay_format), SDL_GetError());
        return false;
    }
    SDL_FreeYUVOverlay(probe);
    return true;
}

} // namespace

extern "C" int sdl_init(int)
{
    // Without an X display SDL would try its console drivers, which print
    // escape codes and fail later with a misleading message.  Another
    // driver is used only when SDL_VIDEODRIVER names it.
    const char *chosen = getenv("SDL_VIDEODRIVER");
    const bool x11 = !chosen || !*chosen || strcmp(chosen, "x11") == 0;
    if (!chosen || !*chosen)
        setenv("SDL_VIDEODRIVER", "x11", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0) {
        const char *display = getenv("DISPLAY");
        if (x11)
            tirsklog_r(nullptr, 3, "cannot open display \"%s\"%s: %s\n",
                       display ? display : "",
                       display && *display ? "" : " (DISPLAY is not set)",
                       SDL_GetError());
        else
            tirsklog_r(nullptr, 3, "Couldn't initialize SDL: %s\n", SDL_GetError());
        return 0;
    }
    char driver[49] = "";
    SDL_VideoDriverName(driver, sizeof driver);

    const SDL_VideoInfo *vi = SDL_GetVideoInfo();
    if (vi == nullptr) {
        tirsklog_r(nullptr, 3, "SDL_GetVideoInfo() failed: %s\n",
                   SDL_GetError());
        return 0;
    }
    if (vi->vfmt == nullptr) {
        tirsklog_r(nullptr, 3, "SDL_GetVideoInfo() return %s vfmt\n", "NULL");
        return 0;
    }
    if (conf->verbose)
        report_display(driver, vi);

    const int bpp = vi->vfmt->BitsPerPixel;
    Uint32 flags;
    if (conf->fullscreen) {
        vout_sdl.width = vi->current_w;
        vout_sdl.height = vi->current_h;
        flags = SDL_FULLSCREEN | (conf->hw_surface ? SDL_HWSURFACE : 0);
    } else {
        // Compared as signed numbers that cannot wrap: a huge configured
        // size must not pass as a negative one.
        if (int64_t(conf->geo.width) > vi->current_w ||
            int64_t(conf->geo.height) > vi->current_h) {
            tirsklog_r(nullptr, 3,
                       "Unsupported resolution: %ux%u (set by config or "
                       "cmdline) > %dx%d (current display)\n",
                       conf->geo.width, conf->geo.height, vi->current_w,
                       vi->current_h);
            return 0;
        }
        // SDL would take a zero side for "the display's size" and open a
        // window that no layout fits.
        if (conf->geo.width == 0 || conf->geo.height == 0) {
            tirsklog_r(nullptr, 3,
                       "Unsupported resolution: %ux%u (set by config or "
                       "cmdline): the window needs a width and a height\n",
                       conf->geo.width, conf->geo.height);
            return 0;
        }
        vout_sdl.width = int32_t(conf->geo.width);
        vout_sdl.height = int32_t(conf->geo.height);
        flags = conf->hw_surface ? SDL_HWSURFACE : SDL_SWSURFACE;
    }
    if (conf->no_winframe)
        flags |= SDL_NOFRAME;
    if (conf->doublebuf)
        flags |= SDL_DOUBLEBUF;
    if (conf->asyncblit)
        flags |= SDL_ASYNCBLIT;

    set_caption();

    // The screen is never opened without the icon; it must be set before
    // the mode.
    icon = IMG_Load(TIRSK_ICON_PATH);
#ifdef TIRSK_SOURCE_ICON_PATH
    // A build that runs before it is installed (demo, tests).
    if (icon == nullptr)
        icon = IMG_Load(TIRSK_SOURCE_ICON_PATH);
#endif
    if (icon == nullptr) {
        tirsklog_r(nullptr, 3, "IMG_Load(\"" TIRSK_ICON_PATH "\") failed: %s\n",
                   SDL_GetError());
        return 0;
    }
    SDL_WM_SetIcon(icon, nullptr);

    const bool report = !conf->quiet && conf->verbose;
    if (report) {
        std::printf("SDL_SetVideoMode %dx%d@%ubpp, videomode_flags 0x%X\n",
                    vout_sdl.width, vout_sdl.height, unsigned(bpp), flags);
        std::fflush(stdout);
    }
    screen = SDL_SetVideoMode(vout_sdl.width, vout_sdl.height, bpp, flags);
    if (screen == nullptr) {
        tirsklog_r(nullptr, 3, "Couldn't set %dx%dx%d video mode: %s\n",
                   vout_sdl.width, vout_sdl.height, bpp, SDL_GetError());
        return 0;
    }
    if (report) {
        std::printf("Screen %dx%dx%d, flags: 0x%X (%s)\n", screen->w, screen->h,
                    screen->format->BitsPerPixel, screen->flags,
                    SDL_flags_to_str(screen->flags));
        std::fflush(stdout);
    }

    overlay_format = conf->iyuv ? SDL_IYUV_OVERLAY : SDL_YV12_OVERLAY;
    if (!overlays_possible())
        return 0;
    filter_events();

    // The provider logs its own failures.
    if (vout_fonts->init == nullptr || !vout_fonts->init(screen->h))
        return 0;

    if (conf->no_mouse) {
        SDL_ShowCursor(SDL_DISABLE);
        return 1;
    }
    cursor = create_arrow_cursor();
    if (cursor == nullptr) {
        tirsklog_r(nullptr, 3, "Couldn't create cursor: %s\n", SDL_GetError());
        return 0;
    }
    SDL_SetCursor(cursor);
    return 1;
}

// Safe after a partial init: everything is freed only if it exists.
extern "C" int sdl_fini(void)
{
    if (cursor != nullptr) {
        SDL_FreeCursor(cursor);
        cursor = nullptr;
    }
    if (vout_fonts->fini != nullptr)
        vout_fonts->fini();
    for (SDL_Surface *&line : popup_lines) {
        if (line == nullptr)
            break;
        SDL_FreeSurface(line);
        line = nullptr;
    }
    if (icon != nullptr) {
        SDL_FreeSurface(icon);
        icon = nullptr;
    }
    TTF_Quit();
    SDL_Quit();
    screen = nullptr; // freed by SDL_Quit
    return 1;
}

extern "C" int flip(void)
{
    screen_updates_flush();
    if (screen == nullptr || !(screen->flags & SDL_DOUBLEBUF))
        return 0;
    const int r = SDL_Flip(screen);
    return r >= 0 ? 1 : r;
}

extern "C" int show_cursor(int on)
{
    cursor_state = SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
    return cursor_state;
}
